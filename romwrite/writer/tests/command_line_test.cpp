#include "romwrite/writer/command_line.h"

#include <gtest/gtest.h>

#include "romwrite/writer/exit_codes.h"

namespace romwrite {
namespace {

TEST(CommandLine, Switches) {
    struct Case {
        std::vector<std::string> tokens;
        std::uint32_t kind;
        bool silent, autoExit, autoApply, logOn;
        std::optional<std::string> file;
    } cases[] = {
        {{"_tmp.hex", "-f1"}, JOB_FORCE_WRITE, false, true, false, false, "_tmp.hex"},
        {{"/F0", "a.hex", "b.hex"}, JOB_WRITE, false, true, false, false, "b.hex"},
        {{"/f2", "/a", "/l"}, JOB_ENC_WRITE, false, true, true, true, std::nullopt},
        {{"/S", "/silent"}, JOB_IDLE, true, false, false, false, std::nullopt},
        // The same job asked twice is one job.
        {{"-f1", "/F1"}, JOB_FORCE_WRITE, false, true, false, false, std::nullopt},
        {{"/C1A2B", "/c1a2b"}, JOB_CHECKSUM, true, true, false, false, std::nullopt},
        {{"/cFF00"}, JOB_CHECKSUM, true, true, false, false, std::nullopt},
        {{"-V1234"}, JOB_VERSION_CHECK, true, false, false, false, std::nullopt},
        // A path is a file name, not a switch; '-' always starts a switch.
        {{"/home/op/fw.hex", "/F1"}, JOB_FORCE_WRITE, false, true, false, false, "/home/op/fw.hex"},
        {{"fw 1.hex"}, JOB_IDLE, false, false, false, false, "fw 1.hex"},
    };
    for (const Case& c : cases) {
        WriteJob job;
        const SwitchResult r = readSwitches(CommandLine{c.tokens}, job, false);
        SCOPED_TRACE(CommandLine{c.tokens}.text());
        ASSERT_TRUE(r.ok);
        EXPECT_EQ(job.kind, c.kind);
        EXPECT_EQ(job.silent, c.silent);
        EXPECT_EQ(job.autoExit, c.autoExit);
        EXPECT_EQ(job.autoApply, c.autoApply);
        EXPECT_EQ(job.logOn, c.logOn);
        EXPECT_EQ(r.file, c.file);
    }
}

TEST(CommandLine, UnknownSwitchesAndTwoJobsAreRefused) {
    struct Case {
        std::vector<std::string> tokens;
        std::int32_t result;
        const char* error;
    } cases[] = {
        {{"fw.hex", "/Z"}, kResultUnknownSwitch, "Command line error. Unknown switch /Z."},
        {{"fw.hex", "/F9"}, kResultUnknownSwitch, "Command line error. Unknown switch /F9."},
        {{"fw.hex", "-f"}, kResultUnknownSwitch, "Command line error. Unknown switch -f."},
        {{"fw.hex", "/F10"}, kResultUnknownSwitch, "Command line error. Unknown switch /F10."},
        {{"/forcerestart"}, kResultUnknownSwitch, "Command line error. Unknown switch /forcerestart."},
        {{"-"}, kResultUnknownSwitch, "Command line error. Unknown switch -."},
        {{"fw.hex", "/F1", "/A", "/C5F64"}, kResultTwoJobs, "Command line error. /F1 and /C5F64 ask for two jobs."},
        {{"fw.hex", "/F0", "/F2"}, kResultTwoJobs, "Command line error. /F0 and /F2 ask for two jobs."},
        {{"/C1", "/C2"}, kResultTwoJobs, "Command line error. /C1 and /C2 ask for two jobs."},
        {{"/V0120", "/C1234"}, kResultTwoJobs, "Command line error. /V0120 and /C1234 ask for two jobs."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(CommandLine{c.tokens}.text());
        WriteJob job;
        const SwitchResult r = readSwitches(CommandLine{c.tokens}, job, false);
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.result, c.result);
        EXPECT_EQ(r.error, c.error);
    }
    // An embedded image keeps reading leniently: its words pass through the same reader.
    WriteJob embedded;
    EXPECT_TRUE(readSwitches(CommandLine{{"/forcerestart", "/Z"}}, embedded, true).ok);
    WriteJob twoJobs;
    EXPECT_EQ(readSwitches(CommandLine{{"/F1", "/C5F64"}}, twoJobs, true).result, kResultTwoJobs);
}

TEST(CommandLine, NumbersOfCAndV) {
    struct Case {
        const char* token;
        bool ok;
        std::uint32_t checksum, version;
    } cases[] = {
        {"/C1a2B", true, 0x1A2B, 0},
        {"/V00000000000FFFF", true, 0, 0xFFFF},  // 15 characters
        {"/V000000000000FFFF", false, 0, 0},     // 16
        {"/C10000", false, 0, 0},                // beyond the 16-bit checksum
        {"/C12G4", false, 0, 0},                 // not a hex digit
        {"/C", false, 0, 0},                     // no number
        {"/V", false, 0, 0},
    };
    for (const Case& c : cases) {
        WriteJob job;
        const SwitchResult r = readSwitches(CommandLine{{c.token}}, job, false);
        EXPECT_EQ(r.ok, c.ok) << c.token;
        if (!c.ok) {
            EXPECT_EQ(r.error, "Command line error.");
            EXPECT_EQ(r.result, kResultLoad);
            EXPECT_EQ(job.kind, JOB_IDLE) << "nothing runs on a misread number";
        } else {
            EXPECT_EQ(job.image.checksum, c.checksum);
            EXPECT_EQ(job.image.fileVersion, c.version);
        }
    }
}

TEST(CommandLine, LongerThan127CharactersIsRefused) {
    const std::string name(127 - 4, 'a');
    WriteJob job;
    EXPECT_TRUE(readSwitches(CommandLine{{name, "-f1"}}, job, false).ok);  // exactly 127
    WriteJob longer;
    const SwitchResult r = readSwitches(CommandLine{{name + "b", "-f1"}}, longer, false);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, "Command line too long.");
    EXPECT_EQ(longer.kind, JOB_IDLE);
}

TEST(CommandLine, EmbeddedIgnoresFileNamesAndReadsItsWords) {
    WriteJob job;
    const SwitchResult r = readSwitches(CommandLine{{"fw.hex", "/L"}}, job, true);
    EXPECT_FALSE(r.file);
    EXPECT_TRUE(job.logOn);
    readEmbeddedWords(CommandLine{{"-ForceRestart", "/SILENT", "silent"}}, job);
    EXPECT_TRUE(job.forceRestart);
    EXPECT_TRUE(job.silent);
    WriteJob other;
    readEmbeddedWords(CommandLine{{"/forcerestart2", "silent"}}, other);
    EXPECT_FALSE(other.forceRestart);
    EXPECT_FALSE(other.silent);
}

TEST(ExitCodes, EmbeddedMapping) {
    const std::pair<int, int> embedded[] = {{0, 0},   {1, -1},  {2, -1},  {3, -6},  {4, -6},  {5, -6},  {16, -6},
                                            {17, -6}, {32, -6}, {48, -6}, {49, -6}, {50, -6}, {-2, -2}, {7, 7}};
    for (auto [code, mapped] : embedded) EXPECT_EQ(embeddedExitCode(code), mapped) << code;
}

}  // namespace
}  // namespace romwrite
