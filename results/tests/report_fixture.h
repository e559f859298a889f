#pragma once
// Checks of two stations over two days whose yield, Pareto and history are worked out by hand
// (see reports_test.cpp), for any ResultsStore: the reports must give the same on every engine.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "results/check_result.h"
#include "results/results_store.h"

namespace results::testing {

class ScratchFolder {
public:
    ScratchFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "vorlick-reports-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) std::abort();
        path_ = pattern;
    }
    ~ScratchFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    std::string file(const std::string& name) const { return (path_ / name).string(); }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

inline constexpr const char* kSt1Folder = "/srv/st1/log/r6_20260302_075500/";
inline constexpr const char* kSt2Folder = "/srv/st2/log/";  // no timestamp: numbers come again
inline constexpr const char* kSt2B10Folder = "/srv/st2/log-b10/";

inline CheckResult fixtureCheck(const char* station, const char* folder, const char* product, int checkNo, int retry,
                                const char* serial, const char* verdict, const char* code, const char* start) {
    CheckResult c;
    c.stationId = station;
    c.host = std::string(station) == "st1" ? "st1-pc" : "";
    c.productId = product;
    c.recipeFile =
        std::string(product) == "0B10" ? "/srv/st2/B10.ini" : "/srv/" + std::string(station) + "/R6_full.ini";
    c.checkNo = checkNo;
    c.retry = retry;
    c.serialNumber = serial;
    c.verdict = verdict;
    if (code != nullptr) c.errorCode = code;
    c.exitCode = code != nullptr ? std::atoi(code + 1) : (c.verdict == "OK" ? 0 : -1);
    c.startUtc = start;
    c.endUtc = start;
    c.logFolder = folder;
    if (c.verdict != "ERROR") {
        c.firmwareVersion = "0102.07";
        c.detailCsv = c.logFolder + c.serialNumber + "_" + std::to_string(checkNo) + ".csv";
    }
    c.recordJson = "{\"check\":" + std::to_string(checkNo) + ",\"retry\":" + std::to_string(retry) + ",\"verdict\":\"" +
                   c.verdict + "\"}";
    return c;
}

// Not in time order: the reports order them.
inline std::vector<CheckResult> reportFixture() {
    const auto st1 = [](int no, int retry, const char* serial, const char* verdict, const char* code,
                        const char* start) {
        return fixtureCheck("st1", kSt1Folder, "0A52", no, retry, serial, verdict, code, start);
    };
    const auto st2 = [](int no, int retry, const char* serial, const char* verdict, const char* code,
                        const char* start) {
        return fixtureCheck("st2", kSt2Folder, "0A52", no, retry, serial, verdict, code, start);
    };
    const auto b10 = [](int no, const char* verdict, const char* code, const char* start) {
        return fixtureCheck("st2", kSt2B10Folder, "0B10", no, 0, "", verdict, code, start);
    };
    return {
        // L: SN-A again, at the other station the next day.
        st2(2, 0, "SN-A", "OK", nullptr, "2026-03-03T11:00:00Z"),
        // A: OK at once.
        st1(1, 0, "SN-A", "OK", nullptr, "2026-03-02T08:00:00Z"),
        // B: NG twice, then OK.
        st1(2, 0, "SN-B", "NG", "E610", "2026-03-02T08:05:00Z"),
        st1(2, 1, "SN-B", "NG", "E610", "2026-03-02T08:06:00Z"),
        st1(2, 2, "SN-B", "OK", nullptr, "2026-03-02T08:07:00Z"),
        // C: NG and NG.
        st1(3, 0, "SN-C", "NG", "E201", "2026-03-02T08:10:00Z"),
        st1(3, 1, "SN-C", "NG", "E201", "2026-03-02T08:11:00Z"),
        // D: ERROR, then the next start keeps the number and passes.
        st1(4, 0, "SN-D", "ERROR", nullptr, "2026-03-02T08:20:00Z"),
        st1(4, 0, "SN-D", "OK", nullptr, "2026-03-02T08:21:00Z"),
        // E: ERROR, then retried: NG, OK.
        st1(5, 0, "SN-E", "ERROR", nullptr, "2026-03-02T08:30:00Z"),
        st1(5, 1, "SN-E", "NG", "E305", "2026-03-02T08:31:00Z"),
        st1(5, 2, "SN-E", "OK", nullptr, "2026-03-02T08:32:00Z"),
        // F: a recipe that judged nothing.
        st1(6, 0, "SN-F", "NO TEST", nullptr, "2026-03-02T08:40:00Z"),
        // J: NG in the day's last second, OK after midnight.
        st1(9, 0, "SN-J", "NG", "E201", "2026-03-02T23:59:59Z"),
        st1(9, 1, "SN-J", "OK", nullptr, "2026-03-03T00:00:05Z"),
        // Two devices without a scanner.
        b10(7, "OK", nullptr, "2026-03-02T09:00:00Z"),
        b10(8, "NG", "E610", "2026-03-02T09:05:00Z"),
        // G at midnight, then H: the same number in the same folder in a later session.
        st2(1, 0, "SN-G", "OK", nullptr, "2026-03-03T00:00:00Z"),
        st2(1, 0, "SN-H", "NG", "E610", "2026-03-03T10:00:00Z"),
        st2(1, 1, "SN-H", "OK", nullptr, "2026-03-03T10:01:00Z"),
    };
}

inline void fillReportFixture(ResultsStore& store) {
    const std::vector<CheckResult> checks = reportFixture();
    const std::vector<InsertResult> answers = store.insertBatch(checks);
    ASSERT_EQ(answers.size(), checks.size());
    for (std::size_t i = 0; i < answers.size(); ++i)
        ASSERT_EQ(answers[i].status, InsertStatus::Written) << i << ": " << answers[i].reason;
}

}  // namespace results::testing
