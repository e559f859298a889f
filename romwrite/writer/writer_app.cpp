#include "romwrite/writer/writer_app.h"

#include <cstdio>
#include <utility>

#include "romwrite/image/embedded_image.h"
#include "romwrite/writer/exit_codes.h"

namespace romwrite {
namespace {

std::string hex4(std::uint32_t v) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "0x%04X", v);
    return buf;
}

// What the operator must know after a failed F11 write: the controller was not restarted on a
// half-written flash.
constexpr const char* kStaysInBootloader = "The controller stays in its bootloader; write it again.";

constexpr const char* kWarning =
    "Firmware update takes several minutes.\r\nDuring updating, you should NOT shut down or restart PC.";

}  // namespace

std::pair<const char*, const char*> phaseTexts(std::uint32_t phase) {
    switch (phase) {
        case kPhaseConnecting:
            return {"Connecting ...", kWarning};
        case kPhaseProgramming:
            return {"Programming ...", kWarning};
        case kPhaseConfirming:
            return {"Confirming ...", kWarning};
        case kPhaseCompleted:
            return {"Completed.", ""};
        case kPhaseAborted:
            return {"Abort process.", ""};
        default:
            return {"", ""};
    }
}

DeviceFields deviceFields(const UblDevice& d) {
    DeviceFields f;
    f.vendorId = hex4(d.vendorId);
    f.productId = hex4(d.productId);
    if (d.subVersion == 0) {
        f.version = hex4(d.version);
    } else {
        char buf[40];
        std::snprintf(buf, sizeof buf, "0x%04X.%02X", d.version, d.subVersion);
        f.version = buf;
    }
    switch (d.mode) {
        case TransportMode::Direct:
            f.interface = "USB";
            break;
        case TransportMode::DirectShort:
            f.interface = "I2C";
            break;
        case TransportMode::Wrapped:  // both wrapped modes go through the vendor driver
        case TransportMode::WrappedPaused:
            f.interface = "DRV";
            break;
        case TransportMode::None:
            break;
    }
    return f;
}

bool silentRun(const CommandLine& line, std::span<const std::uint8_t> resource) {
    WriteJob job;
    if (!hasEmbeddedImage(resource)) {
        readSwitches(line, job, false);
        return job.silent;
    }
    EmbeddedOptions o;
    std::string reason;
    // An image that does not load is reported in the window.
    if (!loadEmbeddedImage(resource, job.image, o, reason)) return false;
    if (o.embeddedMode && !line.empty()) readEmbeddedWords(line, job);
    if (!line.empty()) readSwitches(line, job, true);
    return job.silent;
}

WriterApp::WriterApp(WriterServices services) : s_(std::move(services)), env_{s_.link, &s_.stayAwake} {}

bool WriterApp::start(const CommandLine& line, bool instanceLocked) {
    if (!instanceLocked) {
        s_.port.messageBox("Program already running!", "Error");
        finished_ = true;
        exitCode_ = kExitAlreadyRunning;
        return false;
    }
    if (hasEmbeddedImage(s_.resource)) {
        WriteJob scratch;
        if (loadEmbedded(scratch) && scratch.embeddedMode) {
            if (!line.empty()) readEmbeddedWords(line, scratch);
            if (scratch.silent) {
                if (!s_.power.onMains()) {
                    finished_ = true;
                    exitCode_ = kExitNoMains;
                    return false;
                }
            } else if (s_.confirmation == nullptr || !s_.confirmation->confirm()) {
                finished_ = true;
                exitCode_ = kExitDeclined;
                return false;
            }
        }
    }
    setUp(line);
    return !finished_;
}

bool WriterApp::loadEmbedded(WriteJob& job) {
    EmbeddedOptions o;
    std::string reason;
    if (!loadEmbeddedImage(s_.resource, job.image, o, reason)) {
        s_.device.setError(reason);
        return false;
    }
    job.kind = o.kind;
    job.setSecurity = o.setSecurity;
    job.autoApply = o.autoApply;
    job.logOn = o.log;
    job.autoExit = o.autoExit;
    job.completionBox = o.completionBox;
    job.pidLock = o.pidLock;
    job.exitOnError = o.exitOnError;
    job.embeddedMode = o.embeddedMode;
    return true;
}

std::string WriterApp::resolve(const std::string& name) const {
    if (name.starts_with('/') || s_.workingDirectory.empty()) return name;
    return s_.workingDirectory + "/" + name;
}

void WriterApp::setUp(const CommandLine& line) {
    s_.stayAwake.request();
    enableButtons(true);
    if (s_.link.probeDevice(s_.device)) {
        job_.devicePresent = true;
        showDeviceInfo();
        enableButtons(true);
    }
    if (hasEmbeddedImage(s_.resource)) {
        if (!loadEmbedded(job_)) {
            job_.kind = JOB_LOAD_ERROR;
            s_.device.result = kResultFailed;
        } else {
            if (job_.embeddedMode && !line.empty()) readEmbeddedWords(line, job_);
            s_.port.showImage("", hex4(job_.image.checksum), hex4(job_.image.size));
            if (!line.empty()) {
                const SwitchResult r = readSwitches(line, job_, true);
                if (!r.ok) {
                    job_.kind = JOB_LOAD_ERROR;
                    s_.device.result = r.result;
                    s_.device.setError(r.error);
                }
            }
        }
    } else {
        loadFromCommandLine(readSwitches(line, job_, false));
    }
    if (s_.headless && job_.kind == JOB_IDLE) {
        // No window to use and no job asked for: ending with 0 would claim work that was not done.
        job_.kind = JOB_LOAD_ERROR;
        s_.device.result = kResultNoJob;
        s_.device.setError("Nothing to do: no /F, /C or /V switch.");
    }
    if (!job_.silent && !s_.headless) {
        s_.port.showWindow();
        windowShown_ = true;
    }
    std::string why;
    if (job_.logOn && !s_.log.open(s_.workingDirectory, &why)) setStatus(why);
    job_.lastPhase = s_.device.phase;
    showPhase(job_.lastPhase);
}

void WriterApp::loadFromCommandLine(const SwitchResult& r) {
    UblDevice& d = s_.device;
    if (!r.ok) {
        job_.kind = JOB_LOAD_ERROR;
        d.result = r.result;
        d.setError(r.error);
        return;
    }
    if (!isWriteKind(job_.kind)) return;
    if (!r.file) {
        job_.kind = JOB_LOAD_ERROR;
        d.result = kResultLoad;
        d.setError("No file name.");
        return;
    }
    std::string reason;
    const std::string path = resolve(*r.file);
    if (!loadHexImage(job_.image, path, reason)) {
        job_.kind = JOB_LOAD_ERROR;
        d.result = kResultLoad;
        d.setError("Hex file error.");
        return;
    }
    job_.path = path;
    s_.port.showImage(path, hex4(job_.image.checksum), hex4(job_.image.size));
    if (job_.kind == JOB_ENC_WRITE && !job_.image.encCapable) {
        job_.kind = JOB_LOAD_ERROR;
        d.result = kResultFailed;
        d.setError("Hex file name error.");
    }
}

void WriterApp::enableButtons(bool on) {
    ButtonStates b;
    if (on) {
        b.exit = b.fileSelect = true;
        b.deviceInfo = b.reset = job_.devicePresent;
        b.write = job_.devicePresent && job_.image.valid;
        b.encWrite = b.write && job_.image.encCapable;
    }
    s_.port.setButtons(b);
}

void WriterApp::showDeviceInfo() { s_.port.showDeviceFields(deviceFields(s_.device)); }

void WriterApp::clearDeviceInfo() { s_.port.showDeviceFields({" ", " ", " ", " "}); }

void WriterApp::showPhase(std::uint32_t phase) {
    const auto [text, warning] = phaseTexts(phase);
    s_.port.showPhase(phase, text, warning);
}

void WriterApp::setStatus(const std::string& text) { s_.port.setStatusText(text); }

void WriterApp::tick() {
    if (finished_) return;
    UblDevice& d = s_.device;
    const std::uint32_t phase = d.phase;
    if (phase != job_.lastPhase) {
        job_.lastPhase = phase;
        showPhase(phase);
    }
    s_.port.setProgress(d.progress, job_.image.size);

    switch (job_.kind) {
        case JOB_WAIT_RECONNECT:
            if (job_.devicePresent) {
                enableButtons(false);
                job_.kind = JOB_ASKING;
                if (job_.autoApply) {
                    job_.kind = JOB_CONFIRM;
                } else {
                    declined_ = !s_.port.askApplyUpdate();
                    job_.kind = declined_ ? JOB_RESET : JOB_CONFIRM;
                }
            } else {
                countReconnect();
            }
            break;
        case JOB_ASKING:
            break;
        case JOB_DONE:
            if (job_.completionBox && !job_.silent) {
                if (job_.devicePresent) {
                    job_.kind = JOB_IDLE;
                    if (d.result == kResultLockedPid) {
                        char text[64];
                        std::snprintf(text, sizeof text, "This FW is locked to PID:0x%04x", job_.image.lockedPid);
                        s_.port.messageBox(text, "romwrite");
                    } else {
                        s_.port.messageBox("Completed", "romwrite");
                    }
                    if (job_.autoExit)
                        end(d.result);
                    else
                        enableButtons(true);
                } else {
                    countReconnect();
                }
            } else {
                job_.kind = JOB_IDLE;
                if (job_.autoExit) {
                    if (d.result == kResultLockedPid) {
                        char text[64];
                        std::snprintf(text, sizeof text, "This FW is locked to PID:0x%04x", job_.image.lockedPid);
                        s_.port.messageBox(text, "romwrite");
                    }
                    end(d.result);
                } else {
                    enableButtons(true);
                }
            }
            break;
        case JOB_VERSION_CHECK:
            if (!job_.devicePresent)
                end(1);
            else
                end(d.version == job_.image.fileVersion ? 0 : kResultVersionDiffers);
            break;
        case JOB_LOAD_ERROR:
            setStatus(d.errorText);
            restCode_ = d.result != 0 ? d.result : kResultFailed;
            job_.kind = JOB_IDLE;
            break;
        case JOB_FILE_SELECT:
            if (d.result == kResultFailed) setStatus(d.errorText);
            break;
        case JOB_IDLE:
            break;
        default:
            if (!isJobKind(job_.kind)) break;
            if (!s_.runner.exists()) {
                startJob();
            } else if (s_.runner.ended()) {
                s_.runner.release();
                jobEnded();
            }
            break;
    }
    if (finished_) return;

    const std::uint32_t k = job_.kind;
    if ((k == JOB_IDLE || k == JOB_WAIT_RECONNECT || k == JOB_ASKING || k == JOB_DONE || isJobKind(k)) &&
        !s_.runner.exists())
        presencePoll();
    restIfHeadless();
}

void WriterApp::startJob() {
    UblDevice& d = s_.device;
    if (d.kind == DeviceKind::None) {
        // Waits for the presence poll; a run without a window gives up after 5 s.
        if (s_.headless && ++noDeviceTicks_ >= kReconnectTicks) {
            noDeviceTicks_ = 0;
            d.setError("No device.");
            setStatus(d.errorText);
            restCode_ = kResultFailed;
            job_.kind = JOB_IDLE;
        }
        return;
    }
    noDeviceTicks_ = 0;
    if (job_.kind == JOB_CHECKSUM && d.kind == DeviceKind::F11) {
        // Nothing is sent: entering and leaving the bootloader would only restart the controller,
        // perhaps on a half-written flash, and the comparison cannot be made.
        d.result = kResultUnsupported;
        d.setError("The F11 bootloader has no checksum command.");
        s_.log.log(d.errorText);
        setStatus(d.errorText);
        restCode_ = kResultUnsupported;
        job_.kind = JOB_IDLE;
        if (job_.autoExit) end(kResultUnsupported);
        return;
    }
    if (job_.kind != JOB_RESET) declined_ = false;
    setStatus("");
    d.result = kResultOk;
    restCode_ = 0;
    enableButtons(false);
    request_ = JobRequest{job_.kind, &job_.image, job_.devicePresent, job_.setSecurity, job_.pidLock};
    s_.runner.start([this] { runJob(request_, s_.device, env_); });
    s_.port.setProgress(0, job_.image.size);
}

void WriterApp::jobEnded() {
    UblDevice& d = s_.device;
    const bool declined = std::exchange(declined_, false);
    if (d.leftInBootloader)
        setStatus(d.errorText.empty() ? kStaysInBootloader : d.errorText + " " + kStaysInBootloader);
    if (d.result == kResultFailed) {
        if (!d.leftInBootloader) setStatus(d.errorText);
        d.phase = kPhaseAborted;
        job_.lastPhase = kPhaseAborted;
        showPhase(kPhaseAborted);
        if (!job_.exitOnError) {
            job_.autoExit = false;
            job_.kind = JOB_IDLE;
            restCode_ = kResultFailed;
            enableButtons(true);
            return;
        }
        if (job_.silent || job_.autoExit) {
            end(1);
            return;
        }
    }
    job_.devicePresent = false;
    pollTicks_ = 0;
    clearDeviceInfo();
    switch (job_.kind) {
        case JOB_WRITE:
        case JOB_FORCE_WRITE:
        case JOB_ENC_WRITE:
            reconnectTicks_ = 0;
            // A write that failed is not confirmed: its result is the outcome.
            job_.kind = (d.ublVersion <= 0x53 || d.result != kResultOk) ? JOB_DONE : JOB_WAIT_RECONNECT;
            break;
        case JOB_DEVICE_INFO:
            s_.port.showBootloaderData(hex4(d.mpuType), hex4(d.ublVersion), d.security == 0x0F ? "ON" : "OFF");
            job_.kind = JOB_IDLE;
            enableButtons(true);
            break;
        case JOB_CHECKSUM:
            job_.kind = JOB_IDLE;
            break;
        case JOB_CONFIRM:
            reconnectTicks_ = 0;
            job_.kind = JOB_DONE;
            break;
        default:
            if (job_.kind == JOB_RESET && declined && d.result == kResultOk && d.kind == DeviceKind::F09) {
                // The image is written but never confirmed: not the success the caller asked for.
                // F11 has no confirm command; its reset sends what its confirmation would.
                d.result = kResultNotApplied;
                d.setError("The update was not applied.");
                setStatus(d.errorText);
                restCode_ = kResultNotApplied;
            }
            job_.kind = JOB_IDLE;
            enableButtons(true);
            break;
    }
    if (job_.autoExit && job_.kind == JOB_IDLE) end(d.result);
}

void WriterApp::countReconnect() {
    if (++reconnectTicks_ < kReconnectTicks) return;
    reconnectTicks_ = 0;
    job_.kind = JOB_IDLE;
    s_.device.setError("Device reconnect error.");
    setStatus(s_.device.errorText);
    restCode_ = kResultFailed;
    enableButtons(true);
}

void WriterApp::presencePoll() {
    if (++pollTicks_ < kPresencePollTicks) return;
    pollTicks_ = 0;
    const bool found = s_.link.probeDevice(s_.device);
    if (found && !job_.devicePresent) {
        job_.devicePresent = true;
        showDeviceInfo();
        enableButtons(true);
    } else if (!found && job_.devicePresent) {
        job_.devicePresent = false;
        clearDeviceInfo();
        enableButtons(true);
    }
}

void WriterApp::restIfHeadless() {
    if (finished_ || !s_.headless || job_.kind != JOB_IDLE || s_.runner.exists()) return;
    end(restCode_);
}

void WriterApp::end(int code) {
    if (finished_) return;
    finished_ = true;
    s_.stayAwake.release();
    s_.log.close();
    exitCode_ = job_.embeddedMode ? embeddedExitCode(code) : code;
    if (job_.forceRestart) s_.restarter.restart();
}

void WriterApp::selectFile(const std::optional<std::string>& path) {
    if (s_.runner.exists() || finished_) return;
    UblDevice& d = s_.device;
    setStatus("");
    d.result = kResultOk;
    job_.kind = JOB_FILE_SELECT;
    enableButtons(false);
    if (!path) {
        job_.kind = JOB_IDLE;
        enableButtons(true);
        return;
    }
    s_.port.showImage("", "", "");
    std::string reason;
    if (!loadHexImage(job_.image, resolve(*path), reason)) {
        enableButtons(true);
        d.setError("Hex file error.");
        d.result = kResultFailed;
        return;
    }
    job_.path = resolve(*path);
    s_.port.showImage(job_.path, hex4(job_.image.checksum), hex4(job_.image.size));
    job_.kind = JOB_IDLE;
    enableButtons(true);
}

void WriterApp::write(bool ignoreMatching, bool setSecurity) {
    if (s_.runner.exists() || finished_) return;
    job_.kind = ignoreMatching ? JOB_FORCE_WRITE : JOB_WRITE;
    job_.setSecurity = setSecurity;
}

void WriterApp::encWrite() {
    if (s_.runner.exists() || finished_) return;
    job_.kind = JOB_ENC_WRITE;
}

void WriterApp::getDeviceInfo() {
    if (s_.runner.exists() || finished_) return;
    s_.port.showBootloaderData("", "", "");
    job_.kind = JOB_DEVICE_INFO;
}

void WriterApp::deviceReset() {
    if (s_.runner.exists() || finished_) return;
    job_.kind = JOB_RESET;
}

void WriterApp::exitButton() {
    if (s_.runner.exists()) return;
    end(0);
}

void WriterApp::closeWindow() {
    if (isWriteKind(job_.kind) && job_.devicePresent) return;
    if (s_.runner.exists()) return;
    end(0);
}

}  // namespace romwrite
