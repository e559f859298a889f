// Connecting the virtual controller: the maintenance set-up and what it writes, the collection
// choice, the failure counters, the pen, the reset and reconnect.
#include <gtest/gtest.h>

#include "controllerlink/vendor_ids.h"
#include "sequence_rig.h"

namespace station::test {
namespace {

sim::RefusedExchange refuseSet(std::vector<std::uint8_t> prefix, std::uint32_t times = 0) {
    return {true, std::move(prefix), times};
}
sim::RefusedExchange refuseGet(std::vector<std::uint8_t> prefix, std::uint32_t times = 0) {
    return {false, std::move(prefix), times};
}

TEST(Connect, HealthyControllerIsOpenedPreparedAndShown) {
    Rig rig;
    rig.loadExample("PID0A52.ini");
    rig.s().recipe.TXE = 20;
    rig.s().recipe.FLR_X_CANCELED = 1;
    const std::uint64_t before = rig.clock.sleptMs();

    ASSERT_EQ(connectTouch(rig.s()), ConnectResult::Opened);
    // Sets are paced 5 ms each: mode, report type, X-LUT (3 parts), Y-LUT (2), register read
    // (select and restore), auto-calibration off, register write (2), version select = 13;
    // then the 2000 ms settling wait and 10 ms before the calibration switch.
    EXPECT_EQ(rig.clock.sleptMs() - before, 13 * 5 + 2000 + 10);

    EXPECT_EQ(rig.device->mode(), 1);
    const auto regs = rig.device->registers();
    EXPECT_EQ(regs[2], 20);
    EXPECT_EQ(regs[7], 18);
    EXPECT_EQ(regs[8], 18);
    EXPECT_EQ(regs[10], 16);
    EXPECT_EQ(regs[3], 8);                            // TXW 0 keeps the controller's
    EXPECT_EQ(regs[14] | regs[15] << 8, 0x0700 | 0);  // word 7: TIPC_TPS 7 in bits 8..10
    EXPECT_EQ(regs[24] | regs[25] << 8, 0);           // word 12
    EXPECT_EQ(regs[34] | regs[35] << 8, 2);           // word 17: X floor cancelled
    // It came up in normal mode: the power-on image is kept for normal scanning.
    EXPECT_EQ(rig.s().connect.normalScanRegisters[2], 24);
    EXPECT_EQ(rig.s().connect.normalScanRegisters[24], 5);
    EXPECT_EQ(rig.s().connect.testRegisters, regs);
    EXPECT_TRUE(rig.s().connect.penConnected);
    EXPECT_EQ(rig.s().texts.pen, "0x1200");

    showDeviceInfo(rig.s());
    EXPECT_EQ(rig.ui.panes[1], "\tCONNECT");
    EXPECT_EQ(rig.ui.panes[3], "\t72");
    EXPECT_EQ(rig.ui.panes[5], "\t46");
    EXPECT_EQ(rig.ui.panes[7], "\t0A52");
    EXPECT_EQ(rig.ui.panes[9], "\t0100");
    EXPECT_EQ(rig.ui.productId, "0x0A52");
    EXPECT_EQ(rig.ui.firmwareMajor, "0x0120");
    EXPECT_EQ(rig.ui.firmwareMinor, "0x03");

    // Later ticks reopen the present collection without a new set-up.
    EXPECT_EQ(connectTouch(rig.s()), ConnectResult::StillPresent);
    EXPECT_EQ(rig.device->resets(), 0u);
    rig.bus.unplug(rig.deviceId);
    EXPECT_EQ(connectTouch(rig.s()), ConnectResult::Gone);
    EXPECT_EQ(connectTouch(rig.s()), ConnectResult::NotPresent);
    showDisconnected(rig.s());
    EXPECT_EQ(rig.ui.panes[1], "\tDISCONNECT");
    EXPECT_EQ(rig.ui.panes[9], "\t---");
    EXPECT_EQ(rig.ui.productId, "---");
    EXPECT_EQ(rig.ui.pen, "---");
}

TEST(Connect, R6RecipeOpensTheFF11CollectionWhenAnFF09OneComesFirst) {
    Rig rig;
    rig.bus.unplug(rig.deviceId);
    auto r5 = std::make_shared<sim::ControllerDevice>(quietController(sim::Generation::R5));
    rig.bus.addDevice(r5);
    rig.bus.replug(rig.deviceId);
    rig.loadExample("PID0A52.ini");
    ASSERT_EQ(connectTouch(rig.s()), ConnectResult::Opened);
    EXPECT_EQ(rig.s().touch.openedIdentity().usagePage, 0xFF11u);
    EXPECT_EQ(rig.device->mode(), 1);
    EXPECT_EQ(r5->mode(), 0);
}

TEST(Connect, DriverModePairIsOpenedWithItsPen) {
    sim::ControllerConfig config = quietController();
    config.touchUsage = 0x0B;
    Rig rig(config);
    rig.loadExample("PID0A52.ini");
    ASSERT_EQ(connectTouch(rig.s()), ConnectResult::Opened);
    EXPECT_EQ(rig.s().connect.driverMode, 1);
    EXPECT_EQ(rig.s().pen.openedIdentity().usage, 0x0Au);
    EXPECT_TRUE(rig.s().connect.penConnected);
    EXPECT_EQ(rig.device->mode(), 1);
    EXPECT_EQ(connectTouch(rig.s()), ConnectResult::StillPresent);
    EXPECT_EQ(rig.s().connect.driverMode, 1);
}

// Every refused exchange of the set-up: its message, a later retry, no collection kept open.
TEST(Connect, EachRefusedSetUpExchangeGivesItsMessage) {
    struct Case {
        const char* name;
        sim::RefusedExchange refusal;
        const char* message;  // in the message pane, or the prompt pane for the version
        bool prompt;
    };
    const Case cases[] = {
        {"query", refuseGet({4}), "Failed to get touch query.", false},
        {"mode", refuseSet({2, 1}), "Failed to set device type to maintenance mode.", false},
        {"report type", refuseSet({3, 1}), "Failed to set report type to kavor format.", false},
        {"X-LUT", refuseSet({9, 2, 9}), "Failed to set X-LUT.", false},
        {"Y-LUT", refuseSet({9, 2, 0x0A}), "Failed to set Y-LUT.", false},
        {"register read", refuseGet({9, 0x15}), "Failed to get register.", false},
        {"calibration switch", refuseSet({9, 0, 1}), "Failed to disable auto calib switch.", false},
        {"register write", refuseSet({9, 2, 0, 0}), "Failed to set register.", false},
        {"version", refuseGet({9, 0x0A}), "Failed to get mnt_version.", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        rig.loadExample("PID0A52.ini");
        rig.device->refuseExchange(c.refusal);
        EXPECT_EQ(connectTouch(rig.s()), ConnectResult::OpenFailed);
        if (c.prompt)
            EXPECT_EQ(rig.ui.prompt, c.message);
        else
            EXPECT_TRUE(rig.ui.saw(c.message)) << (rig.ui.messages.empty() ? "" : rig.ui.messages.back());
        EXPECT_FALSE(rig.s().touch.isOpen());
        EXPECT_EQ(rig.s().connect.openFailures, 1);
    }
}

TEST(Connect, FiveFailedOpensGiveUpUntilTheDeviceIsGone) {
    Rig rig;
    rig.loadExample("PID0A52.ini");
    rig.s().connect.driverMode = 1;
    rig.device->refuseExchange(refuseGet({4}));
    for (int i = 1; i <= 5; ++i) {
        EXPECT_EQ(connectTouch(rig.s()), ConnectResult::OpenFailed);
        EXPECT_EQ(rig.s().connect.openFailures, i);
    }
    // The sixth call does not try again.
    rig.ui.messages.clear();
    EXPECT_EQ(connectTouch(rig.s()), ConnectResult::NotPresent);
    EXPECT_TRUE(rig.ui.messages.empty());
    EXPECT_EQ(rig.s().connect.driverMode, 0);
    EXPECT_EQ(rig.s().connect.openFailures, 5);
    // Removing the device starts the count again, and a healthy device then opens.
    rig.bus.unplug(rig.deviceId);
    EXPECT_EQ(connectTouch(rig.s()), ConnectResult::NotPresent);
    EXPECT_EQ(rig.s().connect.openFailures, 0);
    rig.device->clearRefusals();
    rig.bus.replug(rig.deviceId);
    EXPECT_EQ(connectTouch(rig.s()), ConnectResult::Opened);
}

TEST(Connect, AControllerWithoutPermissionIsNamedOnceUntilItChanges) {
    Rig rig;
    rig.loadExample("PID0A52.ini");
    const auto refuse = [&](std::string why) { rig.bus.setOpenRefused(rig.deviceId, std::move(why)); };
    // Both interfaces of the controller (touch, digitizer) are closed to the user.
    const std::vector<std::string> said = {
        "Cannot open sim:dev0/if0: Permission denied (see the udev rule in the README).",
        "Cannot open sim:dev0/if1: Permission denied (see the udev rule in the README)."};
    refuse("Permission denied");
    for (int tick = 0; tick < 20; ++tick) EXPECT_EQ(connectTouch(rig.s()), ConnectResult::NotPresent);
    EXPECT_EQ(rig.ui.messages, said);

    // Mended: it opens, and nothing more is said while it stays open.
    refuse("");
    rig.ui.messages.clear();
    EXPECT_EQ(connectTouch(rig.s()), ConnectResult::Opened);
    for (int tick = 0; tick < 5; ++tick) EXPECT_EQ(connectTouch(rig.s()), ConnectResult::StillPresent);
    rig.ui.messages.clear();

    // Broken again: said again, once.
    refuse("Permission denied");
    EXPECT_EQ(connectTouch(rig.s()), ConnectResult::Gone);
    for (int tick = 0; tick < 20; ++tick) EXPECT_EQ(connectTouch(rig.s()), ConnectResult::NotPresent);
    EXPECT_EQ(rig.ui.messages, said);
}

TEST(Connect, UnreadableRegistersResetTheControllerAtMostThreeTimes) {
    Rig rig;
    rig.loadExample("PID0A52.ini");
    rig.device->refuseExchange(refuseGet({9, 0x15}));
    for (int i = 1; i <= 4; ++i) {
        EXPECT_EQ(connectTouch(rig.s()), ConnectResult::OpenFailed);
        rig.clock.advance(1000);  // the controller is back from its reset
    }
    EXPECT_EQ(rig.device->resets(), 3u);
    EXPECT_EQ(rig.s().connect.resetAttempts, 3);
}

TEST(Connect, WithFirmwareWritingAnUnpreparedControllerIsOpenedInNormalMode) {
    Rig rig;
    rig.loadExample("PID0A52.ini");
    rig.s().recipe.WRITE_FW = 1;
    rig.device->refuseExchange(refuseSet({2, 1}));
    EXPECT_EQ(connectTouch(rig.s()), ConnectResult::Opened);
    EXPECT_TRUE(rig.ui.saw("Device opened with Normal Mode."));
    EXPECT_EQ(rig.device->mode(), 0);
}

TEST(Connect, XLutWithoutYLutTakesBothFromTheControllerAndWritesOnlyTheX) {
    Rig rig;
    rig.loadExample("PID0A52.ini");
    RecipeSettings& r = rig.s().recipe;
    r.ylutGiven = false;
    r.tpsGiven = false;
    r.XLUT.fill(0x0105);  // would be written if the recipe's table were kept
    r.YLUT.fill(0);
    // Only 40 Tx lines on this controller's table: 0x0100 | n for n < 40, then unused.
    rig.device->refuseExchange(refuseSet({9, 2, 0x0A}));  // a Y-LUT write would fail the set-up
    sim::ControllerConfig config = quietController();
    ASSERT_EQ(connectTouch(rig.s()), ConnectResult::Opened);
    for (int n = 0; n < kXlutSize; ++n) ASSERT_EQ(r.XLUT[n], 0x0100 | n) << n;
    for (int n = 0; n < kYlutSize; ++n) ASSERT_EQ(r.YLUT[n], 0x0100 | n) << n;
    EXPECT_EQ(r.RX_PORT_COUNT, 72);
    EXPECT_EQ(r.TX_PORT_COUNT, 46);
    EXPECT_EQ(r.TIPC_TPS, 7);
    // Only one LUT given: the scan-pitch bits of word 7 stay the controller's.
    EXPECT_EQ(rig.s().connect.testRegisters[15], 0x07);
}

TEST(Connect, PenWithoutEmrFirmwareIsNotAComErrorUnlessThePenIsChecked) {
    for (const std::int32_t emrCheck : {0, 1}) {
        SCOPED_TRACE(emrCheck);
        sim::ControllerConfig config = quietController(sim::Generation::R5);
        config.penFirmware = 0;
        Rig rig(config);
        rig.loadExample("PID0952.ini");
        rig.s().recipe.EMR_CHECK = emrCheck;
        rig.s().check.running = true;  // the COM flags are the running check's
        ASSERT_EQ(connectTouch(rig.s()), ConnectResult::Opened);
        EXPECT_EQ(rig.s().texts.pen, "NO EMR");
        EXPECT_EQ(rig.ui.pen, "NO EMR");
        EXPECT_FALSE(rig.s().connect.penConnected);
        EXPECT_EQ(rig.s().check.detail.comFlags & kComPenError, emrCheck != 0 ? kComPenError : 0);
    }
}

TEST(Connect, PenQueryRefusedShowsError) {
    Rig rig;
    rig.loadExample("PID0A52.ini");
    rig.device->refuseExchange(refuseGet({5}));
    ASSERT_EQ(connectTouch(rig.s()), ConnectResult::Opened);
    EXPECT_EQ(rig.s().texts.pen, "ERROR");
    EXPECT_FALSE(rig.s().connect.penConnected);
}

TEST(Connect, ResetAndReconnectWaitsForTheControllerToComeBack) {
    sim::ControllerConfig config = quietController();
    config.resetDelayMs = 2500;
    Rig rig(config);
    rig.loadExample("PID0A52.ini");
    ASSERT_TRUE(connectTouchAndShow(rig.s()));
    rig.s().flags.resetRequested = true;
    resetAndReconnect(rig.s());
    EXPECT_EQ(rig.device->resets(), 1u);
    EXPECT_EQ(rig.device->mode(), 1);  // prepared again
    EXPECT_TRUE(rig.s().touch.isOpen());
    EXPECT_EQ(rig.s().check.detail.comFlags, 0);
    EXPECT_TRUE(rig.s().flags.accelEnabled);
    EXPECT_FALSE(rig.ui.saw("Failed to reconnect device after reset."));
    // Not requested: nothing happens.
    resetAndReconnect(rig.s());
    EXPECT_EQ(rig.device->resets(), 1u);
}

TEST(Connect, ResetAndReconnectGivesUpAfterFifteenSeconds) {
    Rig rig;
    rig.loadExample("PID0A52.ini");
    ASSERT_TRUE(connectTouchAndShow(rig.s()));
    rig.s().recipe.EMR_CHECK = 1;
    // The controller comes back but answers neither query.
    rig.device->refuseExchange(refuseGet({4}));
    rig.device->refuseExchange(refuseGet({5}));
    rig.s().flags.resetRequested = true;
    rig.s().check.running = true;  // the COM flags are the running check's
    const std::uint64_t start = rig.clock.monotonicMs();
    resetAndReconnect(rig.s());
    EXPECT_TRUE(rig.ui.saw("Failed to reconnect device after reset."));
    EXPECT_TRUE(rig.ui.saw("Failed to reconnect Pen device after reset."));
    EXPECT_EQ(rig.s().check.detail.comFlags & kComTouchUnusable, kComTouchUnusable);
    EXPECT_EQ(rig.s().check.detail.comFlags & kComPenError, kComPenError);
    // Touch: cycles 1..15 at one second each, the 16th fails; the pen: five more cycles.
    EXPECT_GE(rig.clock.monotonicMs() - start, 16000u + 6000u);
    EXPECT_LT(rig.clock.monotonicMs() - start, 16000u + 6000u + 1000u);
}

TEST(Connect, TimedCyclesCountAcrossTheMinuteWrap) {
    platform::VirtualClock clock(platform::TimeOfDay{2026, 1, 1, 9, 59, 50, 0});
    TimedCycles cycles(clock, 100);
    int passed = 0;
    while (cycles.next()) ++passed;
    // Noted at 50 s, 51 s, ... 59 s, then 0 s (= 60 s), ... the cycle noted 15 s after the first fails.
    EXPECT_EQ(passed, 15);
    TimedCycles limited(clock, 3);
    passed = 0;
    while (limited.next()) ++passed;
    EXPECT_EQ(passed, 3);
}

TEST(Connect, FirmwareIdentityFlagsEachMismatch) {
    Rig rig;
    rig.loadExample("PID0A52.ini");
    ASSERT_TRUE(connectTouchAndShow(rig.s()));
    RecipeSettings& r = rig.s().recipe;
    r.FWVER_MAJOR = 0x0120;
    r.FWVER_MINOR = 3;
    checkFirmwareIdentity(rig.s());
    EXPECT_EQ(rig.s().check.detail.firmwareFlags, 0);
    r.FWVER_MAJOR = 0x0121;
    r.FWVER_MAJOR2 = 0x0120;  // the second accepted version
    checkFirmwareIdentity(rig.s());
    EXPECT_EQ(rig.s().check.detail.firmwareFlags, 0);
    r.FWVER_MINOR = 4;
    r.VID = 0x1234;
    r.PID = 0x0A53;
    checkFirmwareIdentity(rig.s());
    EXPECT_EQ(rig.s().check.detail.firmwareFlags, firmwareFaultWord(FirmwareFault::VersionDiffers) |
                                                      firmwareFaultWord(FirmwareFault::VidDiffers) |
                                                      firmwareFaultWord(FirmwareFault::PidDiffers));
}

}  // namespace
}  // namespace station::test
