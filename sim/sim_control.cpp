#include "sim/sim_control.h"

#include "platform/clock.h"

namespace sim {

using namespace hidlink::simwire;

SimControl::SimControl(std::string socketPath, int timeoutMs)
    : SimControl(std::move(socketPath), timeoutMs, platform::systemClock()) {}

SimControl::SimControl(std::string socketPath, int timeoutMs, platform::Clock& clock)
    : channel_(std::move(socketPath), clock, timeoutMs) {}

bool SimControl::connect() { return channel_.connect(error_); }

bool SimControl::request(const Message& m, Message& answer) {
    if (!channel_.connected() && !channel_.connect(error_)) return false;
    return channel_.call(m, answer, 0, error_);
}

bool SimControl::list(std::vector<DeviceState>& out) {
    Message answer;
    if (!request(ListDevices{}, answer)) return false;
    auto* l = std::get_if<DeviceList>(&answer);
    if (l == nullptr) return error_ = "unexpected answer from the simulator to a device list", false;
    out = std::move(l->devices);
    return true;
}

bool SimControl::unplug(std::uint32_t deviceId) {
    Message answer;
    return request(Unplug{deviceId}, answer);
}

bool SimControl::replug(std::uint32_t deviceId) {
    Message answer;
    return request(Replug{deviceId}, answer);
}

bool SimControl::setFaults(std::uint32_t deviceId, std::uint32_t latencyMs, std::uint64_t refuseNth, bool refuseAll) {
    Message answer;
    return request(SetFaults{deviceId, latencyMs, refuseNth, refuseAll}, answer);
}

bool SimControl::pushInput(std::uint32_t deviceId, std::uint32_t iface, std::vector<std::uint8_t> report) {
    Message answer;
    return request(PushInput{deviceId, iface, std::move(report)}, answer);
}

bool SimControl::readFlash(std::uint32_t deviceId, FlashReply& out) {
    Message answer;
    if (!request(ReadFlash{deviceId}, answer)) return false;
    auto* f = std::get_if<FlashReply>(&answer);
    if (f == nullptr) return error_ = "unexpected answer from the simulator to a flash read", false;
    out = std::move(*f);
    return true;
}

bool SimControl::programHsync(std::uint32_t deviceId, std::uint16_t version, std::uint32_t& exitCode) {
    Message answer;
    if (!request(ProgramHsync{deviceId, version}, answer)) return false;
    auto* p = std::get_if<HsyncProgrammed>(&answer);
    if (p == nullptr) return error_ = "unexpected answer from the simulator to an Hsync MCU programming", false;
    exitCode = p->exitCode;
    return true;
}

}  // namespace sim
