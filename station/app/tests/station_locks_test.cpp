#include "station/app/station_locks.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

namespace station {
namespace {

namespace fs = std::filesystem;
using O = StationLocks::Outcome;

class StationLocksTest : public ::testing::Test {
protected:
    StationLocksTest() {
        fs::remove_all(root);
        for (const fs::path& d : {sessionA, sessionB, folder, otherFolder}) fs::create_directories(d);
    }
    ~StationLocksTest() override { fs::remove_all(root); }

    const fs::path root = fs::temp_directory_path() / ("station_locks_" + std::to_string(::getpid()));
    const fs::path sessionA = root / "run-a";
    const fs::path sessionB = root / "run-b";
    const fs::path folder = root / "station";
    const fs::path otherFolder = root / "station2";
};

// A second start in the session is quiet; a station of another session in the same folder is
// refused, because both would write one result log and the same detail files.
TEST_F(StationLocksTest, OneStationPerSessionAndPerFolder) {
    const StationLocks first = takeStationLocks("VorlickR6X", sessionA, folder);
    ASSERT_EQ(first.outcome, O::Taken) << first.text;

    const StationLocks sameSession = takeStationLocks("VorlickR6X", sessionA, otherFolder);
    EXPECT_EQ(sameSession.outcome, O::SecondInstance);
    EXPECT_EQ(sameSession.text,
              "VorlickR6X is already running (lock " + (sessionA / "VorlickR6X.lock").string() + "); this one ends.");

    const StationLocks sameFolder = takeStationLocks("VorlickR6X", sessionB, folder);
    EXPECT_EQ(sameFolder.outcome, O::FolderInUse);
    EXPECT_EQ(
        sameFolder.text.rfind("VorlickR6X: another station works in " + folder.string() + " (" +
                                  platform::programOwner() + ", lock " + (folder / ".VorlickR6X.lock").string() + ")",
                              0),
        0u)
        << sameFolder.text;

    // The refused station kept nothing: with the first one gone, another session may start here.
    EXPECT_EQ(takeStationLocks("VorlickR6X", sessionB, otherFolder).outcome, O::Taken);
}

TEST_F(StationLocksTest, ALockThatCannotBeMadeFailsWithTheReason) {
    struct Case {
        const char* name;
        fs::path runtime;
        fs::path station;
        std::string text;
    };
    fs::create_directory(sessionB / "VorlickR6X.lock");
    fs::create_directory(otherFolder / ".VorlickR6X.lock");
    const Case cases[] = {
        {"runtime folder missing", "/nonexistent", folder,
         "VorlickR6X: cannot take the single-instance lock: cannot open the lock file /nonexistent/VorlickR6X.lock: "
         "No such file or directory"},
        {"folder at the session lock", sessionB, folder,
         "VorlickR6X: cannot take the single-instance lock: cannot open the lock file " +
             (sessionB / "VorlickR6X.lock").string() + ": Is a directory"},
        {"folder at the station folder's lock", sessionA, otherFolder,
         "VorlickR6X: cannot take the station folder's lock: cannot open the lock file " +
             (otherFolder / ".VorlickR6X.lock").string() + ": Is a directory"},
        {"working folder unknown", sessionA, "",
         "VorlickR6X: cannot take the station folder's lock: the working folder cannot be read"},
    };
    for (const Case& c : cases) {
        const StationLocks l = takeStationLocks("VorlickR6X", c.runtime, c.station);
        EXPECT_EQ(l.outcome, O::Failed) << c.name;
        EXPECT_EQ(l.text, c.text) << c.name;
        EXPECT_EQ(l.instance, nullptr) << c.name;
    }
}

}  // namespace
}  // namespace station
