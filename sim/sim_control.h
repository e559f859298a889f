#pragma once
// The control channel of a running vorlick-sim: list its devices, pull them off the bus and put
// them back, set transport faults, inject input reports, read a controller's program flash. Used by `vorlick-sim ctl`
// and tests.
#include <cstdint>
#include <string>
#include <vector>

#include "hidlink/sim_protocol.h"

namespace platform {
class Clock;
}

namespace sim {

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
    const std::string& error() const { return error_; }

private:
    bool request(const hidlink::simwire::Message& m, hidlink::simwire::Message& answer);
    hidlink::simwire::Channel channel_;
    std::string error_;
};

}  // namespace sim
