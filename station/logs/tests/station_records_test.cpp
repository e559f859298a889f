// The records of whole checks, as the run control has them written by the station's log files.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "station/logs/station_log_files.h"
#include "station/logs/tests/log_rig.h"
#include "station/sequence/tests/run_control_rig.h"

namespace station {
namespace {

namespace fs = std::filesystem;

void spill(const std::string& name, const std::string& text) { std::ofstream(name, std::ios::binary) << text; }

// A station started with the example recipe, its logs and summaries in a scratch folder that is
// also the working directory; the Enter key triggers a check.
struct RecordsRig {
    RecordsRig() : savedCwd(fs::current_path()) {
        fs::current_path(dir.path());
        rig.startWith("PID0A52.ini");
        RecipeSettings& r = rig.s().recipe;
        r.LOG_DIR = dir.str();
        r.START_TRG = StartTrigger::EnterKey;
        r.SIMPLE_RESULT = 1;
        rig.s().logs = &files;
        rig.tick();
        rig.control.onStartRetry();  // Start: the log opens
        rig.tick();
    }
    ~RecordsRig() {
        rig.control.shutdown();
        fs::current_path(savedCwd);
    }
    // Enter and the tick that runs the check (or does not).
    void check() {
        rig.control.enterPressed();
        rig.tick();
    }
    bool said(std::string_view message, std::size_t from = 0) const {
        const auto& m = rig.ui.messages;
        return std::find(m.begin() + static_cast<std::ptrdiff_t>(std::min(from, m.size())), m.end(), message) !=
               m.end();
    }

    test::ScratchDir dir;
    fs::path savedCwd;
    test::RunRig rig;
    StationLogFiles files;
};

// The one-check summary never outlives its check: a check that ends in ERROR leaves none.
TEST(StationRecords, SimpleResultNeverOutlivesItsCheck) {
    RecordsRig r;
    r.check();
    ASSERT_EQ(r.rig.s().state, StationState::Ok);
    EXPECT_EQ(test::slurp("last_simple_result.txt"), "PASS\r\n1\r\n" + r.rig.s().logFiles.logTimestamp + "\r\n");

    EXPECT_EQ(r.rig.s().check.detailCsv,
              r.rig.s().logFiles.logFolder + r.rig.s().logFiles.logTimestamp + "__OK_0001_00.csv");

    r.rig.checks.read = StepOutcome::abort("Failed to get raw data");
    r.check();
    ASSERT_EQ(r.rig.s().state, StationState::Error);
    EXPECT_FALSE(fs::exists("last_simple_result.txt"));
    EXPECT_EQ(r.rig.s().check.detailCsv, "");  // no earlier check's file is named for it
}

// A check whose records are lost is said with the reason; no check starts until the operator
// has seen it (the next Start/Retry or Clear), and the station ends with kExitRecordsLost.
TEST(StationRecords, LostRecordHoldsTheNextCheckUntilSeen) {
    RecordsRig r;
    Station& s = r.rig.s();
    r.check();
    ASSERT_EQ(r.rig.control.checksEnded(), 1);
    EXPECT_TRUE(r.said("Success to dump log data"));
    EXPECT_FALSE(s.records.unseenFailure);
    const std::string folder = s.logFiles.logFolder;
    const std::string log = s.logFiles.resultLogPath;

    // The log folder goes while the station runs.
    fs::remove_all(folder);
    const std::size_t before = r.rig.ui.messages.size();
    r.check();
    ASSERT_EQ(r.rig.control.checksEnded(), 2);
    EXPECT_EQ(s.state, StationState::Ok);  // the verdict stands
    const std::vector<std::string> said(r.rig.ui.messages.begin() + static_cast<std::ptrdiff_t>(before),
                                        r.rig.ui.messages.end());
    const std::string csv = folder + s.logFiles.logTimestamp + "__OK_0002_00.csv";
    for (const std::string& line :
         {"Failed to write detail log '" + csv + "': No such file or directory",
          std::string("Failed to open result.log"), "Failed to write '" + log + "': No such file or directory"})
        EXPECT_TRUE(r.said(line, before)) << line << "\n" << ::testing::PrintToString(said);
    EXPECT_FALSE(r.said("Success to dump log data", before));
    EXPECT_EQ(s.check.detailCsv, "");
    EXPECT_FALSE(fs::exists(folder));

    // Triggers meanwhile start nothing.
    r.check();
    r.check();
    EXPECT_EQ(r.rig.control.checksEnded(), 2);
    EXPECT_EQ(r.rig.ui.prompt, "Records were not saved: see the messages, then press Retry or Clear.");

    // Retry shows the operator has seen it, and starts nothing itself.
    r.rig.control.onStartRetry();
    EXPECT_TRUE(r.said("Lost records acknowledged: checks can start again."));
    EXPECT_EQ(r.rig.control.checksEnded(), 2);
    r.rig.tick();
    EXPECT_EQ(r.rig.ui.prompt, "Waiting for a start triger:  Please press 'enter' key.");
    r.check();
    EXPECT_EQ(r.rig.control.checksEnded(), 3);
    EXPECT_TRUE(s.records.unseenFailure);  // the folder is still gone

    // Clear shows it as well.
    r.rig.control.resetDisplay();
    EXPECT_FALSE(s.records.unseenFailure);

    // Whatever the last verdict, a run that lost records does not end as a success.
    r.rig.control.shutdown();
    EXPECT_EQ(s.exitCode, kExitRecordsLost);
}

// The drawing check's snapshots go from the station folder into the log folder under the
// check's names; one that cannot be moved is a lost record, said with its reason.
TEST(StationRecords, DrawingSnapshotsMoveIntoTheLogFolder) {
    RecordsRig r;
    Station& s = r.rig.s();
    r.check();
    ASSERT_EQ(s.state, StationState::Ok);
    s.startDirectory = r.dir.str();
    s.check.row.serialNo = "AB/12";
    s.check.row.retryNo = 1;
    for (const int step : {0, 1, 7}) spill("_tmp" + std::to_string(step) + ".png", "png " + std::to_string(step));
    r.files.keepDrawingSnapshots(s, false);
    const std::string stem = s.logFiles.logFolder + s.logFiles.logTimestamp + "_AB%2F12_NG_0001_01_drawstep";
    for (const int step : {0, 1, 7}) {
        EXPECT_EQ(test::slurp(stem + std::to_string(step) + ".png"), "png " + std::to_string(step));
        EXPECT_FALSE(fs::exists("_tmp" + std::to_string(step) + ".png"));
    }
    EXPECT_FALSE(fs::exists(stem + "2.png")) << "no step, no file";
    EXPECT_FALSE(s.records.unseenFailure);

    // The log folder gone: the snapshot stays where it is, and the loss is said.
    spill("_tmp3.png", "png 3");
    fs::remove_all(s.logFiles.logFolder);
    r.files.keepDrawingSnapshots(s, true);
    EXPECT_TRUE(fs::exists("_tmp3.png"));
    EXPECT_TRUE(s.records.unseenFailure);
    ASSERT_FALSE(r.rig.ui.messages.empty());
    EXPECT_EQ(
        r.rig.ui.messages.back().rfind("Failed to keep the drawing snapshot " + r.dir.str() + "/_tmp3.png as ", 0), 0u)
        << r.rig.ui.messages.back();
}

}  // namespace
}  // namespace station
