// The real binaries: vorlick-sim serving, vorlick-diag and forked children as its clients.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <fstream>
#include <future>
#include <sstream>

#include "hidlink/socket_backend.h"
#include "platform/clock.h"
#include "test_support.h"

namespace {

using hidlink::CollectionDesc;
using hidlink::OpenMode;
using hidlink::ReadStatus;

const std::string kSim = simtest::binary("sim/vorlick-sim");
const std::string kDiag = simtest::binary("tools/vorlick-diag");
const std::string kExample = std::string(VORLICK_SOURCE_DIR) + "/examples/sim/table-r6.scenario";

std::size_t lines(const std::string& text) {
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

class SimProcessTest : public ::testing::Test {
protected:
    void SetUp() override {
        sim = std::make_unique<simtest::Child>(
            std::vector<std::string>{kSim, "--socket", socket, "--scenario", kExample});
        // The path is printed once the simulator listens.
        ASSERT_EQ(sim->firstLine(10000), socket);
    }

    std::unique_ptr<hidlink::Backend> client() {
        std::string error;
        auto b = hidlink::connectSocketBackend(socket, error, 2000, platform::systemClock());
        EXPECT_TRUE(b) << error;
        return b;
    }

    CollectionDesc touch(hidlink::Backend& b) {
        std::vector<CollectionDesc> all;
        EXPECT_TRUE(b.enumerate(all, 100)) << b.lastError();
        for (auto& d : all)
            if (d.identity.usage == 0x11) return d;
        ADD_FAILURE() << "no touch collection";
        return {};
    }

    simtest::RunResult ctl(std::vector<std::string> args) {
        args.insert(args.begin(), {kSim, "ctl", "--socket", socket});
        return simtest::run(args);
    }

    simtest::RunResult diagList() { return simtest::run({kDiag, "list"}, {"VORLICK_HID=sim:" + socket}); }

    simtest::TempDir dir;
    std::string socket = dir.file("sim.sock");
    std::unique_ptr<simtest::Child> sim;
};

TEST_F(SimProcessTest, TwoDiagProcessesSeeTheSameController) {
    simtest::Child a({kDiag, "list"}, {"VORLICK_HID=sim:" + socket});
    simtest::Child b({kDiag, "list"}, {"VORLICK_HID=sim:" + socket});
    const auto ra = a.wait(), rb = b.wait();
    ASSERT_EQ(ra.exitCode, 0) << ra.err;
    ASSERT_EQ(rb.exitCode, 0) << rb.err;
    EXPECT_EQ(ra.out, rb.out);
    EXPECT_EQ(ra.out,
              "0\t0x3A1C\t0x0112\t0xFF11\t0x0011\t0x0100\tsim:dev0/if0\n"
              "1\t0x3A1C\t0x0112\t0xFF11\t0x0002\t0x0100\tsim:dev0/if0\n");
}

TEST_F(SimProcessTest, SetInOneProcessIsSeenByAGetInAnother) {
    std::vector<std::uint8_t> report(64, 0);
    report[0] = 0x09;
    for (std::size_t i = 1; i < report.size(); ++i) report[i] = static_cast<std::uint8_t>(0xA0 ^ i);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::string error;
        auto b = hidlink::connectSocketBackend(socket, error, 2000, platform::systemClock());
        std::vector<CollectionDesc> all;
        if (!b || !b->enumerate(all, 100) || all.empty()) ::_exit(10);
        auto f = b->open(all[0], OpenMode::Feature);
        const bool set = f && f->setFeature(report);
        // Closed before exit: the close waits for the simulator, so the parent's open below
        // never races the server's handling of this process's dropped connection.
        f.reset();
        ::_exit(set ? 0 : 11);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0);

    auto b = client();
    auto f = b->open(touch(*b), OpenMode::Feature);
    ASSERT_TRUE(f);
    std::vector<std::uint8_t> back(64, 0);
    back[0] = 0x09;
    ASSERT_TRUE(f->getFeature(back)) << f->lastError();
    EXPECT_EQ(back, report);
}

TEST_F(SimProcessTest, CtlUnplugAndReplugChangeWhatClientsSee) {
    auto b = client();
    const CollectionDesc t = touch(*b);
    auto f = b->open(t, OpenMode::Feature);
    ASSERT_TRUE(f);

    auto r = ctl({"unplug", "0"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    auto list = diagList();
    EXPECT_EQ(list.exitCode, 0) << list.err;
    EXPECT_EQ(list.out, "");
    EXPECT_EQ(b->open(t, OpenMode::Feature), nullptr);
    std::vector<std::uint8_t> get(16, 0);
    get[0] = 0x04;
    EXPECT_FALSE(f->getFeature(get));
    r = ctl({"list"});
    EXPECT_NE(r.out.find("unplugged"), std::string::npos) << r.out;

    r = ctl({"replug", "0"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(lines(diagList().out), 2u);
    auto again = b->open(touch(*b), OpenMode::Feature);
    ASSERT_TRUE(again);
    EXPECT_TRUE(again->getFeature(get)) << again->lastError();
    EXPECT_EQ(get[11], 0x01) << "the example's touch query answer";
}

TEST_F(SimProcessTest, CtlInputReachesEveryOpenReader) {
    // Two sockets of one program: another program could not open the device at all.
    auto a = client();
    auto* b = a.get();
    auto ra = a->open(touch(*a), OpenMode::ReadOnly);
    auto rb = b->open(touch(*b), OpenMode::ReadOnly);
    ASSERT_TRUE(ra && rb);
    const auto r = ctl({"input", "0", "0", "01 02 03", "04"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    for (auto* reader : {ra.get(), rb.get()}) {
        std::vector<std::uint8_t> in(64, 0);
        const auto got = reader->readInput(in, 5000);
        ASSERT_EQ(got.status, ReadStatus::Ok);
        EXPECT_EQ(std::vector<std::uint8_t>(in.begin(), in.begin() + static_cast<long>(got.length)),
                  (std::vector<std::uint8_t>{1, 2, 3, 4}));
    }
}

TEST_F(SimProcessTest, CtlFaultsKeepWhatIsNotNamed) {
    ASSERT_EQ(ctl({"faults", "0", "refuse-all=1", "latency=3"}).exitCode, 0);
    ASSERT_EQ(ctl({"faults", "0", "refuse-nth=4"}).exitCode, 0);
    const auto r = ctl({"list"});
    EXPECT_NE(r.out.find("latency=3 refuse-nth=4 refuse-all=1"), std::string::npos) << r.out;
    auto b = client();
    auto f = b->open(touch(*b), OpenMode::Feature);
    ASSERT_TRUE(f);
    std::vector<std::uint8_t> get(16, 0);
    get[0] = 0x04;
    EXPECT_FALSE(f->getFeature(get));
}

TEST_F(SimProcessTest, KilledSimulatorMakesClientCallsFailPromptly) {
    auto b = client();
    const CollectionDesc t = touch(*b);
    auto reader = b->open(t, OpenMode::ReadOnly);
    auto feature = b->open(t, OpenMode::Feature);
    ASSERT_TRUE(reader && feature);
    auto pending = std::async(std::launch::async, [&] {
        std::vector<std::uint8_t> in(64);
        return reader->readInput(in, 60000).status;
    });
    sim->signal(SIGKILL);
    sim->wait();
    EXPECT_EQ(pending.get(), ReadStatus::Disconnected);

    std::vector<CollectionDesc> all;
    EXPECT_FALSE(b->enumerate(all, 100));
    EXPECT_FALSE(b->lastError().empty());
    std::vector<std::uint8_t> get(16, 0);
    get[0] = 0x04;
    EXPECT_FALSE(feature->getFeature(get));
    std::vector<std::uint8_t> in(64);
    EXPECT_EQ(reader->readInput(in, 60000).status, ReadStatus::Disconnected);

    // The socket file of a killed simulator stays behind; a client still gets one clear line.
    const auto list = diagList();
    EXPECT_EQ(list.exitCode, 2);
    EXPECT_EQ(lines(list.err), 1u) << list.err;
    EXPECT_NE(list.err.find(socket), std::string::npos) << list.err;

    // ... and a new simulator takes the stale socket over.
    simtest::Child next({kSim, "--socket", socket});
    ASSERT_EQ(next.firstLine(10000), socket);
    EXPECT_EQ(lines(diagList().out), 2u);
    EXPECT_TRUE(b->enumerate(all, 100)) << "the backend finds a restarted simulator: " << b->lastError();
}

TEST_F(SimProcessTest, StopSignalEndsCleanlyAndRemovesTheSocket) {
    for (int sig : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(sig);
        if (sig == SIGINT) {
            sim = std::make_unique<simtest::Child>(std::vector<std::string>{kSim, "--socket", socket});
            ASSERT_EQ(sim->firstLine(10000), socket);
        }
        auto b = client();  // a connected client must not keep it alive
        sim->signal(sig);
        EXPECT_EQ(sim->wait().exitCode, 0);
        struct stat st {};
        EXPECT_NE(::lstat(socket.c_str(), &st), 0);
    }
}

TEST(SimCommandLine, BadUseGivesOneClearLineOrUsage) {
    simtest::TempDir dir;
    const std::string missing = dir.file("nobody.sock");
    const std::string badScenario = dir.file("bad.scenario");
    std::ofstream(badScenario) << "[device]\nmodel = table\ncolour = blue\n";
    const std::string fifo = dir.file("scenario.fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    struct Case {
        const char* what;
        std::vector<std::string> argv;
        std::vector<std::string> env;
        int exitCode;
        std::string errHas;
        bool oneLine;
    };
    const Case cases[] = {
        {"diag, sim socket missing", {kDiag, "list"}, {"VORLICK_HID=sim:" + missing}, 2, missing, true},
        {"diag, sim without path", {kDiag, "list"}, {"VORLICK_HID=sim:"}, 2, "socket path", true},
        {"diag, unknown backend", {kDiag, "list"}, {"VORLICK_HID=usb"}, 2, "VORLICK_HID=usb", true},
        {"sim without socket", {kSim}, {}, 2, "usage:", false},
        {"sim, unknown option", {kSim, "--socket", missing, "--fast"}, {}, 2, "usage:", false},
        {"sim, bad scenario", {kSim, "--socket", missing, "--scenario", badScenario}, {}, 1, badScenario + ":3:", true},
        {"sim, missing scenario",
         {kSim, "--socket", missing, "--scenario", dir.file("none")},
         {},
         1,
         "cannot read",
         true},
        // Read before the stop signals are blocked, and refused at once: never a program that
        // waits on a FIFO and ignores SIGINT and SIGTERM.
        {"sim, FIFO as scenario",
         {kSim, "--socket", missing, "--scenario", fifo},
         {},
         1,
         fifo + ": is not a regular file but a FIFO",
         true},
        {"sim, folder as scenario",
         {kSim, "--socket", missing, "--scenario", dir.path()},
         {},
         1,
         "is a directory",
         true},
        {"ctl, unknown verb", {kSim, "ctl", "--socket", missing, "explode"}, {}, 2, "usage:", false},
        {"ctl, device not a number", {kSim, "ctl", "--socket", missing, "unplug", "x"}, {}, 2, "usage:", false},
        {"ctl, bad fault", {kSim, "ctl", "--socket", missing, "faults", "0", "latency=slow"}, {}, 2, "usage:", false},
        {"ctl, odd hex", {kSim, "ctl", "--socket", missing, "input", "0", "0", "123"}, {}, 2, "usage:", false},
        {"ctl, nobody there", {kSim, "ctl", "--socket", missing, "list"}, {}, 1, missing, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto r = simtest::run(c.argv, c.env);
        EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
        EXPECT_NE(r.err.find(c.errHas), std::string::npos) << r.err;
        if (c.oneLine) {
            EXPECT_EQ(lines(r.err), 1u) << r.err;
        }
        EXPECT_EQ(r.out, "");
    }
}

}  // namespace

namespace {

// The whole chain a newcomer uses: a scenario file with an open Rx line, vorlick-sim serving it,
// vorlick-diag raw reading the averaged grid over the socket.
TEST(SimProcessControllerTest, OpenRxLineShowsAsALowColumnInTheRawGrid) {
    simtest::TempDir dir;
    const std::string scenario = dir.file("open-rx.scenario");
    std::ofstream(scenario) << "[device]\nmodel = controller\ngeneration = R6\nnoise = 0\nopen_rx = 7\n";
    const std::string socket = dir.file("sim.sock");
    simtest::Child sim({kSim, "--socket", socket, "--scenario", scenario});
    ASSERT_EQ(sim.firstLine(10000), socket);

    const auto r = simtest::run({kDiag, "raw", "--frames", "2", "--retry", "3"}, {"VORLICK_HID=sim:" + socket});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::istringstream csv(r.out);
    std::string line;
    int t = 0;
    for (; std::getline(csv, line); ++t) {
        std::istringstream cells(line);
        std::string cell;
        for (int rx = 0; std::getline(cells, cell, ','); ++rx) {
            const double level = 2000.0 + 4 * t + 2 * rx;
            EXPECT_DOUBLE_EQ(std::stod(cell), rx == 7 ? std::round(level / 10) : level) << "tx " << t << " rx " << rx;
        }
    }
    EXPECT_EQ(t, 46);
}

// A second program on a held controller is turned away before it sends anything, with one line
// naming the holder.
TEST(SimProcessControllerTest, DiagOnAControllerAnotherProgramHoldsIsRefused) {
    simtest::TempDir dir;
    const std::string scenario = dir.file("r6.scenario");
    std::ofstream(scenario) << "[device]\nmodel = controller\ngeneration = R6\n";
    const std::string socket = dir.file("sim.sock");
    simtest::Child sim({kSim, "--socket", socket, "--scenario", scenario});
    ASSERT_EQ(sim.firstLine(10000), socket);

    std::string error;
    auto holder = hidlink::connectSocketBackend(socket, error, 2000, platform::systemClock());
    ASSERT_TRUE(holder) << error;
    std::vector<CollectionDesc> all;
    ASSERT_TRUE(holder->enumerate(all, 100));
    ASSERT_FALSE(all.empty());
    auto pen = holder->open(all.back(), OpenMode::Feature);
    ASSERT_TRUE(pen) << holder->lastError();

    const auto r = simtest::run({kDiag, "raw"}, {"VORLICK_HID=sim:" + socket});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "vorlick-diag device: opening the touch collection failed: sim:dev0/if0 is in use by " +
                         std::string(program_invocation_short_name) + " (pid " + std::to_string(::getpid()) + ")\n");
}

}  // namespace
