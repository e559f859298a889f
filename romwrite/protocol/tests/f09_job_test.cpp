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

BootloaderSpec f09(std::uint16_t usage = 0x11, std::uint16_t page = 0xFF09) {
    BootloaderSpec s;
    s.f11 = false;
    s.usagePage = page;
    s.usage = usage;
    s.mainPid = 0x4002;
    return s;
}

struct JobRun {
    std::unique_ptr<UblDevice> device = std::make_unique<UblDevice>();
    std::vector<std::uint8_t> codes;
};

JobRun runOn(Bench& b, testing::ScriptedBootloader& dev, std::uint32_t kind, const FirmwareImage* img,
             bool setSecurity = false) {
    JobRun r;
    const bool present = b.link.probeDevice(*r.device);
    JobRequest req{kind, img, present, setSecurity, false};
    JobEnvironment env{b.link};
    runJob(req, *r.device, env);
    for (const auto& c : dev.commands()) r.codes.push_back(c.code);
    return r;
}

TEST(F09Job, WritesOnEveryFrameKind) {
    struct Case {
        const char* name;
        std::uint16_t usage, page;
        std::uint32_t kind;
        std::uint8_t blockCode;
        std::size_t blocks;
    } cases[] = {
        {"long", 0x11, 0xFF09, JOB_WRITE, CMD_WRITE, 16},
        {"short", 0x01, 0xFF09, JOB_WRITE, CMD_WRITE, 128},
        {"wrapped", 0x0B, 0xFF09, JOB_FORCE_WRITE, CMD_FORCE_WRITE, 16},
        {"wrapped on FF00", 0x0B, 0xFF00, JOB_ENC_WRITE, CMD_ENC_WRITE, 16},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bench b("f09");
        auto dev = b.add(f09(c.usage, c.page));
        const FirmwareImage img = makeImage(0x2000);
        JobRun r = runOn(b, *dev, c.kind, &img);
        EXPECT_EQ(r.device->result, 0) << r.device->errorText;
        EXPECT_TRUE(flashHolds(dev->flashBytes(), img));
        EXPECT_TRUE(dev->checkBytesOk());
        EXPECT_EQ(static_cast<std::size_t>(std::count(r.codes.begin(), r.codes.end(), c.blockCode)), c.blocks);
        EXPECT_EQ(std::count(r.codes.begin(), r.codes.end(), CMD_ERASE), 0) << "F09 sends no erase";
        EXPECT_EQ(r.device->phase.load(), kPhaseConfirming);
        EXPECT_EQ(b.table.size(), 0u);
        EXPECT_EQ(dev->exits(), 1);
    }
}

TEST(F09Job, ShortFramesNumberTheirBlocksFromOne) {
    Bench b("f09seq");
    auto dev = b.add(f09(0x01));
    const FirmwareImage img = makeImage(0x2000);
    runOn(b, *dev, JOB_WRITE, &img);
    std::vector<std::uint8_t> seq;
    for (const auto& c : dev->commands())
        if (c.code == CMD_WRITE) seq.push_back(c.byte2);
    ASSERT_EQ(seq.size(), 128u);
    for (std::size_t i = 0; i < seq.size(); ++i) EXPECT_EQ(seq[i], i + 1);
}

TEST(F09Job, EncryptedWriteMatchesDataFirst) {
    Bench b("f09enc");
    auto dev = b.add(f09());
    FirmwareImage img = makeImage(0x400, 0, 0x0123, 0x0999);
    JobRun r = runOn(b, *dev, JOB_ENC_WRITE, &img);
    EXPECT_EQ(r.device->result, kResultFailed);
    EXPECT_EQ(r.device->errorText, "Data matching error.");
    EXPECT_EQ(std::count(r.codes.begin(), r.codes.end(), CMD_ENC_WRITE), 0);
    EXPECT_EQ(r.codes.back(), CMD_EXIT);
}

TEST(F09Job, OldBootloaderRefusesNewerCommands) {
    for (std::uint32_t kind : {std::uint32_t{JOB_ENC_WRITE}, JOB_CHECKSUM, JOB_CONFIRM}) {
        Bench b("f09old");
        BootloaderSpec spec = f09();
        spec.ublVersion = 0x53;
        auto dev = b.add(spec);
        const FirmwareImage img = makeImage(0x400);
        JobRun r = runOn(b, *dev, kind, &img);
        EXPECT_EQ(r.device->result, kResultFailed);
        EXPECT_EQ(r.device->errorText, "UBL version is old.");
        EXPECT_EQ(r.codes,
                  (std::vector<std::uint8_t>{CMD_MODE, CMD_MPU_TYPE, CMD_UBL_VERSION, CMD_SECURITY, CMD_EXIT}));
        EXPECT_EQ(r.device->phase.load(), kPhaseCompleted);
    }
}

TEST(F09Job, ChecksumComparison) {
    Bench b("f09sum");
    auto dev = b.add(f09());
    const FirmwareImage img = makeImage(0x400);
    ASSERT_EQ(runOn(b, *dev, JOB_WRITE, &img).device->result, 0);
    b.clock.advance(1000);
    EXPECT_EQ(runOn(b, *dev, JOB_CHECKSUM, &img).device->result, 0);
    b.clock.advance(1000);
    FirmwareImage other = img;
    other.checksum ^= 1;
    EXPECT_EQ(runOn(b, *dev, JOB_CHECKSUM, &other).device->result, kResultChecksum);
}

TEST(F09Job, ConfirmWithAndWithoutSecurity) {
    {
        Bench b("f09conf");
        auto dev = b.add(f09());
        JobRun r = runOn(b, *dev, JOB_CONFIRM, nullptr);
        EXPECT_EQ(r.device->result, 0);
        EXPECT_TRUE(dev->confirmed());
        EXPECT_EQ(dev->security(), 0);
        EXPECT_EQ(std::count(r.codes.begin(), r.codes.end(), CMD_SECURITY), 1) << "only the state read";
    }
    {
        Bench b("f09sec");
        auto dev = b.add(f09());
        JobRun r = runOn(b, *dev, JOB_CONFIRM, nullptr, true);
        EXPECT_EQ(r.device->result, 0);
        EXPECT_EQ(dev->security(), 0x0F);
        EXPECT_NE(b.logBody().find("Set security.\r\n"), std::string::npos);
    }
    {
        Bench b("f09prot");
        auto dev = b.add(f09());
        dev->tamper = [](const testing::SeenCommand& c, testing::Bytes& r) {
            if (c.code == CMD_SECURITY && c.address == 0x0F) r[3] = 0x4F;
        };
        JobRun r = runOn(b, *dev, JOB_CONFIRM, nullptr, true);
        EXPECT_EQ(r.device->result, kResultFailed);
        EXPECT_EQ(r.device->errorText, "Error response at WRITEPROTECT.");
    }
    {
        Bench b("f09confail");
        auto dev = b.add(f09());
        dev->tamper = [](const testing::SeenCommand& c, testing::Bytes& r) {
            if (c.code == CMD_CONFIRM) r[3] = 5;
        };
        JobRun r = runOn(b, *dev, JOB_CONFIRM, nullptr, true);
        EXPECT_EQ(r.device->errorText, "Error response:5 at command:134");
        EXPECT_EQ(std::count(r.codes.begin(), r.codes.end(), CMD_SECURITY), 1) << "no security after a failed confirm";
    }
}

// Waits on the job's clock, written into the same timeline as the device's transfers.
class TimelineClock final : public platform::Clock {
public:
    TimelineClock(platform::Clock& inner, std::vector<std::string>& timeline) : inner_(inner), timeline_(timeline) {}
    std::uint64_t monotonicMs() override { return inner_.monotonicMs(); }
    platform::TimeOfDay timeOfDay() override { return inner_.timeOfDay(); }
    void sleepMs(std::uint32_t ms) override {
        timeline_.push_back("sleep " + std::to_string(ms));
        inner_.sleepMs(ms);
    }

private:
    platform::Clock& inner_;
    std::vector<std::string>& timeline_;
};

TEST(F09Job, WaitsAfterEnteringAndLeavingTheBootloader) {
    // After "Enter UBL." 500 ms and 200 ms before the mode is read; a mode other than 6 waits
    // 200 ms more before the next entry; after the exit command 500 ms.
    const std::vector<std::string> entered = {"set 2", "sleep 500", "sleep 200", "command 0x07", "get 8"};
    auto join = [](std::initializer_list<std::vector<std::string>> parts) {
        std::vector<std::string> all;
        for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
        return all;
    };
    const std::vector<std::string> data = {"command 0x05", "get 8", "command 0x04", "get 8", "command 0x81", "get 8"};
    const std::vector<std::string> blocks = {"command 0x01", "get 8", "command 0x01", "get 8"};
    const std::vector<std::string> leave = {"command 0x03", "sleep 500"};
    struct Case {
        const char* name;
        int notBootloaderAnswers;  // mode answers other than 6 before the entry holds
        bool exitRefused;
        std::vector<std::string> expected;
    } cases[] = {
        {"entered at once", 0, false, join({{"get 2"}, entered, data, blocks, leave})},
        {"entered at the second try", 1, false,
         join({{"get 2"}, entered, {"sleep 200"}, entered, data, blocks, leave})},
        {"exit command refused", 0, true, join({{"get 2"}, entered, data, blocks})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bench b("f09waits");
        auto dev = b.add(f09());
        std::vector<std::string> timeline;
        int modeAnswers = 0;
        dev->tamper = [&](const testing::SeenCommand& cmd, testing::Bytes& r) {
            if (cmd.code == CMD_MODE && modeAnswers++ < c.notBootloaderAnswers) r[3] = 5;
        };
        UblDevice device;
        ASSERT_TRUE(b.link.probeDevice(device));
        dev->onTransfer = [&timeline](const std::string& t) { timeline.push_back(t); };
        // The exit command is the 8th set: enter, 4 commands, 2 blocks, exit.
        if (c.exitRefused) dev->admitSet = [](int n) { return n != 8; };
        TimelineClock clock(b.clock, timeline);
        BootloaderLink link(b.table, b.log, clock);
        const FirmwareImage img = makeImage(0x400);
        JobRequest req{JOB_WRITE, &img, true, false, false};
        JobEnvironment env{link};
        runJob(req, device, env);
        EXPECT_EQ(device.result, 0) << device.errorText;
        EXPECT_EQ(timeline, c.expected);
    }
}

TEST(F09Job, BootloaderAlreadyRunningStillGetsEnterAndReport8) {
    Bench b("f09boot");
    BootloaderSpec spec = f09(0x01);
    spec.startInBootloader = true;
    auto dev = b.add(spec);
    JobRun r = runOn(b, *dev, JOB_DEVICE_INFO, nullptr);
    EXPECT_EQ(r.device->result, 0);
    EXPECT_EQ(dev->enters(), 1);
    EXPECT_EQ(dev->getsOf(2), 0);
    EXPECT_EQ(r.device->mpuType, 0x21u);
    EXPECT_EQ(r.device->ublVersion, 0x54u);
}

TEST(F09Job, BlockTimeoutAndStatusTexts) {
    struct Case {
        std::optional<std::uint8_t> status;
        const char* text;
    } cases[] = {{0x80, "TIMEOUT at block:1"},
                 {0x0C, "File error. MCUTYPE not match."},
                 {0x0D, "File error. PID not match."},
                 {0x0E, "File error. VERSION is older."},
                 {0x41, "Error response:65 at block:1"}};
    for (const Case& c : cases) {
        Bench b("f09blk");
        auto dev = b.add(f09(0x01));
        dev->blockStatus = [&](int n) { return n == 2 ? c.status : std::nullopt; };
        const FirmwareImage img = makeImage(0x400);
        JobRun r = runOn(b, *dev, JOB_WRITE, &img);
        EXPECT_EQ(r.device->result, kResultFailed);
        EXPECT_EQ(r.device->errorText, c.text);
        EXPECT_EQ(r.codes.back(), CMD_EXIT) << "a failed write still leaves the bootloader";
        EXPECT_EQ(b.table.size(), 0u);
    }
}

TEST(F09Job, SizeWindow) {
    for (auto [size, ok] : {std::pair{0x2BE00u, true}, std::pair{0x2C000u, false}}) {
        Bench b("f09size");
        auto dev = b.add(f09());
        const FirmwareImage img = makeImage(size);
        JobRun r = runOn(b, *dev, JOB_WRITE, &img);
        EXPECT_EQ(r.device->result == 0, ok);
        if (!ok) {
            EXPECT_EQ(r.device->errorText, "Data size error. Size is 0x2C000.");
        }
    }
}

TEST(F09Job, ConfirmLogOnShortFrames) {
    Bench b("f09log");
    BootloaderSpec spec = f09(0x01);
    spec.mainVersion = 0x0310;
    auto dev = b.add(spec);
    UblDevice d;
    ASSERT_TRUE(b.link.probeDevice(d));
    b.log.close();
    std::filesystem::remove(b.dir + "/Log.txt");
    b.log.open(b.dir);
    JobRequest req{JOB_CONFIRM, nullptr, true, true, false};
    JobEnvironment env{b.link};
    runJob(req, d, env);
    ASSERT_EQ(d.result, 0);
    EXPECT_EQ(b.logBody(), stamped({
                               "Process start.",
                               "Device found. VID:0x3A1C PID:0x4002 UP:0xFF09 U:0x0001",
                               "Device opened. PID:0x4002 VER:0x0310 USAGEPAGE:0xFF09 USAGE:0x0001 REP_SIZE:74",
                               "Get device type.",
                               "DEVICE TYPE:1",
                               "Enter UBL.",
                               "Set Feature. command:0x7",
                               "Get Feature. response:0x6",
                               "Set Feature. command:0x5",
                               "Get Feature. response:0x21",
                               "Set Feature. command:0x4",
                               "Get Feature. response:0x54",
                               "Set Feature. command:0x81",
                               "Get Feature. response:0x0",
                               "Set Feature. command:0x86",
                               "Get Feature. response:0x0",
                               "Set security.",
                               "Set Feature. command:0x81",
                               "Get Feature. response:0xF",
                               "Exit UBL.",
                               "Set Feature. command:0x3",
                               "Close device.",
                           }));
}

// Refuse one transfer anywhere: success only with the image in flash, no key left open, and
// the next job succeeds.
TEST(F09Refusals, OneRefusedExchangeAnywhereNeverPassesForSuccess) {
    for (std::uint16_t usage : {std::uint16_t{0x11}, std::uint16_t{0x01}, std::uint16_t{0x0B}}) {
        int total = 0;
        {
            Bench b("f09count");
            auto dev = b.add(f09(usage));
            dev->admitSet = [&](int) { return ++total, true; };
            dev->admitGet = [&](int) { return ++total, true; };
            const FirmwareImage img = makeImage(0x800);
            ASSERT_EQ(runOn(b, *dev, JOB_WRITE, &img).device->result, 0);
        }
        for (int n = 1; n <= total; ++n) {
            SCOPED_TRACE("usage " + std::to_string(usage) + " exchange " + std::to_string(n));
            Bench b("f09refuse");
            auto dev = b.add(f09(usage));
            int count = 0;
            dev->admitSet = [&, n](int) { return ++count != n; };
            dev->admitGet = [&, n](int) { return ++count != n; };
            const FirmwareImage img = makeImage(0x800, static_cast<std::uint8_t>(n));
            JobRun r = runOn(b, *dev, JOB_WRITE, &img);
            if (r.device->result == 0) {
                EXPECT_TRUE(flashHolds(dev->flashBytes(), img));
            }
            EXPECT_EQ(b.table.size(), 0u);
            dev->admitSet = nullptr;
            dev->admitGet = nullptr;
            b.clock.advance(1000);
            const FirmwareImage again = makeImage(0x800, 0x55);
            JobRun r2 = runOn(b, *dev, JOB_WRITE, &again);
            EXPECT_EQ(r2.device->result, 0);
            EXPECT_TRUE(flashHolds(dev->flashBytes(), again));
        }
    }
}

}  // namespace
}  // namespace romwrite
