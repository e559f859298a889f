#include "station/sequence/connect.h"

#include <algorithm>
#include <cstdio>
#include <span>
#include <string>

#include "controllerlink/collection_choice.h"
#include "controllerlink/device_link_base.h"

namespace station {
namespace {

constexpr int kMaxOpenFailures = 5;
constexpr int kMaxNormalModeResets = 3;
constexpr int kMaxCaptureResets = 3;
constexpr int kPenOpenAttempts = 201;
constexpr std::uint8_t kModeMaintenance = 1;
constexpr std::uint8_t kModeReset = 0xFF;

std::string hex(const char* format, unsigned value) {
    char text[16];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

void publishTexts(Station& s) {
    s.ui.setDeviceTexts({s.texts.productId, s.texts.firmwareMajor, s.texts.firmwareMinor, s.texts.pen});
}

void closeBoth(Station& s) {
    if (s.touch.isOpen()) s.touch.close();
    if (s.pen.isOpen()) s.pen.close();
}

// Rx lines in use: X-LUT words with bit 8; Tx lines: Y-LUT words whose bits 9..8 are 01.
void countPorts(RecipeSettings& r) {
    r.RX_PORT_COUNT = static_cast<std::int32_t>(
        std::count_if(r.XLUT.begin(), r.XLUT.end(), [](std::uint16_t w) { return (w & 0x100) != 0; }));
    r.TX_PORT_COUNT = static_cast<std::int32_t>(
        std::count_if(r.YLUT.begin(), r.YLUT.end(), [](std::uint16_t w) { return (w & 0x300) == 0x100; }));
}

std::uint8_t tpsForTxPorts(std::int32_t t) {
    if (t <= 6) return 0;
    if (t <= 10) return 1;
    if (t <= 14) return 2;
    if (t <= 18) return 3;
    if (t <= 22) return 4;
    if (t <= 30) return 5;
    if (t <= 42) return 6;
    return 7;
}

// The COM flags belong to the check running: a connection between checks has no record to mark.
void markCom(Station& s, std::int32_t bit, bool on) {
    if (!s.check.running) return;
    std::int32_t& flags = s.check.detail.comFlags;
    flags = on ? flags | bit : flags & ~bit;
}

bool fail(Station& s, const char* message) {
    s.ui.appendMessage(message);
    return false;
}

bool maintenanceSetUp(Station& s) {
    DeviceLink& t = s.touch;
    RecipeSettings& r = s.recipe;
    ConnectValues& c = s.connect;

    // A failed read leaves the mode unknown: the image captured before is kept.
    std::uint8_t cameUpIn = kModeMaintenance;
    const bool cameUpNormal = t.readDeviceMode(cameUpIn) && cameUpIn != kModeMaintenance;
    if (!cameUpNormal && !c.normalScanCaptured && c.captureResets < kMaxCaptureResets) {
        // Its registers may hold what another program left (a station that crashed, a diagnosis
        // tool): restart it, so that the next open sees its own normal scan.
        ++c.captureResets;
        s.ui.appendMessage("Reset the device to get its normal scan register.");
        t.setDeviceMode(kModeReset);  // paced 5 ms after the request
        s.clock.sleepMs(1000);
        return false;
    }
    if (!t.setDeviceMode(kModeMaintenance)) return fail(s, "Failed to set device type to maintenance mode.");

    if (!r.xlutGiven || !r.ylutGiven) {
        loadLutsFromController(s);
        s.clock.sleepMs(50);
    }
    if (!t.setReportType(1)) return fail(s, "Failed to set report type to kavor format.");
    if (r.xlutGiven && !t.writeXLut(std::span<const std::uint16_t, kGridRx>(r.XLUT)))
        return fail(s, "Failed to set X-LUT.");
    if (r.ylutGiven && !t.writeYLut(std::span<const std::uint16_t, kGridTx>(r.YLUT)))
        return fail(s, "Failed to set Y-LUT.");

    t.setRegisters({});
    for (int i = 0; i < 200; ++i) s.clock.sleepMs(10);
    if (!t.readRegisters()) {
        c.normalModeSuspected = true;
        return fail(s, "Failed to get register.");
    }
    s.clock.sleepMs(10);
    if (!t.calibrationControl(1)) return fail(s, "Failed to disable auto calib switch.");

    if (cameUpNormal) {
        c.normalScanRegisters = t.registers();
        c.normalScanCaptured = true;
    }

    if (r.TXE != 0) {
        t.setRegisterByte(2, r.TXE);
        t.setRegisterByte(7, static_cast<std::uint8_t>(r.TXE - 2));
        t.setRegisterByte(8, static_cast<std::uint8_t>(r.TXE - 2));
        t.setRegisterByte(10, static_cast<std::uint8_t>(r.TXE - 4));
    }
    if (r.TXW != 0) t.setRegisterByte(3, r.TXW);
    if (r.SHW != 0) t.setRegisterByte(9, r.SHW);
    if (r.xlutGiven && r.ylutGiven) {
        const auto w7 = static_cast<std::uint16_t>((t.registerWord(7) & ~0x0700u) | ((r.TIPC_TPS & 7u) << 8));
        t.setRegisterWord(7, w7);
    }
    t.setRegisterWord(12, 0);
    t.setRegisterWord(17, r.FLR_X_CANCELED == 1 ? 2 : 0);
    c.testRegisters = t.registers();

    if (!t.writeRegisters()) return fail(s, "Failed to set register.");
    const std::optional<MaintenanceVersion> version = t.readMaintenanceVersion();
    if (!version) {
        s.ui.setPrompt("Failed to get mnt_version.");
        return false;
    }
    c.maintenanceVersion = *version;
    if (r.TOUCH_REPORT_FORMAT == 1) c.maintenanceVersion[4] |= 1;
    return true;
}

}  // namespace

bool TimedCycles::next() {
    const int noted = platform::millisecondsInMinute(clock_.timeOfDay());
    ++number_;
    int elapsed = 0;
    if (number_ == 1) {
        start_ = noted;
    } else {
        elapsed = noted - start_;
        if (elapsed < 0) elapsed += 60000;
    }
    clock_.sleepMs(1000);
    return number_ <= limit_ && elapsed < 15000;
}

bool openAndPrepare(Station& s, const hidlink::CollectionIdentity& identity, bool prepare) {
    DeviceLink& t = s.touch;
    if (!t.open(identity)) {
        if (t.isOpen()) t.close();
        return fail(s, "Failed to open.");
    }
    hidlink::DeviceInfo info;
    if (!s.table.getCollectionInfo(controllerlink::TOUCH_KEY, info)) return fail(s, "Failed to get device info.");
    const std::optional<TouchQuery> query = t.readTouchQuery();
    if (!query) return fail(s, "Failed to get touch query.");
    s.connect.touchQuery = *query;
    if (!prepare) return true;
    return maintenanceSetUp(s);
}

void loadLutsFromController(Station& s) {
    DeviceLink& t = s.touch;
    RecipeSettings& r = s.recipe;
    // What arrived is used either way, over what an earlier read left.
    const CalibrationTable read = t.readCalibrationTable();
    auto& table = s.connect.calibrationTable;
    if (read.asked) table[0] = 0;
    std::copy_n(read.words.begin(), read.received, table.begin());
    std::copy_n(table.begin() + 110, kXlutSize, r.XLUT.begin());
    std::copy_n(table.begin() + 182, kYlutSize, r.YLUT.begin());
    countPorts(r);
    if (!r.tpsGiven) r.TIPC_TPS = tpsForTxPorts(r.TX_PORT_COUNT);
}

namespace {

// Names each maker's node that turned unopenable since the last refresh, once; the station
// enumerates every tick, and a node without the udev rule would otherwise fill the list.
void sayUnopenable(Station& s) {
    std::vector<std::string> now;
    for (const auto& n : s.touch.skipped()) now.push_back(n.path);
    std::vector<std::string>& said = s.connect.unopenableSaid;
    if (now == said) return;
    for (const auto& n : s.touch.skipped())
        if (std::find(said.begin(), said.end(), n.path) == said.end())
            s.ui.appendMessage("Cannot open " + n.path + ": " + n.reason + " (see the udev rule in the README).");
    said = std::move(now);
}

}  // namespace

ConnectResult connectTouch(Station& s) {
    DeviceLink& t = s.touch;
    ConnectValues& c = s.connect;
    const bool wasOpen = t.isOpen();
    // The link stays marked open while its entry is closed, so a present device is reopened
    // with the identity it had.
    if (wasOpen && !s.table.closeCollection(controllerlink::TOUCH_KEY)) {
        t.close();
        c.openFailures = 0;
        return ConnectResult::Gone;
    }

    t.refreshFoundList();
    sayUnopenable(s);
    const auto entry = controllerlink::findTouchCollection(std::span(t.foundList()).first(t.found()), s.generation());
    if (!entry || c.openFailures >= kMaxOpenFailures) {
        c.driverMode = 0;
        if (!entry) c.openFailures = 0;
        if (wasOpen) {
            closeBoth(s);
            return ConnectResult::Gone;
        }
        closeBoth(s);
        return ConnectResult::NotPresent;
    }

    if (wasOpen) {
        const hidlink::CollectionIdentity again = t.openedIdentity();
        s.table.openCollection(again.vendorId, again.productId, again.usagePage, again.usage,
                               controllerlink::TOUCH_KEY);
        c.driverMode = entry->usage == 0x0B ? 1 : 0;
        c.openFailures = 0;
        return ConnectResult::StillPresent;
    }

    c.driverMode = entry->usage == 0x0B ? 1 : 0;
    const std::int32_t captureResets = c.captureResets;
    if (openAndPrepare(s, *entry, true)) {
        c.openFailures = 0;
        connectPenAndKeep(s);
        return ConnectResult::Opened;
    }
    if (c.captureResets != captureResets) {
        // Restarting to show its normal scan: a later tick opens it again.
        t.close();
        c.driverMode = 0;
        return ConnectResult::OpenFailed;
    }
    if (s.recipe.WRITE_FW != 0 && !c.normalModeSuspected) {
        t.close();
        if (openAndPrepare(s, *entry, false)) {
            s.ui.appendMessage("Device opened with Normal Mode.");
            c.openFailures = 0;
            connectPenAndKeep(s);
            return ConnectResult::Opened;
        }
    } else if (c.normalModeSuspected && c.resetAttempts < kMaxNormalModeResets) {
        ++c.resetAttempts;
        c.normalModeSuspected = false;
        t.setDeviceMode(kModeReset);  // paced 5 ms after the request
        s.clock.sleepMs(1000);
    }
    t.close();
    ++c.openFailures;
    c.driverMode = 0;
    return ConnectResult::OpenFailed;
}

ConnectResult probeTouch(Station& s) {
    DeviceLink& t = s.touch;
    closeBoth(s);
    t.refreshFoundList();
    const auto entry = controllerlink::findTouchCollection(std::span(t.foundList()).first(t.found()), s.generation());
    if (!entry) return ConnectResult::NotPresent;
    if (openAndPrepare(s, *entry, false)) return ConnectResult::Opened;
    if (t.isOpen()) t.close();
    return ConnectResult::OpenFailed;
}

bool connectPen(Station& s) {
    DeviceLink& p = s.pen;
    if (p.isOpen()) p.close();
    p.refreshFoundList();
    const auto id = controllerlink::findPenCollection(std::span(p.foundList()).first(p.found()),
                                                      s.touch.openedIdentity(), s.generation());
    if (!id) {
        s.texts.pen = "NO DEVICE";
        return false;
    }
    bool opened = false;
    for (int attempt = 0; attempt < kPenOpenAttempts && !opened; ++attempt) {
        opened = p.open(*id);
        if (opened) break;
        p.close();
        if (attempt + 1 < kPenOpenAttempts) s.clock.sleepMs(5);
    }
    if (!opened) {
        s.texts.pen = "OPEN ERROR";
        return false;
    }
    const std::optional<PenQuery> query = p.readPenQuery(s.generation());
    if (!query) {
        s.texts.pen = "ERROR";
        return false;
    }
    s.connect.penQuery = *query;
    if (query->firmware == 0) {
        s.texts.pen = "NO EMR";
        return false;
    }
    s.texts.pen = hex("0x%04X", query->firmware);
    if (s.recipe.HSYNC_INFO != 0 && s.automatic != nullptr) {
        CheckContext context = s.checkContext();
        s.automatic->readHsyncInfo(context);
    }
    return true;
}

bool connectPenAndKeep(Station& s) {
    s.connect.penConnected = connectPen(s);
    publishTexts(s);
    s.ui.setHsyncTexts(s.texts.hsyncPid, s.texts.hsyncVer);
    s.ui.requestRepaint(RepaintArea::StatusPanel);
    if (s.recipe.EMR_CHECK != 0 && (!s.connect.penConnected || s.connect.penQuery.firmware == 0)) {
        markCom(s, kComPenError, true);
        return false;
    }
    markCom(s, kComPenError, false);
    return true;
}

bool connectTouchAndShow(Station& s) {
    closeBoth(s);
    const ConnectResult result = connectTouch(s);
    markCom(s, kComTouchUnusable, false);
    if (result == ConnectResult::Opened) {
        s.ui.setPrompt("");
        showDeviceInfo(s);
        return true;
    }
    if (result != ConnectResult::StillPresent) markCom(s, kComTouchUnusable, true);
    return false;
}

void resetAndReconnect(Station& s) {
    if (!s.flags.resetRequested) return;
    s.flags.resetRequested = false;
    s.flags.accelEnabled = false;
    const bool penWasConnected = s.connect.penConnected;
    s.touch.setDeviceMode(kModeReset);
    reconnectTouchAndPen(s, penWasConnected);
    s.flags.accelEnabled = true;
}

void reconnectTouchAndPen(Station& s, bool penWasConnected) {
    TimedCycles touchCycles(s.clock, 15);
    for (;;) {
        if (!touchCycles.next()) {
            s.ui.appendMessage("Failed to reconnect device after reset.");
            break;
        }
        if (connectTouchAndShow(s)) break;
    }

    if (penWasConnected) {
        TimedCycles penCycles(s.clock, 5);
        for (;;) {
            connectPenAndKeep(s);
            if (s.recipe.EMR_CHECK == 0 || (s.connect.penConnected && s.connect.penQuery.firmware != 0)) break;
            if (!penCycles.next()) {
                s.ui.appendMessage("Failed to reconnect Pen device after reset.");
                break;
            }
        }
    }
}

void checkFirmwareIdentity(Station& s) {
    const RecipeSettings& r = s.recipe;
    // What is compared goes into the check's record, for its F/W section.
    FirmwareValues& fw = s.check.firmware;
    fw.touchFirmwareMajor = s.connect.touchQuery.firmwareMajor;
    fw.touchFirmwareMinor = s.connect.touchQuery.firmwareMinor;
    const hidlink::CollectionIdentity& id = s.touch.info().identity;
    fw.vendorId = id.vendorId;
    fw.productId = id.productId;
    const bool majorOk = fw.touchFirmwareMajor == r.FWVER_MAJOR || fw.touchFirmwareMajor == r.FWVER_MAJOR2;
    const bool minorOk = fw.touchFirmwareMinor == r.FWVER_MINOR || fw.touchFirmwareMinor == r.FWVER_MINOR2;
    if (!majorOk || !minorOk) addFirmwareFault(s.check.detail.firmwareFlags, FirmwareFault::VersionDiffers);
    if (fw.vendorId != static_cast<std::uint32_t>(r.VID))
        addFirmwareFault(s.check.detail.firmwareFlags, FirmwareFault::VidDiffers);
    if (fw.productId != static_cast<std::uint32_t>(r.PID))
        addFirmwareFault(s.check.detail.firmwareFlags, FirmwareFault::PidDiffers);
}

void showDeviceInfo(Station& s) {
    const std::uint16_t lines = s.touch.registerWord(41);
    const unsigned rx = (lines >> 8) & 0x7F;
    const unsigned tx = lines & 0x3F;
    s.ui.setStatusPane(3, rx == 0x7F ? std::string("\t--") : "\t" + std::to_string(rx));
    s.ui.setStatusPane(5, tx == 0x3F ? std::string("\t--") : "\t" + std::to_string(tx));
    const hidlink::DeviceInfo& info = s.touch.info();
    s.ui.setStatusPane(7, hex("\t%04X", info.identity.productId));
    s.ui.setStatusPane(9, hex("\t%04X", info.versionNumber));
    s.ui.setStatusPane(1, "\tCONNECT");
    s.texts.productId = hex("0x%04X", info.identity.productId);
    s.texts.firmwareMajor = hex("0x%04X", s.connect.touchQuery.firmwareMajor);
    s.texts.firmwareMinor = hex("0x%02X", s.connect.touchQuery.firmwareMinor);
    publishTexts(s);
}

void showDisconnected(Station& s) {
    s.ui.setStatusPane(3, "\t--");
    s.ui.setStatusPane(5, "\t--");
    s.ui.setStatusPane(7, "\t--");
    s.ui.setStatusPane(9, "\t---");
    s.ui.setStatusPane(1, "\tDISCONNECT");
    // The Hsync MCU texts keep the class of their last failure.
    s.texts.productId = s.texts.firmwareMajor = s.texts.firmwareMinor = s.texts.pen = "---";
    publishTexts(s);
    s.flags.resetRequested = false;
}

}  // namespace station
