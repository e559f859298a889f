// The line's reports over a large SQLite store: 1,000,000 generated checks (20 stations, 30 days,
// retries, NG codes, ERROR attempts) written with insertBatch in large transactions, then
// `yield` by day and `history SERIAL` timed. Prints figures; the goal is under a second each.
// Usage: results_reports [CHECKS] [STORE PATH]   (default 1000000, a temporary file; a store that
// exists at PATH is timed as it is)
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "results/reports.h"
#include "results/sqlite_store.h"

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

std::string utc(std::time_t when) {
    std::tm t{};
    gmtime_r(&when, &t);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &t);
    return text;
}

// Checks of `stations` stations over `days` days from 2026-03-01, about `total` in all.
class Line {
public:
    Line(std::int64_t total, int stations, int days)
        : perStationDay_(std::max<std::int64_t>(1, total / (std::int64_t{stations} * days))),
          stations_(stations),
          days_(days) {}

    // The next batch (empty at the end).
    std::vector<results::CheckResult> next(std::size_t size) {
        std::vector<results::CheckResult> batch;
        while (batch.size() < size && day_ < days_) {
            device(batch);
            if (++deviceInDay_ >= perStationDay_ * 100 / 112) {  // attempts per device average about 1.12
                deviceInDay_ = 0;
                checkNo_ = 0;
                if (++station_ >= stations_) {
                    station_ = 0;
                    ++day_;
                }
            }
        }
        return batch;
    }

    std::string serialOfDevice(std::int64_t n) const {
        char s[32];
        std::snprintf(s, sizeof s, "SN%09lld", static_cast<long long>(n));
        return s;
    }

private:
    void device(std::vector<results::CheckResult>& batch) {
        ++checkNo_;
        const std::time_t dayStart = 1772344800 + static_cast<std::time_t>(day_) * 86400;  // 2026-03-01T06:00:00Z
        std::time_t when = dayStart + static_cast<std::time_t>(deviceInDay_) * 40 + station_;
        char folder[64];
        std::tm t{};
        gmtime_r(&dayStart, &t);
        std::snprintf(folder, sizeof folder, "/srv/st%02d/log/r6_%04d%02d%02d_060000/", station_, t.tm_year + 1900,
                      t.tm_mon + 1, t.tm_mday);
        static const char* kProducts[] = {"0A52", "0A53", "0B10", "0C01"};
        static const char* kCodes[] = {"E610", "E201", "E305", "E412", "E501", "E702"};
        const char* product = kProducts[station_ % 4];
        const std::string serial = serialOfDevice(serial_++);
        int retry = 0;
        const auto attempt = [&](const char* verdict, const char* code) {
            results::CheckResult c;
            c.stationId = "line1-st" + std::to_string(station_);
            c.host = "st" + std::to_string(station_);
            c.recipeFile = std::string("/srv/recipes/") + product + ".ini";
            c.productId = product;
            c.checkNo = checkNo_;
            c.retry = retry;
            c.serialNumber = serial;
            c.verdict = verdict;
            if (code != nullptr) c.errorCode = code;
            c.exitCode = code != nullptr ? std::atoi(code + 1) : 0;
            c.startUtc = utc(when);
            c.endUtc = utc(when + 27);
            c.elapsedMs = 27120;
            c.firmwareVersion = "0102.07";
            c.logFolder = folder;
            c.detailCsv = c.logFolder + serial + ".csv";
            c.recordJson = "{\"check\":" + std::to_string(checkNo_) + ",\"retry\":" + std::to_string(retry) +
                           ",\"verdict\":\"" + verdict + "\"}";
            batch.push_back(std::move(c));
            when += 30;
        };
        if (random_() % 100 < 2) {  // an ERROR keeps the number; the retry follows
            attempt("ERROR", nullptr);
            ++retry;
        }
        while (random_() % 100 < 9 && retry < 3) {
            attempt("NG", kCodes[random_() % 6]);
            ++retry;
        }
        attempt(random_() % 100 < 97 ? "OK" : "NG", nullptr);
        if (retry >= 2 && serial_ > 100000 && retriedSerial_.empty()) retriedSerial_ = serial;
    }

public:
    // A device tried three times or more, for the history.
    const std::string& retriedSerial() const { return retriedSerial_; }

private:
    std::string retriedSerial_;

    std::int64_t perStationDay_;
    int stations_, days_;
    int station_ = 0, day_ = 0;
    std::int64_t deviceInDay_ = 0;
    std::int64_t serial_ = 0;
    std::int32_t checkNo_ = 0;
    std::mt19937 random_{20260301};
};

template <typename F>
void timed(const char* what, int runs, F&& f) {
    // The processor time beside the wall time: on a shared machine the wall time also counts the others.
    std::vector<double> times, cpu;
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        const std::clock_t cpuStart = std::clock();
        f();
        times.push_back(secondsSince(start));
        cpu.push_back(static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC);
    }
    std::sort(times.begin(), times.end());
    std::sort(cpu.begin(), cpu.end());
    std::printf("%-34s wall median %8.5f s (min %8.5f, max %8.5f)   cpu median %8.5f s\n", what,
                times[times.size() / 2], times.front(), times.back(), cpu[cpu.size() / 2]);
}

}  // namespace

int main(int argc, char** argv) {
    const std::int64_t total = argc > 1 ? std::atoll(argv[1]) : 1000000;
    std::string path;
    std::filesystem::path scratch;
    bool generate = true;
    if (argc > 2) {
        path = argv[2];
        generate = !std::filesystem::exists(path);
    } else {
        std::string pattern = (std::filesystem::temp_directory_path() / "vorlick-results-bench-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) return 1;
        scratch = pattern;
        path = (scratch / "results.db").string();
    }
    std::string why;
    auto store = results::SqliteStore::open(path, "sqlite:" + path, why);
    if (!store) {
        std::fprintf(stderr, "%s\n", why.c_str());
        return 1;
    }

    Line line(total, 20, 30);
    std::int64_t written = 0;
    const auto start = Clock::now();
    for (; generate;) {
        const auto batch = line.next(50000);
        if (batch.empty()) break;
        for (const auto& r : store->insertBatch(batch)) written += r.status == results::InsertStatus::Written ? 1 : 0;
    }
    const double seconds = secondsSince(start);
    if (generate)
        std::printf("generated %lld checks into %s in %.1f s (%.0f checks/s, insertBatch of 50000)\n",
                    static_cast<long long>(written), path.c_str(), seconds, static_cast<double>(written) / seconds);

    std::vector<results::YieldRow> rows;
    timed("yield --by day (all 30 days)", 3, [&] {
        if (!results::yieldReport(*store, {}, results::GroupBy::Day, rows, why))
            std::fprintf(stderr, "%s\n", why.c_str());
    });
    std::int64_t devices = 0;
    for (const auto& r : rows) devices += r.devices;
    std::printf("  %zu days, %lld devices\n", rows.size(), static_cast<long long>(devices));
    timed("yield --by day (one day)", 3, [&] {
        results::TimeRange day{"2026-03-10T00:00:00Z", "2026-03-11T00:00:00Z"};
        if (!results::yieldReport(*store, day, results::GroupBy::Day, rows, why))
            std::fprintf(stderr, "%s\n", why.c_str());
    });
    timed("yield --by product (all)", 3, [&] {
        if (!results::yieldReport(*store, {}, results::GroupBy::Product, rows, why))
            std::fprintf(stderr, "%s\n", why.c_str());
    });
    std::vector<results::ParetoRow> codes;
    timed("pareto (all)", 3, [&] {
        if (!results::paretoReport(*store, {}, results::GroupBy::None, codes, why))
            std::fprintf(stderr, "%s\n", why.c_str());
    });
    // The device: one tried three times or more (generated above), else a fixed one of an existing store.
    const std::string serial = line.retriedSerial().empty() ? line.serialOfDevice(123457) : line.retriedSerial();
    std::vector<results::CheckResult> checks;
    timed("history SERIAL", 5, [&] {
        if (!results::historyReport(*store, serial, checks, why)) std::fprintf(stderr, "%s\n", why.c_str());
    });
    std::printf("  %zu checks of %s\n", checks.size(), serial.c_str());
    store.reset();
    if (!scratch.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(scratch, ec);
    }
    return 0;
}
