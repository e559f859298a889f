#include "romwrite/writer/writer_app.h"

#include <gtest/gtest.h>

#include "romwrite/image/embedded_image.h"
#include "romwrite/protocol/frames.h"
#include "romwrite/testing/writer_bench.h"

namespace romwrite {
namespace {

using testing::BootloaderSpec;
using testing::f09Spec;
using testing::flashHolds;
using testing::makeImage;
using testing::stamped;
using testing::writeHexFile;
using testing::WriterBench;

struct Update {
    std::unique_ptr<WriterBench> w;
    std::shared_ptr<testing::ScriptedBootloader> dev;
    FirmwareImage img;
};

Update prepare(const BootloaderSpec& spec, const std::string& file = "_tmp.hex", bool headless = false) {
    Update u{std::make_unique<WriterBench>(headless), nullptr, makeImage(0x1000, 3)};
    u.dev = u.w->bench.add(spec);
    writeHexFile(u.w->bench.dir + "/" + file, u.img);
    return u;
}

TEST(WriterRun, StationWriteOnNewBootloaderAsksThenConfirms) {
    for (bool autoApply : {false, true}) {
        Update u = prepare(f09Spec());
        std::vector<std::string> args = {"_tmp.hex", "-f1"};
        if (autoApply) args.push_back("/A");
        ASSERT_TRUE(u.w->start(args));
        EXPECT_TRUE(u.w->port.windowShown);
        EXPECT_EQ(u.w->run(), 0);
        EXPECT_TRUE(flashHolds(u.dev->flashBytes(), u.img));
        EXPECT_TRUE(u.dev->confirmed());
        EXPECT_EQ(u.w->port.questions, autoApply ? 0 : 1);
        EXPECT_EQ(u.dev->exits(), 2) << "the write and the confirmation each leave the bootloader";
        EXPECT_EQ(u.w->port.phaseText, "Confirming ...");
    }
}

TEST(WriterRun, JobOnItsOwnThread) {
    auto w = std::make_unique<WriterBench>(false, std::span<const std::uint8_t>{}, true);
    auto dev = w->bench.add(f09Spec(0x01));
    const FirmwareImage img = makeImage(0x2000, 9);
    writeHexFile(w->bench.dir + "/_tmp.hex", img);
    ASSERT_TRUE(w->start({"_tmp.hex", "-f1", "/A"}));
    EXPECT_EQ(w->run(), 0) << w->port.status;
    EXPECT_TRUE(flashHolds(dev->flashBytes(), img));
    EXPECT_TRUE(dev->confirmed());
    EXPECT_EQ(w->port.progressRange, 0x2000u);
}

TEST(WriterRun, OldBootloaderEndsRightAfterTheWrite) {
    Update u = prepare(f09Spec(0x11, 0x53));
    ASSERT_TRUE(u.w->start({"_tmp.hex", "-f1"}));
    EXPECT_EQ(u.w->run(), 0);
    EXPECT_EQ(u.w->port.questions, 0);
    EXPECT_FALSE(u.dev->confirmed());
    EXPECT_EQ(u.dev->exits(), 1);
    EXPECT_TRUE(flashHolds(u.dev->flashBytes(), u.img));
    EXPECT_EQ(u.w->port.phaseText, "Completed.");
}

TEST(WriterRun, DecliningTheUpdateRunsAReset) {
    // F09 then holds an update that was never confirmed; F11 has no confirm command, so its
    // reset sends what the confirmation would and the answer changes nothing.
    for (bool f11 : {false, true}) {
        SCOPED_TRACE(f11 ? "F11" : "F09");
        for (bool headless : {false, true}) {
            Update u = prepare(f11 ? BootloaderSpec{} : f09Spec(), "_tmp.hex", headless);
            u.w->port.answerYes = false;
            ASSERT_TRUE(u.w->start({"_tmp.hex", "-f1"}));
            EXPECT_EQ(u.w->run(), f11 ? 0 : kResultNotApplied);
            EXPECT_EQ(u.w->port.status, f11 ? "" : "The update was not applied.");
            EXPECT_EQ(u.w->port.questions, 1);
            EXPECT_FALSE(u.dev->confirmed());
            EXPECT_EQ(u.dev->enters(), 2);
        }
    }
}

TEST(WriterRun, FailedF11WriteStaysInTheBootloaderAndSaysSo) {
    BootloaderSpec spec;  // F11, bootloader 0x54
    Update u = prepare(spec);
    u.dev->blockStatus = [](int) { return std::optional<std::uint8_t>(0x80); };
    ASSERT_TRUE(u.w->start({"_tmp.hex", "-f1"}));
    EXPECT_EQ(u.w->run(), kResultNoAnswer);
    EXPECT_EQ(u.w->port.questions, 0) << "a failed write is not confirmed";
    EXPECT_TRUE(u.dev->inBootloader());
    EXPECT_EQ(u.dev->exits(), 0);
    EXPECT_EQ(u.w->port.status, "TIMEOUT at block:0 The controller stays in its bootloader; write it again.");
}

TEST(WriterRun, ChecksumComparisonOnF11IsRefusedUntouched) {
    for (bool inBootloader : {false, true}) {
        BootloaderSpec spec;  // F11, bootloader 0x54: no checksum command
        spec.startInBootloader = inBootloader;
        Update u = prepare(spec, "_tmp.hex", true);
        ASSERT_TRUE(u.w->start({"/C1234"}));
        EXPECT_EQ(u.w->run(), kResultUnsupported);
        EXPECT_EQ(u.w->port.status, "The F11 bootloader has no checksum command.");
        EXPECT_TRUE(u.dev->commands().empty());
        EXPECT_EQ(u.dev->enters(), 0);
        EXPECT_EQ(u.dev->inBootloader(), inBootloader) << "a half-written controller is not restarted";
    }
}

TEST(WriterRun, WithoutAWindowARunAskingForNoJobIsRefused) {
    const std::vector<std::string> lines[] = {{"_tmp.hex"}, {}, {"_tmp.hex", "/A", "/L"}};
    for (const auto& args : lines) {
        SCOPED_TRACE(CommandLine{args}.text());
        Update u = prepare(f09Spec(), "_tmp.hex", true);
        ASSERT_TRUE(u.w->start(args));
        EXPECT_EQ(u.w->run(), kResultNoJob);
        EXPECT_EQ(u.w->port.status, "Nothing to do: no /F, /C or /V switch.");
    }
    // The window is for the operator: it opens and waits.
    Update u = prepare(f09Spec());
    ASSERT_TRUE(u.w->start({"_tmp.hex"}));
    u.w->ticks(100);
    EXPECT_FALSE(u.w->app.finished());
    EXPECT_EQ(u.w->port.status, "");
}

TEST(WriterRun, LogThatCannotBeOpenedIsSaidWithTheReason) {
    Update u = prepare(f09Spec(0x11, 0x53), "_tmp.hex", true);
    u.w->bench.log.close();
    std::filesystem::remove(u.w->bench.dir + "/Log.txt");
    std::filesystem::create_directory(u.w->bench.dir + "/Log.txt");
    ASSERT_TRUE(u.w->start({"_tmp.hex", "-f1", "/L"}));
    ASSERT_FALSE(u.w->port.statusHistory.empty());
    EXPECT_EQ(u.w->port.statusHistory.front(), "Cannot open " + u.w->bench.dir + "/Log.txt: Is a directory");
    EXPECT_EQ(u.w->run(), 0) << "the write itself goes on";
    EXPECT_TRUE(flashHolds(u.dev->flashBytes(), u.img));
}

TEST(WriterRun, F11WriteEndToEnd) {
    BootloaderSpec spec;
    spec.ublVersion = 0x53;
    Update u = prepare(spec, "fw.hex");
    ASSERT_TRUE(u.w->start({"/F0", "fw.hex"}));
    EXPECT_EQ(u.w->run(), 0);
    EXPECT_TRUE(flashHolds(u.dev->flashBytes(), u.img));
    EXPECT_FALSE(u.dev->inBootloader());
}

TEST(WriterRun, SecondInstance) {
    WriterBench w;
    EXPECT_FALSE(w.start({"_tmp.hex", "-f1"}, false));
    EXPECT_TRUE(w.app.finished());
    EXPECT_EQ(w.app.exitCode(), -1);
    EXPECT_EQ(w.port.boxes, std::vector<std::string>{"Error: Program already running!"});
    EXPECT_FALSE(w.port.windowShown);
}

TEST(WriterRun, VersionCheck) {
    struct Case {
        bool device;
        std::uint16_t version;
        int exit;
    } cases[] = {{true, 0x1234, 0}, {true, 0x1235, 49}, {false, 0, 1}};
    for (const Case& c : cases) {
        WriterBench w;
        if (c.device) {
            BootloaderSpec spec = f09Spec();
            spec.mainVersion = c.version;
            w.bench.add(spec);
        }
        ASSERT_TRUE(w.start({"/V1234"}));
        EXPECT_EQ(w.run(), c.exit);
        EXPECT_FALSE(w.port.windowShown);
    }
}

TEST(WriterRun, ChecksumJob) {
    for (bool differs : {false, true}) {
        Update u = prepare(f09Spec());
        u.dev->tamper = [differs](const testing::SeenCommand& c, testing::Bytes& r) {
            if (c.code == CMD_CHECKSUM) r[3] = differs ? 1 : 0;
        };
        ASSERT_TRUE(u.w->start({"/C1A2B"}));
        EXPECT_EQ(u.w->run(), differs ? 48 : 0);
        EXPECT_FALSE(u.w->port.windowShown);
    }
}

TEST(WriterRun, LoadErrorsStopTheAutomaticRun) {
    struct Case {
        std::vector<std::string> args;
        std::string status;
        int headlessExit;
    } cases[] = {
        {{"/F0"}, "No file name.", 5},
        {{"missing.hex", "/F1"}, "Hex file error.", 5},
        {{"_tmp.hex", "/F2"}, "Hex file name error.", 1},
        {{std::string(130, 'x') + ".hex", "/F1"}, "Command line too long.", 5},
        {{"/C12345"}, "Command line error.", 5},
        {{"_tmp.hex", "/F1", "/A", "/C5F64"}, "Command line error. /F1 and /C5F64 ask for two jobs.", 6},
        {{"_tmp.hex", "/Z"}, "Command line error. Unknown switch /Z.", 7},
        {{"_tmp.hex", "/F9"}, "Command line error. Unknown switch /F9.", 7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.status);
        for (bool headless : {false, true}) {
            Update u = prepare(f09Spec(), "_tmp.hex", headless);
            ASSERT_TRUE(u.w->start(c.args));
            if (headless) {
                EXPECT_EQ(u.w->run(), c.headlessExit);
            } else {
                u.w->ticks(400);
                EXPECT_FALSE(u.w->app.finished()) << "the window stays open for the operator";
            }
            EXPECT_EQ(u.w->port.status, c.status);
            EXPECT_EQ(u.dev->enters(), 0);
        }
    }
}

TEST(WriterRun, FailedJobShowsItsTextAndStopsBeingAutomatic) {
    for (bool headless : {false, true}) {
        Update u = prepare(f09Spec(), "_tmp.hex", headless);
        u.dev->blockStatus = [](int n) { return n == 3 ? std::optional<std::uint8_t>(0x0D) : std::nullopt; };
        ASSERT_TRUE(u.w->start({"_tmp.hex", "-f1"}));
        if (headless) {
            EXPECT_EQ(u.w->run(), 1);
        } else {
            u.w->ticks(400);
            EXPECT_FALSE(u.w->app.finished());
            EXPECT_FALSE(u.w->app.job().autoExit);
            u.w->app.exitButton();
            EXPECT_EQ(u.w->app.exitCode(), 0);
        }
        EXPECT_EQ(u.w->port.status, "File error. PID not match.");
        EXPECT_EQ(u.w->port.phaseText, "Abort process.");
        EXPECT_EQ(u.w->port.questions, 0);
    }
}

TEST(WriterRun, ReconnectTimeout) {
    for (bool headless : {false, true}) {
        Update u = prepare(f09Spec(), "_tmp.hex", headless);
        const int id = u.w->bench.lastId;
        u.dev->tamper = [&u, id](const testing::SeenCommand& c, testing::Bytes&) {
            if (c.code == CMD_CONFIRM) u.w->bench.bus.unplug(id);
        };
        // Unplugged as soon as the write has left the bootloader.
        ASSERT_TRUE(u.w->start({"_tmp.hex", "-f1"}));
        for (int i = 0; i < 100 && u.dev->exits() == 0; ++i) u.w->ticks(1);
        u.w->bench.bus.unplug(id);
        if (headless) {
            EXPECT_EQ(u.w->run(), 1);
        } else {
            u.w->ticks(600);
            EXPECT_FALSE(u.w->app.finished());
        }
        EXPECT_EQ(u.w->port.status, "Device reconnect error.");
        EXPECT_EQ(u.w->port.questions, 0);
    }
}

TEST(WriterRun, JobWaitsForADevice) {
    // The window waits for the presence poll; a run without a window gives up after 5 s.
    Update u = prepare(f09Spec());
    u.w->bench.bus.unplug(u.w->bench.lastId);
    ASSERT_TRUE(u.w->start({"_tmp.hex", "-f1", "/A"}));
    u.w->ticks(500);
    EXPECT_FALSE(u.w->app.finished());
    u.w->bench.bus.replug(u.w->bench.lastId);
    EXPECT_EQ(u.w->run(), 0);
    EXPECT_TRUE(flashHolds(u.dev->flashBytes(), u.img));

    Update h = prepare(f09Spec(), "_tmp.hex", true);
    h.w->bench.bus.unplug(h.w->bench.lastId);
    ASSERT_TRUE(h.w->start({"_tmp.hex", "-f1"}));
    EXPECT_EQ(h.w->run(), 1);
    EXPECT_EQ(h.w->port.status, "No device.");
}

TEST(WriterWindow, ButtonsFollowDeviceAndImage) {
    WriterBench w;
    ASSERT_TRUE(w.start({}));
    EXPECT_EQ(w.port.buttons, (ButtonStates{true, true, false, false, false, false}));
    w.bench.add(f09Spec());
    w.ticks(kPresencePollTicks);
    EXPECT_EQ(w.port.buttons, (ButtonStates{true, true, true, true, false, false}));
    EXPECT_EQ(w.port.fields.version, "0x0203.FFFFFFFF");
    EXPECT_EQ(w.port.fields.interface, "USB");

    const FirmwareImage img = makeImage(0x200);
    writeHexFile(w.bench.dir + "/plain.hex", img);
    writeHexFile(w.bench.dir + "/fw_0123_0204.hex", img);
    w.app.selectFile(std::string("plain.hex"));
    EXPECT_EQ(w.port.buttons, (ButtonStates{true, true, true, true, true, false}));
    EXPECT_EQ(w.port.imageChecksum, "0xFF00");  // 0x200 bytes running through every value twice
    EXPECT_EQ(w.port.imageSize, "0x0200");
    w.app.selectFile(std::string("fw_0123_0204.hex"));
    EXPECT_EQ(w.port.buttons, (ButtonStates{true, true, true, true, true, true}));

    w.app.selectFile(std::string("missing.hex"));
    w.ticks(1);
    EXPECT_EQ(w.port.status, "Hex file error.");
}

TEST(WriterWindow, ClosingDuringAWriteIsIgnored) {
    Update u = prepare(f09Spec());
    ASSERT_TRUE(u.w->start({}));
    u.w->app.selectFile(std::string("_tmp.hex"));
    u.w->app.write(false, false);
    u.w->app.closeWindow();
    EXPECT_FALSE(u.w->app.finished());
    u.w->ticks(1);  // the write runs
    EXPECT_TRUE(flashHolds(u.dev->flashBytes(), u.img));
    EXPECT_FALSE(u.w->app.finished());
    u.w->ticks(400);  // reconnect, question, confirmation, done
    EXPECT_TRUE(u.dev->confirmed());
    u.w->app.closeWindow();
    EXPECT_TRUE(u.w->app.finished());
    EXPECT_EQ(u.w->app.exitCode(), 0);
    EXPECT_EQ(u.w->stayAwake.held, false);
}

TEST(WriterWindow, DeviceInfoShowsBootloaderData) {
    BootloaderSpec spec = f09Spec(0x01);
    spec.security = 0x0F;
    WriterBench w;
    w.bench.add(spec);
    ASSERT_TRUE(w.start({}));
    w.app.getDeviceInfo();
    w.ticks(2);
    EXPECT_EQ(w.port.mpuType, "0x0021");
    EXPECT_EQ(w.port.ublVersion, "0x0054");
    EXPECT_EQ(w.port.security, "ON");
    EXPECT_FALSE(w.app.finished());
    EXPECT_EQ(w.app.job().kind, JOB_IDLE);
}

TEST(WriterLogFile, ChecksumRunLogsTheJobAsWritten) {
    Update u = prepare(f09Spec());
    u.w->bench.log.close();
    std::filesystem::remove(u.w->bench.dir + "/Log.txt");
    ASSERT_TRUE(u.w->start({"/L", "/C1A2B"}));
    EXPECT_EQ(u.w->run(), 48);
    EXPECT_EQ(testing::readFile(u.w->bench.dir + "/Log.txt"),
              "\r\n01/01 09:00:00.000\r\n" + stamped({
                                                 "Process start.",
                                                 "Device found. VID:0x3A1C PID:0x4002 UP:0xFF09 U:0x0011",
                                                 "Device opened. PID:0x4002 VER:0x0203 USAGEPAGE:0xFF09 "
                                                 "USAGE:0x0011 REP_SIZE:520",
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
                                                 "Set Feature. command:0x83",
                                                 "Get Feature. response:0x1",
                                                 "Exit UBL.",
                                                 "Set Feature. command:0x3",
                                                 "Close device.",
                                             }));
}

// An embedded image: header (length, start, product id, version, reserved, flags) + payload.
std::vector<std::uint8_t> embeddedResource(std::uint16_t flags, std::uint32_t length = 0x200) {
    std::vector<std::uint8_t> r;
    auto put = [&r](std::uint32_t v, int n) {
        for (int k = 0; k < n; ++k) r.push_back(static_cast<std::uint8_t>(v >> (8 * k)));
    };
    put(length, 4);
    put(0x8000, 4);
    put(0x0123, 2);
    put(0x0204, 2);
    put(0, 2);
    put(flags, 2);
    for (std::uint32_t k = 0; k < length; ++k) r.push_back(static_cast<std::uint8_t>(k * 5));
    return r;
}

TEST(WriterEmbedded, ConfirmationPowerAndExitMapping) {
    const auto resource = embeddedResource(kEmbEmbeddedMode);
    {
        WriterBench w(false, resource);
        w.power.mains = false;
        EXPECT_FALSE(w.start({"/silent"}));
        EXPECT_EQ(w.app.exitCode(), -2);
    }
    {
        WriterBench w(false, resource);
        w.confirmation.answer = false;
        EXPECT_FALSE(w.start({}));
        EXPECT_EQ(w.app.exitCode(), -1);
        EXPECT_EQ(w.confirmation.asked, 1);
    }
    {
        // Written, then restarted on request; an old bootloader needs no confirmation.
        WriterBench w(false, resource);
        auto dev = w.bench.add(f09Spec(0x11, 0x53));
        ASSERT_TRUE(w.start({"/forcerestart"}));
        EXPECT_EQ(w.run(), 0);
        EXPECT_EQ(w.restarter.restarts, 1);
        EXPECT_EQ(dev->flashBytes()[0x1FF], static_cast<std::uint8_t>(0x1FF * 5));
        EXPECT_TRUE(std::filesystem::exists(w.bench.dir + "/Log.txt")) << "the embedded image always logs";
    }
    {
        // A failed embedded write (result 1) ends at once with exitOnError, mapped to -1.
        const auto exitOnError = embeddedResource(kEmbEmbeddedMode | kEmbExitOnError);
        WriterBench w(false, exitOnError);
        auto dev = w.bench.add(f09Spec());
        dev->blockStatus = [](int) { return std::optional<std::uint8_t>(0x0E); };
        ASSERT_TRUE(w.start({}));
        EXPECT_EQ(w.run(), -1);
        EXPECT_EQ(w.restarter.restarts, 0);
    }
    {
        // Locked product id on F11: result 50, its box, mapped to -6.
        const auto locked = embeddedResource(kEmbEmbeddedMode | kEmbPidLock | kEmbCompletionBox);
        WriterBench w(false, locked);
        w.bench.add(BootloaderSpec{});
        ASSERT_TRUE(w.start({}));
        EXPECT_EQ(w.run(), -6);
        EXPECT_EQ(w.port.boxes, std::vector<std::string>{"romwrite: This FW is locked to PID:0x0123"});
    }
}

}  // namespace
}  // namespace romwrite

namespace romwrite {
namespace {

// The front end is chosen before the run: a silent run never gets a window.
TEST(WriterSilentRun, ReadAsStartUpReadsIt) {
    const auto plain = embeddedResource(0);
    const auto embeddedMode = embeddedResource(kEmbEmbeddedMode);
    const struct {
        std::vector<std::string> tokens;
        std::span<const std::uint8_t> resource;
        bool silent;
    } cases[] = {
        {{}, {}, false},
        {{"_tmp.hex", "-f1"}, {}, false},
        {{"/S"}, {}, true},
        {{"/C1A2B"}, {}, true},
        {{"/V0120"}, {}, true},
        {{"/home/op/S"}, {}, false},  // a file name, not the switch
        {{"/silent"}, {}, true},      // /s… is the silent switch either way
        {{"/forcerestart"}, embeddedMode, false},
        {{"/forcerestart", "/silent"}, embeddedMode, true},
        {{"fw.hex"}, plain, false},
        {{"/S"}, plain, true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(silentRun(CommandLine{c.tokens}, c.resource), c.silent) << CommandLine{c.tokens}.text();
    }
}

}  // namespace
}  // namespace romwrite
