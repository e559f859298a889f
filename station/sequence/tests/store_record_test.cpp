#include "station/sequence/store_record.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <time.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "results/results_store.h"

namespace station {
namespace {

// The process's time zone for one test, the one before it restored afterwards.
class TimeZone {
public:
    explicit TimeZone(const char* zone) {
        if (const char* old = std::getenv("TZ")) old_ = old;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~TimeZone() {
        if (old_)
            setenv("TZ", old_->c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
    TimeZone(const TimeZone&) = delete;
    TimeZone& operator=(const TimeZone&) = delete;

private:
    std::optional<std::string> old_;
};

TEST(StoreRecord, PanelTimesBecomeUtc) {
    const TimeZone berlin("CET-1CEST,M3.5.0,M10.5.0/3");
    const struct {
        const char* local;
        const char* utc;
    } cases[] = {
        {"2026/01/01 09:00:00", "2026-01-01T08:00:00Z"},
        {"2026/07/01 09:00:00", "2026-07-01T07:00:00Z"},  // summer time
        {"2026/01/01 00:30:05", "2025-12-31T23:30:05Z"},  // the day before in UTC
        {"----/--/-- --:--:--", ""},                      // a check that never began
        {"", ""},
        {"2026/1/01 09:00:00", ""},
        {"2026/01/01T09:00:00", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.local);
        EXPECT_EQ(localTimeToUtc(c.local), c.utc);
    }
}

CheckRecord ngCheck() {
    CheckRecord c;
    c.verdict = Verdict::Ng;
    c.exitCode = 0;
    c.row.checkNo = 17;
    c.row.retryNo = 1;
    c.row.serialNo = "SN0A52-000123";
    c.row.colCode = "E201";
    c.startTime = "2026/03/02 09:15:04";
    c.endTime = "2026/03/02 09:15:31";
    c.elapsedMs = 27120;
    c.firmware.touchFirmwareMajor = 0x0102;
    c.firmware.touchFirmwareMinor = 0x07;
    c.hsyncVerText = "0x0013";
    c.detailCsv = "/srv/station/log/20260302_081000/SN0A52-000123_17.csv";
    return c;
}

const StoreContext kWhere{"line2-st04", "st04", "recipe/0A52.ini", 0x0A52, "/srv/station/log/20260302_081000/"};

TEST(StoreRecord, CarriesTheCheckAndWhereItRan) {
    const TimeZone utc("UTC0");
    const results::CheckResult r = storeRecord(ngCheck(), kWhere, R"({"check":17})");
    EXPECT_EQ(r.stationId, "line2-st04");
    EXPECT_EQ(r.host, "st04");
    EXPECT_EQ(r.recipeFile, "recipe/0A52.ini");
    EXPECT_EQ(r.productId, "0A52");
    EXPECT_EQ(r.checkNo, 17);
    EXPECT_EQ(r.retry, 1);
    EXPECT_EQ(r.serialNumber, "SN0A52-000123");
    EXPECT_EQ(r.verdict, "NG");
    EXPECT_EQ(r.errorCode, "E201");
    EXPECT_EQ(r.startUtc, "2026-03-02T09:15:04Z");
    EXPECT_EQ(r.endUtc, "2026-03-02T09:15:31Z");
    EXPECT_EQ(r.elapsedMs, 27120);
    EXPECT_EQ(r.firmwareVersion, "0102.07");
    EXPECT_EQ(r.hsyncVersion, "0x0013");
    EXPECT_EQ(r.logFolder, kWhere.logFolder);
    EXPECT_EQ(r.detailCsv, ngCheck().detailCsv);
    EXPECT_EQ(r.recordJson, R"({"check":17})");
}

// An aborted check: no verdict, so neither its code nor its detail file counts (as in the JSON
// record); what the controller never answered is absent, not zero.
TEST(StoreRecord, AnAbortedCheckLeavesOutWhatItNeverHad) {
    const TimeZone utc("UTC0");
    CheckRecord c = ngCheck();
    c.verdict = Verdict::Error;
    c.exitCode = 3;
    c.firmware = FirmwareValues{};
    c.hsyncVerText = "TIMEOUT";
    const results::CheckResult r = storeRecord(c, kWhere, "{}");
    EXPECT_EQ(r.verdict, "ERROR");
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_EQ(r.errorCode, std::nullopt);
    EXPECT_EQ(r.detailCsv, std::nullopt);
    EXPECT_EQ(r.firmwareVersion, std::nullopt);
    EXPECT_EQ(r.hsyncVersion, std::nullopt);

    CheckRecord blankCode = ngCheck();
    blankCode.row.colCode = "    ";
    EXPECT_EQ(storeRecord(blankCode, kWhere, "{}").errorCode, std::nullopt);
}

// A scanner's bytes that are no UTF-8 become replacement characters, one per byte; the text
// around them and well-formed characters stay.
TEST(StoreRecord, SerialNumbersThatAreNoTextBecomeText) {
    const struct {
        const char* scanned;
        const char* stored;
    } cases[] = {
        {"SN-\xC3\xA9-1", "SN-\xC3\xA9-1"},
        {"SN\xFF-1", "SN\xEF\xBF\xBD-1"},
        {"SN\xC3", "SN\xEF\xBF\xBD"},                                  // cut short
        {"SN\xC0\xAF", "SN\xEF\xBF\xBD\xEF\xBF\xBD"},                  // overlong '/'
        {"SN\xED\xA0\x80", "SN\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},  // a surrogate
        {"SN\xF0\x9F\x98\x80", "SN\xF0\x9F\x98\x80"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.scanned);
        CheckRecord check = ngCheck();
        check.row.serialNo = c.scanned;
        EXPECT_EQ(storeRecord(check, kWhere, "{}").serialNumber, c.stored);
    }
}

// What the station makes of its records is what the store takes, times and verdicts included.
TEST(StoreRecord, TheStoreTakesWhatTheStationRecords) {
    const TimeZone berlin("CET-1CEST,M3.5.0,M10.5.0/3");
    std::string folder = (std::filesystem::temp_directory_path() / "vorlick-store-record-XXXXXX").string();
    ASSERT_NE(mkdtemp(folder.data()), nullptr);
    std::string why;
    {
        auto store = results::openStore("sqlite:" + folder + "/results.db", why);
        ASSERT_TRUE(store) << why;
        CheckRecord aborted = ngCheck();
        aborted.verdict = Verdict::None;
        aborted.row.retryNo = 2;
        for (const CheckRecord& c : {ngCheck(), aborted}) {
            const results::InsertResult written = store->insert(storeRecord(c, kWhere, R"({"check":17})"));
            EXPECT_EQ(written.status, results::InsertStatus::Written) << written.reason;
        }
        std::vector<results::CheckResult> checks;
        ASSERT_TRUE(store->history("SN0A52-000123", checks, why)) << why;
        ASSERT_EQ(checks.size(), 2u);
        EXPECT_EQ(checks[0].startUtc, "2026-03-02T08:15:04Z");
    }
    std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace station
