#include "sim/sim_control.h"

#include <sys/socket.h>

#include <cerrno>

#include "platform/clock.h"

namespace sim {

using namespace hidlink::simwire;

namespace ctlwire {

std::vector<std::uint8_t> encodeOperate(const Operate& m) {
    std::vector<std::uint8_t> f;
    auto u32 = [&](std::uint32_t v) {
        for (int i = 0; i < 4; ++i) f.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    };
    const std::size_t text = std::min<std::size_t>(m.actions.size(), kMaxText);
    u32(static_cast<std::uint32_t>(1 + 4 + 4 + text));
    f.push_back(kOperate);
    u32(m.deviceId);
    u32(static_cast<std::uint32_t>(text));
    f.insert(f.end(), m.actions.begin(), m.actions.begin() + static_cast<std::ptrdiff_t>(text));
    return f;
}

std::optional<Operate> decodeOperate(std::span<const std::uint8_t> body) {
    if (body.size() < 9 || body[0] != kOperate) return std::nullopt;
    auto u32 = [&](std::size_t at) {
        return static_cast<std::uint32_t>(body[at] | body[at + 1] << 8 | body[at + 2] << 16 |
                                          static_cast<std::uint32_t>(body[at + 3]) << 24);
    };
    const std::uint32_t text = u32(5);
    if (text > kMaxText || body.size() != 9 + static_cast<std::size_t>(text)) return std::nullopt;
    return Operate{u32(1), std::string(body.begin() + 9, body.end())};
}

}  // namespace ctlwire

SimControl::SimControl(std::string socketPath, int timeoutMs)
    : SimControl(std::move(socketPath), timeoutMs, platform::systemClock()) {}

SimControl::SimControl(std::string socketPath, int timeoutMs, platform::Clock& clock)
    : channel_(std::move(socketPath), clock, timeoutMs), clock_(clock), timeoutMs_(timeoutMs) {}

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

bool SimControl::operate(std::uint32_t deviceId, std::string_view actions) {
    if (actions.size() > kMaxText)
        return error_ = "the actions are longer than " + std::to_string(kMaxText) + " bytes", false;
    if (!channel_.connected() && !channel_.connect(error_)) return false;
    const auto frame = ctlwire::encodeOperate({deviceId, std::string(actions)});
    std::size_t sent = 0;
    while (sent < frame.size()) {
        const ssize_t n = ::send(channel_.fd(), frame.data() + sent, frame.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            channel_.drop();
            return error_ = "the simulator went away", false;
        }
        sent += static_cast<std::size_t>(n);
    }
    Message answer;
    const IoStatus s =
        recvMessage(channel_.fd(), answer, clock_, clock_.monotonicMs() + static_cast<std::uint64_t>(timeoutMs_));
    const auto* st = std::get_if<Status>(&answer);
    if (s != IoStatus::Ok || st == nullptr) {
        channel_.drop();
        return error_ = s != IoStatus::Ok ? std::string("no answer from the simulator: ") + ioStatusText(s)
                                          : "unexpected answer from the simulator to an operator action",
               false;
    }
    if (!st->ok) return error_ = st->error, false;
    return true;
}

}  // namespace sim
