#include <gtest/gtest.h>

#include "romwrite/protocol/job.h"
#include "romwrite/protocol/ubl_session.h"
#include "romwrite/testing/bench.h"
#include "romwrite/testing/images.h"

namespace romwrite {
namespace {

using testing::Bench;
using testing::BootloaderSpec;
using testing::flashHolds;
using testing::makeImage;
using testing::stamped;

struct F11Fixture : ::testing::Test {
    // Probe as the window does, then run one job as the worker does.
    std::unique_ptr<UblDevice> run(std::uint32_t kind, const FirmwareImage* image, bool pidLock = false) {
        auto d = std::make_unique<UblDevice>();
        const bool present = b.link.probeDevice(*d);
        JobRequest req{kind, image, present, false, pidLock};
        JobEnvironment env{b.link};
        runJob(req, *d, env);
        return d;
    }
    Bench b{"f11"};
};

TEST_F(F11Fixture, WritesTheImageAndLogsEveryStep) {
    auto dev = b.add(BootloaderSpec{});
    const FirmwareImage img = makeImage(0x200);
    b.log.close();
    UblDevice probe;
    ASSERT_TRUE(b.link.probeDevice(probe));
    b.log.open(b.dir);
    JobRequest req{JOB_WRITE, &img, true};
    JobEnvironment env{b.link};
    runJob(req, probe, env);
    EXPECT_EQ(probe.result, 0);
    EXPECT_EQ(probe.phase.load(), kPhaseConfirming);
    EXPECT_TRUE(flashHolds(dev->flashBytes(), img));
    EXPECT_EQ(b.table.size(), 0u);
    EXPECT_EQ(dev->exits(), 1);
    EXPECT_EQ(probe.progress.load(), 0x180u);
    const std::string expected = stamped({
        "Process start.",
        "HID devices found: 1",
        " device00 VID:0x3A1C PID:0x4001 UP:0xFF11 U:0x0011",
        "Device found. VID:0x3A1C PID:0x4001 UP:0xFF11 U:0x0011",
        "Device opened. PID:0x4001 VER:0x0203 USAGEPAGE:0xFF11 USAGE:0x0011 REP_SIZE:257",
        "Get device type.",
        "Get device type from main device",
        "DEVICE TYPE:1",
        "Enter UBL.",
        "HID devices found: 1",
        " device00 VID:0x3A1C PID:0x0094 UP:0xFF11 U:0x0011",
        "Device found. VID:0x3A1C PID:0x0094 UP:0xFF11 U:0x0011",
        "Device opened. PID:0x0094 VER:0x0203 USAGEPAGE:0xFF11 USAGE:0x0011 REP_SIZE:257",
        "Set Feature. command:0x7",
        "Get Feature. response:0x6",
        "Set Feature. command:0x5",
        "Get Feature. response:0x21",
        "Set Feature. command:0x4",
        "Get Feature. response:0x54",
        "Erasing R6X flash.",
        "Set Feature: erase all flash",
        "WRITE address:0x8000 size:0x200 checksum:0xFF00",
        "Set Feature. address:0x8000",
        "Get Feature. response:0x0",
        "Set Feature. address:0x8080",
        "Get Feature. response:0x0",
        "Set Feature. address:0x8100",
        "Get Feature. response:0x0",
        "Set Feature. address:0x8180",
        "Get Feature. response:0x0",
        "Exit UBL.",
        "Set Feature. command:0x3",
        "Close device.",
    });
    EXPECT_EQ(b.logBody(), expected);
}

TEST_F(F11Fixture, WaitsThePartsPauses) {
    BootloaderSpec spec;
    spec.eraseBusy = 0;
    b.add(spec);
    const FirmwareImage img = makeImage(0x200);
    auto d = run(JOB_WRITE, &img);
    ASSERT_EQ(d->result, 0);
    // Enter: 500 + 200; erase 2000; exit 500.
    EXPECT_EQ(b.clock.sleptMs(), 500u + 200u + 2000u + 500u);
}

TEST_F(F11Fixture, BootloaderAlreadyRunningIsNotEnteredAgain) {
    BootloaderSpec spec;
    spec.startInBootloader = true;
    spec.ublVersion = 0x53;
    auto dev = b.add(spec);
    const FirmwareImage img = makeImage(0x400);
    auto d = run(JOB_FORCE_WRITE, &img);
    EXPECT_EQ(d->result, 0);
    EXPECT_EQ(dev->enters(), 0);
    EXPECT_EQ(dev->getsOf(8), 1 + 2 + 4 + 8) << "device type from report 8, then the commands, erase and blocks";
    EXPECT_EQ(d->phase.load(), kPhaseCompleted);
    EXPECT_TRUE(flashHolds(dev->flashBytes(), img));
    EXPECT_NE(b.logBody().find("Get device type from bootloader\r\n"), std::string::npos);
}

TEST_F(F11Fixture, SequenceNumbersWrapAfter255) {
    BootloaderSpec spec;
    spec.startInBootloader = true;
    auto dev = b.add(spec);
    const FirmwareImage img = makeImage(0x8200);  // 260 blocks
    ASSERT_EQ(run(JOB_WRITE, &img)->result, 0);
    std::vector<std::uint8_t> seq;
    for (const auto& c : dev->commands())
        if (c.code == CMD_WRITE) seq.push_back(c.byte2);
    ASSERT_EQ(seq.size(), 260u);
    EXPECT_EQ(seq[0], 1);
    EXPECT_EQ(seq[254], 255);
    EXPECT_EQ(seq[255], 0);
    EXPECT_EQ(seq[256], 1);
    EXPECT_TRUE(flashHolds(dev->flashBytes(), img));
}

struct FailureCase {
    const char* name;
    std::function<void(testing::ScriptedBootloader&)> fault;
    std::int32_t result;
    std::string errorText;
};

TEST_F(F11Fixture, BlockFailuresGiveTheirResultAfterFourAttempts) {
    const FailureCase cases[] = {
        {"busy for ever", [](auto& d) { d.blockStatus = [](int) { return std::optional<std::uint8_t>(0x80); }; },
         kResultNoAnswer, "TIMEOUT at block:0"},
        {"MCU type",
         [](auto& d) {
             d.blockStatus = [](int n) { return n % 3 == 2 ? std::optional<std::uint8_t>(0x0C) : std::nullopt; };
         },
         kResultFailed, "File error. MCUTYPE not match."},
        {"product id", [](auto& d) { d.blockStatus = [](int) { return std::optional<std::uint8_t>(0x0D); }; },
         kResultFailed, "File error. PID not match."},
        {"version", [](auto& d) { d.blockStatus = [](int) { return std::optional<std::uint8_t>(0x0E); }; },
         kResultFailed, "File error. VERSION is older."},
        {"other status", [](auto& d) { d.blockStatus = [](int) { return std::optional<std::uint8_t>(0x22); }; },
         kResultFailed, "Error response:34 at block:0"},
        {"broken echo",
         [](auto& d) {
             d.tamper = [](const testing::SeenCommand& c, testing::Bytes& r) {
                 if (c.code == CMD_WRITE && c.address == 0x8100) r[2] ^= 1;
             };
         },
         kResultFailed, "RESPONSE not match at block:2"},
    };
    for (const FailureCase& c : cases) {
        SCOPED_TRACE(c.name);
        Bench bench("f11fail");
        BootloaderSpec spec;
        spec.startInBootloader = true;
        auto dev = bench.add(spec);
        c.fault(*dev);
        const FirmwareImage img = makeImage(0x400);
        UblDevice d;
        ASSERT_TRUE(bench.link.probeDevice(d));
        JobRequest req{JOB_WRITE, &img, true};
        JobEnvironment env{bench.link};
        runJob(req, d, env);
        EXPECT_EQ(d.result, c.result);
        EXPECT_EQ(d.errorText, c.errorText);
        EXPECT_EQ(dev->exits(), 0) << "a failed last attempt does not leave the bootloader";
        const auto seen = dev->commands();
        EXPECT_EQ(std::count_if(seen.begin(), seen.end(), [](const auto& cmd) { return cmd.code == CMD_ERASE; }), 4)
            << "four attempts";
        EXPECT_EQ(bench.table.size(), 0u);
    }
}

TEST_F(F11Fixture, BrokenEchoDumpsBothFrames) {
    BootloaderSpec spec;
    spec.startInBootloader = true;
    auto dev = b.add(spec);
    dev->tamper = [](const testing::SeenCommand& c, testing::Bytes& r) {
        if (c.code == CMD_MPU_TYPE) r[1] = 0x55;
    };
    b.log.close();
    UblDevice d;
    ASSERT_TRUE(b.link.probeDevice(d));
    ASSERT_TRUE(b.link.openUblDevice(d, *std::make_unique<hidlink::DeviceInfo>()));
    b.log.open(b.dir);
    UblSession s(b.link, d);
    EXPECT_FALSE(s.command(CMD_MPU_TYPE));
    EXPECT_EQ(d.result, kResultFailed);
    EXPECT_EQ(d.errorText, "RESPONSE not match at command:5");
    std::string cmdDump = "07,05," + std::string(14 * 3, ' ') + "\r\n";
    std::string zeros16;
    for (int i = 0; i < 16; ++i) zeros16 += "00,";
    std::string expected =
        stamped({"Set Feature. command:0x5", "Get Feature. response:0x21", "Response not match", "command:"});
    expected += "07,05,";
    for (int i = 2; i < 16; ++i) expected += "00,";
    expected += "\r\n";
    for (int line = 1; line < 16; ++line) expected += zeros16 + "\r\n";
    expected += "00,\r\n";  // byte 256
    expected += stamped({"response:"});
    expected += "08,55,00,21,";
    for (int i = 4; i < 16; ++i) expected += "00,";
    expected += "\r\n";
    for (int line = 1; line < 8; ++line) expected += zeros16 + "\r\n";
    expected += "00,00,00,00,00,00,00,00,\r\n";  // bytes 128..135
    EXPECT_EQ(b.logBody(), expected);
    b.link.closeUblDevice(d);
}

TEST_F(F11Fixture, SizeCheckOfTheFlashWindow) {
    struct Case {
        std::uint32_t start, size;
        std::int32_t result;
        const char* text;
    } cases[] = {
        {0x8000, 0x24000, 0, ""},
        {0x8000, 0x24200, kResultImageRange, "Data size error. Size is 0x24200."},
        {0x8100, 0x200, kResultImageRange, "Data error. Start at 0x08100."},
    };
    // A refused image leaves the controller as it came: nothing is sent to it.
    for (const Case& c : cases) {
        for (bool inBootloader : {false, true}) {
            SCOPED_TRACE(inBootloader ? "in its bootloader" : "running its firmware");
            Bench bench("f11size");
            BootloaderSpec spec;
            spec.startInBootloader = inBootloader;
            spec.eraseBusy = 0;
            auto dev = bench.add(spec);
            FirmwareImage img = makeImage(c.size);
            img.start = c.start;
            UblDevice d;
            bench.link.probeDevice(d);
            JobRequest req{JOB_WRITE, &img, true};
            JobEnvironment env{bench.link};
            runJob(req, d, env);
            EXPECT_EQ(d.result, c.result) << std::hex << c.size;
            EXPECT_EQ(d.errorText, c.text);
            if (c.result == 0) {
                EXPECT_TRUE(flashHolds(dev->flashBytes(), img));
            } else {
                EXPECT_TRUE(dev->commands().empty());
                EXPECT_EQ(dev->enters(), 0);
                EXPECT_EQ(dev->inBootloader(), inBootloader);
                EXPECT_EQ(bench.table.size(), 0u);
            }
        }
    }
}

TEST_F(F11Fixture, EraseThatStaysBusyIsBounded) {
    BootloaderSpec spec;
    spec.startInBootloader = true;
    spec.eraseBusy = 1 << 30;
    auto dev = b.add(spec);
    const FirmwareImage img = makeImage(0x200);
    auto d = run(JOB_WRITE, &img);
    EXPECT_EQ(d->result, kResultNoAnswer);
    EXPECT_EQ(d->errorText, "TIMEOUT after ALL ERASE command");
}

TEST_F(F11Fixture, LockedPidRefusesAnotherProduct) {
    auto dev = b.add(BootloaderSpec{});
    FirmwareImage img = makeImage(0x200, 0, 0x4002);
    auto d = run(JOB_WRITE, &img, true);
    EXPECT_EQ(d->result, kResultLockedPid);
    EXPECT_EQ(d->errorText, "Locked PID does not match.");
    EXPECT_EQ(dev->enters(), 0);
    EXPECT_EQ(b.table.size(), 0u);
    img.lockedPid = 0x4001;
    EXPECT_EQ(run(JOB_WRITE, &img, true)->result, 0);
}

TEST_F(F11Fixture, OldBootloaderRefusesChecksumAndConfirmWithoutSendingThem) {
    for (std::uint32_t kind : {JOB_CHECKSUM, JOB_CONFIRM}) {
        Bench bench("f11old");
        BootloaderSpec spec;
        spec.ublVersion = 0x53;
        auto dev = bench.add(spec);
        const FirmwareImage img = makeImage(0x200);
        UblDevice d;
        bench.link.probeDevice(d);
        JobRequest req{kind, &img, true};
        JobEnvironment env{bench.link};
        runJob(req, d, env);
        EXPECT_EQ(d.result, kResultFailed);
        EXPECT_EQ(d.errorText, "UBL version is old.");
        for (const auto& c : dev->commands())
            EXPECT_TRUE(c.code == 0x07 || c.code == 0x05 || c.code == 0x04 || c.code == 0x03);
        EXPECT_EQ(dev->exits(), 1);
    }
}

TEST_F(F11Fixture, NoDeviceAndNoImage) {
    b.add(BootloaderSpec{});
    UblDevice gone;
    gone.kind = DeviceKind::F11;
    JobRequest req{JOB_WRITE, nullptr, false};
    JobEnvironment env{b.link};
    runJob(req, gone, env);
    EXPECT_EQ(gone.result, kResultFailed);
    EXPECT_EQ(gone.errorText, "No device.");
    FirmwareImage invalid;
    auto d = run(JOB_WRITE, &invalid);
    EXPECT_EQ(d->errorText, "No valid hex data.");
    EXPECT_EQ(run(JOB_RESET, nullptr)->result, 0);
}

// Refuse one transfer anywhere in a write: the job either succeeds with the image in flash or
// fails; it never leaves a key open, and the next job writes the image.
TEST(F11Refusals, OneRefusedExchangeAnywhereNeverPassesForSuccess) {
    int total = 0;
    {
        Bench b("f11count");
        auto dev = b.add(BootloaderSpec{});
        dev->admitSet = [&](int) { return ++total, true; };
        dev->admitGet = [&](int) { return ++total, true; };
        const FirmwareImage img = makeImage(0x400);
        UblDevice d;
        b.link.probeDevice(d);
        JobRequest req{JOB_WRITE, &img, true};
        JobEnvironment env{b.link};
        runJob(req, d, env);
        ASSERT_EQ(d.result, 0);
    }
    ASSERT_GT(total, 20);
    for (bool refuseSet : {true, false}) {
        for (int n = 1; n <= total; ++n) {
            SCOPED_TRACE(std::string(refuseSet ? "set " : "get ") + std::to_string(n));
            Bench b("f11refuse");
            BootloaderSpec spec;
            auto dev = b.add(spec);
            int count = 0;
            auto admit = [&, n](int) { return ++count != n; };
            (refuseSet ? dev->admitSet : dev->admitGet) = admit;
            (refuseSet ? dev->admitGet : dev->admitSet) = [&](int) { return ++count, true; };
            const FirmwareImage img = makeImage(0x400, static_cast<std::uint8_t>(n));
            UblDevice d;
            b.link.probeDevice(d);
            JobRequest req{JOB_WRITE, &img, true};
            JobEnvironment env{b.link};
            runJob(req, d, env);
            if (d.result == 0) {
                EXPECT_TRUE(flashHolds(dev->flashBytes(), img));
            }
            EXPECT_EQ(b.table.size(), 0u);
            dev->admitSet = nullptr;
            dev->admitGet = nullptr;
            b.clock.advance(1000);  // a device between re-enumerations comes back
            const FirmwareImage again = makeImage(0x400, 0x77);
            UblDevice d2;
            ASSERT_TRUE(b.link.probeDevice(d2));
            JobRequest req2{JOB_WRITE, &again, true};
            runJob(req2, d2, env);
            EXPECT_EQ(d2.result, 0);
            EXPECT_TRUE(flashHolds(dev->flashBytes(), again));
        }
    }
}

TEST(F11Transport, WritesOnEveryF11Collection) {
    for (std::uint16_t usage : {std::uint16_t{0x11}, std::uint16_t{0x01}, std::uint16_t{0x0B}}) {
        Bench b("f11usage");
        BootloaderSpec spec;
        spec.usage = usage;
        auto dev = b.add(spec);
        const FirmwareImage img = makeImage(0x600, static_cast<std::uint8_t>(usage));
        UblDevice d;
        ASSERT_TRUE(b.link.probeDevice(d));
        EXPECT_EQ(d.mode, usage == 0x0B ? TransportMode::WrappedPaused : TransportMode::Direct);
        JobRequest req{JOB_WRITE, &img, true};
        JobEnvironment env{b.link};
        runJob(req, d, env);
        EXPECT_EQ(d.result, 0) << d.errorText;
        EXPECT_TRUE(flashHolds(dev->flashBytes(), img)) << "usage " << usage;
        EXPECT_FALSE(dev->inBootloader());
    }
}

TEST(Unplug, UnplugAtFirstMiddleAndLastBlock) {
    for (bool f11 : {true, false})
        for (int at : {1, 4, 8}) {
            SCOPED_TRACE((f11 ? "F11 block " : "F09 short block ") + std::to_string(at));
            Bench b("unplug");
            BootloaderSpec spec;
            spec.startInBootloader = true;
            if (!f11) {
                spec.f11 = false;
                spec.usagePage = 0xFF09;
                spec.usage = 0x01;
            }
            auto dev = b.add(spec);
            const int id = b.lastId;
            // Pulled out while the block is being written: its answer never comes.
            dev->blockStatus = [&b, id, at](int n) {
                if (n == at) b.bus.unplug(id);
                return std::optional<std::uint8_t>();
            };
            const FirmwareImage img = makeImage(f11 ? 0x400 : 0x200);
            UblDevice d;
            b.link.probeDevice(d);
            JobRequest req{JOB_WRITE, &img, true};
            JobEnvironment env{b.link};
            runJob(req, d, env);
            EXPECT_NE(d.result, 0);
            EXPECT_EQ(b.table.size(), 0u);
            dev->blockStatus = nullptr;
            b.bus.replug(id);
            UblDevice d2;
            ASSERT_TRUE(b.link.probeDevice(d2));
            runJob(req, d2, env);
            EXPECT_EQ(d2.result, 0);
            EXPECT_TRUE(flashHolds(dev->flashBytes(), img));
        }
}

}  // namespace
}  // namespace romwrite
