#pragma once
// The control channel of a running vorlick-sim: list its devices, pull them off the bus and put
// them back, set transport faults, inject input reports, read a controller's program flash, let
// a controller's operator act. Used by `vorlick-sim ctl` and tests.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "hidlink/sim_protocol.h"

namespace platform {
class Clock;
}

namespace sim {

// The control channel's own request, beside the shared messages: `Operate` (opcode 0x16,
// `u32 device`, `text actions`), answered by a Status. The server takes it before the shared
// decoder sees the frame.
namespace ctlwire {
inline constexpr std::uint8_t kOperate = 0x16;
struct Operate {
    std::uint32_t deviceId = 0;
    std::string actions;
};
// The whole frame, length prefix first.
std::vector<std::uint8_t> encodeOperate(const Operate& m);
// One body (without its prefix); nothing for a wrong opcode, a short or long body or a text
// above the shared text limit.
std::optional<Operate> decodeOperate(std::span<const std::uint8_t> body);
}  // namespace ctlwire

class SimControl {
public:
    explicit SimControl(std::string socketPath, int timeoutMs = 5000);
    SimControl(std::string socketPath, int timeoutMs, platform::Clock& clock);

    // Every call returns false with one line in error() when the simulator refuses or is gone.
    bool connect();
    bool list(std::vector<hidlink::simwire::DeviceState>& out);
    bool unplug(std::uint32_t deviceId);
    bool replug(std::uint32_t deviceId);
    bool setFaults(std::uint32_t deviceId, std::uint32_t latencyMs, std::uint64_t refuseNth, bool refuseAll);
    bool pushInput(std::uint32_t deviceId, std::uint32_t iface, std::vector<std::uint8_t> report);
    bool readFlash(std::uint32_t deviceId, hidlink::simwire::FlashReply& out);
    // The Hsync MCU programmed to `version`; `exitCode` is what the programming ended with.
    bool programHsync(std::uint32_t deviceId, std::uint16_t version, std::uint32_t& exitCode);
    // The device's operator performs `actions` (the operator syntax of examples/sim/operator.md).
    bool operate(std::uint32_t deviceId, std::string_view actions);
    const std::string& error() const { return error_; }

private:
    bool request(const hidlink::simwire::Message& m, hidlink::simwire::Message& answer);
    hidlink::simwire::Channel channel_;
    platform::Clock& clock_;
    int timeoutMs_;
    std::string error_;
};

}  // namespace sim
