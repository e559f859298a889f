#include "romwrite/protocol/ubl_session.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

namespace romwrite {

std::string formatText(const char* fmt, ...) {
    char buf[512];
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(buf, sizeof buf, fmt, args);
    va_end(args);
    return buf;
}

bool UblSession::frameKind(FrameKind& kind) const {
    if (isF11()) {
        kind = FrameKind::F11;
        return true;
    }
    if (device_.mode == TransportMode::Direct || device_.mode == TransportMode::Wrapped) {
        kind = FrameKind::Long;
        return true;
    }
    if (device_.mode == TransportMode::DirectShort) {
        kind = FrameKind::Short;
        return true;
    }
    return false;
}

bool UblSession::set(std::span<const std::uint8_t> frame) {
    return isF11() ? link_.setFeatureF11(frame, device_.mode) : link_.setFeatureF09(frame, device_.mode);
}

bool UblSession::get(std::span<std::uint8_t> buffer) {
    return isF11() ? link_.getFeatureF11(buffer, device_.mode) : link_.getFeatureF09(buffer, device_.mode);
}

const ProtocolPolicy& UblSession::policy() const { return isF11() ? kF11Policy : kF09Policy; }

void UblSession::fail(std::int32_t result, std::string text) {
    device_.result = result;
    device_.setError(std::move(text));
}

namespace {
const char* nameOf(Exchange e) { return e == Exchange::Block ? "block" : "command"; }
}  // namespace

std::string UblSession::failureText(const char* what, Exchange where, int n) const {
    std::string text = formatText("%s at %s:%d", what, nameOf(where), n);
    if (policy().systemErrorInText) text += formatText(" (%d)", link_.lastSystemError());
    return text;
}

void UblSession::dumpBoth(std::string_view head, std::span<const std::uint8_t> sent,
                          std::span<const std::uint8_t> answer, bool labelled) {
    WriterLog& l = link_.log();
    l.log(head);
    if (labelled) l.log("command:");
    l.logDump(sent);
    if (labelled) l.log("response:");
    l.logDump(answer);
}

bool UblSession::send(std::span<const std::uint8_t> frame, Exchange where, int n) {
    if (set(frame)) return true;
    fail(policy().setFailed, failureText("SET ERROR", where, n));
    logError("SET ERROR");
    return false;
}

bool UblSession::poll(std::span<const std::uint8_t> frame, std::span<std::uint8_t> answer, Exchange where, int n,
                      std::int32_t timeoutResult) {
    const ProtocolPolicy& p = policy();
    const bool block = where == Exchange::Block;
    for (int poll = 1;; ++poll) {
        std::fill(answer.begin(), answer.end(), std::uint8_t{0});
        answer[0] = kResponseReport;
        if (!get(answer)) {
            fail(p.getFailed, failureText("GET ERROR", where, n));
            logError("GET ERROR");
            if (block && p.logResponseAfterFailedGet) log(formatText("Get Feature. response:0x%X", answer[3]));
            return false;
        }
        log(formatText("Get Feature. response:0x%X", answer[3]));
        // A write-protect error answers before anything else is judged.
        if (!block && frame[1] == CMD_SECURITY && (answer[3] & 0x40) != 0) {
            fail(kResultFailed, "Error response at WRITEPROTECT.");
            dumpBoth(device_.mode == TransportMode::DirectShort ? "Response error" : "Error response", frame, answer,
                     false);
            return false;
        }
        if (answer[1] != frame[1] || answer[2] != frame[2]) {
            fail(kResultFailed, formatText("RESPONSE not match at %s:%d", nameOf(where), n));
            dumpBoth("Response not match", frame, answer, true);
            return false;
        }
        if (answer[3] != kStatusBusy) return true;
        if (poll == kBusyPolls) {
            fail(timeoutResult, formatText("TIMEOUT at %s:%d", nameOf(where), n));
            return false;
        }
        link_.clock().sleepMs(1);
    }
}

bool UblSession::command(std::uint8_t code, std::array<std::uint8_t, 4> params, std::uint8_t* status, bool* sent) {
    if (sent != nullptr) *sent = false;
    log(formatText("Set Feature. command:0x%X", code));
    FrameKind kind;
    if (!frameKind(kind)) {
        fail(kResultFailed, "Error.");
        return false;
    }
    const auto frame = buildCommand(kind, code, 0, params);
    if (code == CMD_EXIT) {
        // No answer is read: the controller restarts. A refused exit is no failure.
        if (set(frame)) {
            if (sent != nullptr) *sent = true;
        } else if (policy().logRefusedExit) {
            logError("SET ERROR");
        }
        return true;
    }
    if (!send(frame, Exchange::Command, code)) return false;
    if (sent != nullptr) *sent = true;
    std::vector<std::uint8_t> answer(shapeOf(kind).response);
    if (!poll(frame, answer, Exchange::Command, code, kResultFailed)) return false;
    if (code == CMD_CONFIRM && answer[3] != 0) {
        fail(kResultFailed, formatText("Error response:%d at command:%d", answer[3], code));
        dumpBoth("Response error", frame, answer, false);
        return false;
    }
    if (status != nullptr) *status = answer[3];
    return true;
}

bool UblSession::sendBlocks(std::uint8_t code, const FirmwareImage& image) {
    FrameKind kind;
    if (!frameKind(kind)) {
        fail(kResultFailed, "Error.");
        return false;
    }
    const FrameShape shape = shapeOf(kind);
    const std::uint32_t size = std::min<std::uint32_t>(image.size, static_cast<std::uint32_t>(image.bytes.size()));
    std::vector<std::uint8_t> answer(shape.response);
    std::uint8_t sequence = 0;
    int n = 0;
    for (std::uint32_t offset = 0; offset < size && offset < kImageCapacity;
         offset += static_cast<std::uint32_t>(shape.block)) {
        ++sequence;
        device_.progress = offset;
        const std::size_t take = std::min<std::size_t>(shape.block, size - offset);
        const auto frame = buildBlock(kind, code, sequence, image.start + offset,
                                      std::span<const std::uint8_t>(image.bytes).subspan(offset, take));
        log(formatText("Set Feature. address:0x%X", image.start + offset));
        if (!send(frame, Exchange::Block, n)) return false;
        if (!poll(frame, answer, Exchange::Block, n, policy().blockTimeout)) return false;
        const std::uint8_t st = answer[3];
        if (st != 0) {
            if (st == 0x0C)
                fail(kResultFailed, "File error. MCUTYPE not match.");
            else if (st == 0x0D)
                fail(kResultFailed, "File error. PID not match.");
            else if (st == 0x0E)
                fail(kResultFailed, "File error. VERSION is older.");
            else
                fail(kResultFailed, formatText("Error response:%d at block:%d", st, n));
            dumpBoth("Error response", frame, answer, false);
            return false;
        }
        ++n;
    }
    return true;
}

bool UblSession::checkData(const FirmwareImage& image) {
    const std::int32_t code = isF11() ? kResultImageRange : kResultFailed;
    if (image.start != kImageStart) {
        fail(code, formatText("Data error. Start at 0x%05X.", image.start));
        log(formatText("Data error. Start at 0x%05X", image.start));
        return false;
    }
    // F11 writes up to the end of the flash window; F09 stays below it.
    const bool fits =
        isF11() ? static_cast<std::uint64_t>(image.start) + image.size <= kImageCapacity : image.size < kImageCapacity;
    if (!fits) {
        fail(code, formatText("Data size error. Size is 0x%05X.", image.size));
        log(formatText("Data error. SIZE:0x%05X", image.size));
        return false;
    }
    return true;
}

bool UblSession::erase() {
    log("Set Feature: erase all flash");
    const auto frame = buildCommand(FrameKind::F11, CMD_ERASE, 0x01);
    if (!set(frame)) {
        fail(kResultSet, formatText("SET FEATURE ALL ERASE error (%d)", link_.lastSystemError()));
        logError("SET ERROR");
        return false;
    }
    platform::Clock& clock = link_.clock();
    clock.sleepMs(2000);
    const std::uint64_t begin = clock.monotonicMs();
    std::vector<std::uint8_t> answer(shapeOf(FrameKind::F11).response);
    for (int poll = 1;; ++poll) {
        std::fill(answer.begin(), answer.end(), std::uint8_t{0});
        answer[0] = kResponseReport;
        if (!get(answer)) {
            fail(kResultGet, formatText("GET RESPONSE error after ALL ERASE command (%d)", link_.lastSystemError()));
            logError("GET ERROR");
            return false;
        }
        if (answer[3] != kStatusBusy) break;
        if (poll >= kErasePolls || clock.monotonicMs() - begin >= kErasePollMs) {
            fail(kResultNoAnswer, "TIMEOUT after ALL ERASE command");
            log("ALL ERASE TIMEOUT");
            return false;
        }
    }
    if (answer[3] != 0) {
        fail(kResultFailed, formatText("RESPONSE %d after ALL ERASE command", answer[3]));
        logError("ALL ERASE ERROR");
        return false;
    }
    return true;
}

bool UblSession::canStart(bool devicePresent, bool writeKind, const FirmwareImage* image) {
    const char* refusal = !devicePresent                                     ? "No device."
                          : writeKind && (image == nullptr || !image->valid) ? "No valid hex data."
                                                                             : nullptr;
    if (refusal != nullptr) {
        fail(kResultFailed, refusal);
        log(refusal);
        return false;
    }
    // An image outside the flash window is refused before the controller is touched, so a
    // healthy one is not left waiting in its bootloader.
    return !writeKind || checkData(*image);
}

bool UblSession::inBootloaderMode() {
    std::uint8_t mode = 0;
    const bool ok = command(CMD_MODE, {}, &mode);
    if (ok && mode == kBootloaderMode) return true;
    if (ok) log(formatText("Not UBL mode. MODE:%d", mode));
    return false;
}

bool UblSession::readBootloaderData() {
    const ProtocolPolicy& p = policy();
    for (int t = 1; t <= p.tries; ++t) {
        std::uint8_t mpu = 0, version = 0, security = 0;
        if (command(CMD_MPU_TYPE, {}, &mpu) && command(CMD_UBL_VERSION, {}, &version) &&
            (!p.readsSecurity || command(CMD_SECURITY, {0x00, 0, 0, 0}, &security))) {
            device_.mpuType = mpu;
            device_.ublVersion = version;
            device_.security = security;
            return true;
        }
        device_.result = kResultOk;
        if (t < p.tries) link_.clock().sleepMs(10);
    }
    fail(p.noAnswer, "GetData error.");
    log("GetData error.");
    return false;
}

void UblSession::leaveBootloader() {
    log("Exit UBL.");
    bool sent = false;
    command(CMD_EXIT, {}, nullptr, &sent);
    if (sent) link_.clock().sleepMs(500);
}

void UblSession::closeIfOpen() {
    if (link_.isOpen(isF11() ? kF11Key : kF09Key)) link_.closeUblDevice(device_);
}

void UblSession::finish() {
    closeIfOpen();
    log("Close device.");
    device_.phase = device_.ublVersion > 0x53 ? kPhaseConfirming : kPhaseCompleted;
}

}  // namespace romwrite
