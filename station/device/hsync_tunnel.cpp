#include "station/device/hsync_tunnel.h"

#include <array>

#include "controllerlink/feature_transfer.h"

namespace station {
namespace {

constexpr std::uint8_t kTunnelReport = 0x12;
constexpr std::uint8_t kStateTaken = 0x43;
constexpr std::uint8_t kStateAnswered = 0x83;
constexpr std::uint8_t kReadRequest = 0x80;
constexpr std::uint8_t kAck = 0x06;
constexpr std::uint32_t kSetPauseMs = 5;
// Between polls of the tunnel state: lets the MCU work and the wait limit advance.
constexpr std::uint32_t kPollPauseMs = 1;

using Frame = std::array<std::uint8_t, kHsyncReportLength>;

bool sendFrame(DeviceLink& pen, const Frame& f) {
    if (pen.refuseAborted()) return false;
    if (!controllerlink::setFeature(pen.table(), f.size(), f, controllerlink::PEN_KEY))
        return pen.noteTransferFailure(controllerlink::PEN_KEY), false;
    pen.clock().sleepMs(kSetPauseMs);
    return true;
}

// Reads until the state byte is `state`; Ok, ReadRefused or Timeout.
HsyncStatus waitFor(DeviceLink& pen, std::uint8_t state, Frame& answer, const std::function<void()>& pump) {
    platform::Clock& clock = pen.clock();
    const std::uint64_t start = clock.monotonicMs();
    for (;;) {
        if (pen.refuseAborted()) return HsyncStatus::ReadRefused;
        if (!controllerlink::getFeature(pen.table(), kTunnelReport, answer.size(), answer, controllerlink::PEN_KEY)) {
            pen.noteTransferFailure(controllerlink::PEN_KEY);
            return HsyncStatus::ReadRefused;
        }
        if (answer[1] == state) return HsyncStatus::Ok;
        if (clock.monotonicMs() - start > kHsyncWaitLimitMs) return HsyncStatus::Timeout;
        if (pump) pump();
        clock.sleepMs(kPollPauseMs);
    }
}

}  // namespace

HsyncStatus hsyncRequest(DeviceLink& pen, std::uint16_t command, std::uint16_t& value,
                         const std::function<void()>& pump) {
    Frame f{};
    f[0] = kTunnelReport;
    f[1] = 0x40;
    f[2] = 0x01;
    f[3] = 0x03;
    f[4] = 0x51;
    f[5] = static_cast<std::uint8_t>(command & 0xFF);
    f[6] = static_cast<std::uint8_t>(command >> 8);
    f[7] = static_cast<std::uint8_t>(0u - (f[3] + f[4] + f[5] + f[6]));
    f[8] = 0x03;
    if (!sendFrame(pen, f)) return HsyncStatus::SendRefused;

    Frame a{};
    if (HsyncStatus s = waitFor(pen, kStateTaken, a, pump); s != HsyncStatus::Ok) return s;
    a[1] = kReadRequest;
    if (!sendFrame(pen, a)) return HsyncStatus::SendRefused;
    if (HsyncStatus s = waitFor(pen, kStateAnswered, a, pump); s != HsyncStatus::Ok) return s;
    if (a[4] != kAck) return HsyncStatus::NotAcknowledged;

    a[1] = kReadRequest;
    if (!sendFrame(pen, a)) return HsyncStatus::SendRefused;
    if (HsyncStatus s = waitFor(pen, kStateAnswered, a, pump); s != HsyncStatus::Ok) return s;
    value = static_cast<std::uint16_t>(a[4] | (a[5] << 8));
    return value == kHsyncOldFirmwareValue ? HsyncStatus::OldFirmware : HsyncStatus::Ok;
}

HsyncStatus hsyncRequestWithRetries(DeviceLink& pen, std::uint16_t command, std::uint16_t& value,
                                    const std::function<void()>& pump) {
    HsyncStatus s = HsyncStatus::Ok;
    for (int attempt = 0; attempt < 3; ++attempt) {
        s = hsyncRequest(pen, command, value, pump);
        if (s == HsyncStatus::Ok) break;
    }
    return s;
}

const char* hsyncFailureText(HsyncStatus status) {
    switch (status) {
        case HsyncStatus::Ok:
            return "---";
        case HsyncStatus::SendRefused:
        case HsyncStatus::ReadRefused:
            return "COM ERR";
        case HsyncStatus::NotAcknowledged:
            return "STS ERR";
        case HsyncStatus::Timeout:
            return "T/O ERR";
        case HsyncStatus::OldFirmware:
            return "OLD FW";
    }
    return "---";
}

}  // namespace station
