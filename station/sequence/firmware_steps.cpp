#include "station/sequence/firmware_steps.h"

#include <cstdio>
#include <cstring>

#include "station/recipe/hex_checksum.h"
#include "station/sequence/connect.h"
#include "station/sequence/station_state.h"

namespace station {
namespace {

constexpr int kReconnectCycles = 15;
// The identity bits a firmware write repairs: version, vendor id, product id (and two unused).
constexpr std::int32_t kIdentityBits = 0x7C;
// A writer killed by a signal reports as a shell does: 128 + the signal's number.
constexpr int kSignalExitBase = 128;

std::string hexCode(const char* format, unsigned value) {
    char text[96];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

class SystemChildLauncher final : public ChildLauncher {
public:
    platform::ChildEnd run(const std::vector<std::string>& argv, const std::string& workDir) override {
        return platform::runChild(argv, workDir);
    }
};

}  // namespace

ChildLauncher& systemChildLauncher() {
    static SystemChildLauncher launcher;
    return launcher;
}

void FirmwareSteps::handOver() {
    s_.touch.close();
    s_.pen.close();
    showDisconnected(s_);
}

void FirmwareSteps::reopenAfterFailure() { connectTouchAndShow(s_); }

FirmwareSteps::WriterRun FirmwareSteps::runWriter(const std::vector<std::string>& argv, std::string_view openFailure,
                                                  std::string_view exitFailure) {
    s_.state = StationState::Writing;
    s_.ui.requestRepaint(RepaintArea::StatusPanel);
    // The panel shows the write before the wait holds the station.
    s_.ui.pumpMessages();
    const platform::ChildEnd end = launcher_.run(argv, s_.startDirectory);
    WriterRun run;
    if (!end.started) {
        s_.ui.appendMessage(std::string(openFailure) +
                            hexCode(" (Error code: 0x%04X)", static_cast<unsigned>(end.startError)));
        if (!end.startFailure.reason.empty()) s_.ui.appendMessage(end.startFailure.text());
        return run;
    }
    if (end.waitError != 0) {
        s_.ui.appendMessage(
            hexCode("Failed to wait process (Error code: 0x%04X)", static_cast<unsigned>(end.waitError)));
        return run;
    }
    run.exitCode = end.exited ? end.exitCode : kSignalExitBase + end.signal;
    if (run.exitCode != 0) {
        s_.ui.appendMessage(std::string(exitFailure) +
                            hexCode(" (Error Code: 0x%02X)", static_cast<unsigned>(run.exitCode)));
        // No exit code of its own: say what ended it.
        if (!end.exited) {
            const char* name = ::sigdescr_np(end.signal);
            s_.ui.appendMessage("(" + argv.front() + " was ended by signal " + std::to_string(end.signal) +
                                (name != nullptr ? std::string(": ") + name : std::string()) + ")");
        }
        return run;
    }
    run.ok = true;
    return run;
}

bool FirmwareSteps::writeFirmware() {
    const RecipeSettings& r = s_.recipe;
    FirmwareValues& fw = s_.check.firmware;
    std::int32_t& flags = s_.check.detail.firmwareFlags;

    std::uint16_t sum = 0;
    platform::Failure why;
    if (!computeHexChecksum(r.HEX_FILE, sum, &why)) {
        s_.ui.appendMessage("Failed to calculate checksum.");
        if (why.failed()) s_.ui.appendMessage(why.text());
        return false;
    }
    fw.hexChecksum = sum;
    if (sum != static_cast<std::uint16_t>(r.CHECKSUM)) {
        addFirmwareFault(flags, FirmwareFault::ChecksumDiffers);
        return true;
    }

    // A device that already runs the expected firmware is not written again.
    bool write = true;
    if (r.WRITE_COMPARE_FWVER != 0 && connectTouchAndShow(s_)) {
        checkFirmwareIdentity(s_);
        if ((flags & kIdentityBits) != 0)
            flags &= ~kIdentityBits;
        else
            write = false;
    }
    fw.writerStarted = write;

    handOver();
    if (write) {
        s_.ui.appendMessage("Write F/W...");
        const WriterRun run = runWriter({r.ROMWRITE_PATH, std::string(kWriterImage), "-f1"}, "Failed to open RomWrite",
                                        "Failed to write F/W.");
        fw.writerExitCode = run.exitCode;
        if (!run.ok) {
            addFirmwareFault(flags, FirmwareFault::WriterFailed);
            reopenAfterFailure();
            return true;
        }
    }

    // The controller comes back from its bootloader as a new device: found again, then opened.
    s_.touch.refreshFoundList();
    TimedCycles cycles(s_.clock, kReconnectCycles);
    for (;;) {
        if (!cycles.next()) {
            s_.ui.appendMessage("Failed to connect device after write FW.");
            break;
        }
        if (connectTouchAndShow(s_)) break;
    }
    return true;
}

bool FirmwareSteps::writeHsyncFirmware() {
    const RecipeSettings& r = s_.recipe;
    const bool penWasConnected = s_.connect.penConnected;
    handOver();
    s_.ui.appendMessage("Write HSYNC-MCU F/W...");
    const WriterRun run = runWriter({r.RL78PROG_PATH, std::string(kHsyncImage), "-auto", "-reset"},
                                    "Failed to open RL78-Programmer", "Failed to write HSYNC-MCU F/W.");
    s_.check.firmware.hsyncExitCode = run.exitCode;
    if (!run.ok) {
        s_.check.detail.firmwareFlags |= kFwHsyncWriteFailedWord;
        reopenAfterFailure();
        return true;
    }
    reconnectTouchAndPen(s_, penWasConnected);
    return true;
}

}  // namespace station
