// The real romwrite binary: help, version, the second instance and a version check without a
// controller.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <string>

#include "platform/lock_file.h"
#include "romwrite/testing/bench.h"

namespace {

struct Outcome {
    int status = -1;
    std::string output;
};

// Without a display unless `env` names one: the console front end.
Outcome runRomwrite(const std::string& env, const std::string& args) {
    const std::string cmd = "env -u DISPLAY -u WAYLAND_DISPLAY " + env + " " + std::string(VORLICK_BINARY_DIR) +
                            "/romwrite/romwrite " + args + " 2>&1 </dev/null";
    Outcome o;
    FILE* p = ::popen(cmd.c_str(), "r");
    if (p == nullptr) return o;
    std::array<char, 256> buf;
    while (std::fgets(buf.data(), buf.size(), p) != nullptr) o.output += buf.data();
    const int raw = ::pclose(p);
    o.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return o;
}

TEST(RomwriteProcess, HelpAndVersion) {
    Outcome v = runRomwrite("", "--version");
    EXPECT_EQ(v.status, 0);
    EXPECT_EQ(v.output, std::string("romwrite ") + VORLICK_VERSION_STRING + "\n");
    Outcome h = runRomwrite("", "--help");
    EXPECT_EQ(h.status, 0);
    EXPECT_NE(h.output.find("usage: romwrite"), std::string::npos);
}

TEST(RomwriteProcess, SecondInstanceEndsWith255) {
    const std::string dir = romwrite::testing::freshDirectory("instance");
    auto first = platform::LockFile::take(dir + "/R6X_ROMWRITE.lock", "romwrite (pid 1)");
    ASSERT_EQ(first.outcome, platform::LockFile::Outcome::Acquired);
    Outcome o = runRomwrite("XDG_RUNTIME_DIR=" + dir + " VORLICK_HID=hidraw", "_tmp.hex -f1");
    EXPECT_EQ(o.status, 255);
    EXPECT_NE(o.output.find("Error: Program already running!"), std::string::npos);
    EXPECT_NE(o.output.find("exit code: -1"), std::string::npos);
    first.lock.reset();
    std::filesystem::remove_all(dir);
}

// A lock file that cannot be made is no proof of another writer: the reason, and code 1.
TEST(RomwriteProcess, ALockThatCannotBeMadeIsNoSecondInstance) {
    const std::string dir = romwrite::testing::freshDirectory("lockfail");
    std::filesystem::create_directory(dir + "/R6X_ROMWRITE.lock");
    const std::pair<std::string, std::string> cases[] = {
        {"/nonexistent", "No such file or directory"},
        {dir, "Is a directory"},
    };
    for (const auto& [runtime, reason] : cases) {
        Outcome o = runRomwrite("XDG_RUNTIME_DIR=" + runtime + " VORLICK_HID=hidraw", "_tmp.hex -f1");
        EXPECT_EQ(o.status, 1) << o.output;
        EXPECT_NE(o.output.find("Error: Cannot take the single-instance lock: cannot open the lock file " + runtime +
                                "/R6X_ROMWRITE.lock: " + reason),
                  std::string::npos)
            << o.output;
        EXPECT_EQ(o.output.find("already running"), std::string::npos) << o.output;
        EXPECT_NE(o.output.find("exit code: 1"), std::string::npos) << o.output;
    }
    std::filesystem::remove_all(dir);
}

TEST(RomwriteProcess, RefusedCommandLineNeverEndsWithZero) {
    const std::string dir = romwrite::testing::freshDirectory("cmdline");
    const struct {
        const char* args;
        int status;
        const char* statusLine;
    } cases[] = {
        {"/C12345", 5, "status: Command line error."},
        {"fw.hex /F1 /A /C5F64", 6, "status: Command line error. /F1 and /C5F64 ask for two jobs."},
        {"fw.hex /Z", 7, "status: Command line error. Unknown switch /Z."},
        {"fw.hex", 8, "status: Nothing to do: no /F, /C or /V switch."},
    };
    for (const auto& c : cases) {
        Outcome o = runRomwrite("XDG_RUNTIME_DIR=" + dir + " VORLICK_HID=hidraw", c.args);
        EXPECT_EQ(o.status, c.status) << c.args;
        EXPECT_NE(o.output.find(c.statusLine), std::string::npos) << o.output;
    }
    std::filesystem::remove_all(dir);
}

// A display that cannot be opened leaves the writer on the console, as if none were named.
TEST(RomwriteProcess, UnreachableDisplayFallsBackToTheConsole) {
    const std::string dir = romwrite::testing::freshDirectory("display");
    Outcome o = runRomwrite("XDG_RUNTIME_DIR=" + dir + " VORLICK_HID=hidraw DISPLAY=:977 WAYLAND_DISPLAY=",
                            "missing_" + std::to_string(::getpid()) + ".hex -f0");
    EXPECT_EQ(o.status, 5);
    EXPECT_NE(o.output.find("status: Hex file error."), std::string::npos) << o.output;
    EXPECT_NE(o.output.find("exit code: 5"), std::string::npos);
    std::filesystem::remove_all(dir);
}

}  // namespace
