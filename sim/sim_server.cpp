#include "sim/sim_server.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>

#include "hidlink/device_lock.h"
#include "hidlink/sim_protocol.h"
#include "platform/clock.h"
#include "sim/controller_device.h"
#include "sim/operator_script.h"
#include "sim/sim_control.h"

namespace sim {
namespace {

using namespace hidlink::simwire;

// A client that does not take its answer within this time is dropped.
constexpr std::uint64_t kSendTimeoutMs = 5000;
// How long a socket turned away stays open for its client to read why, and how many may wait.
constexpr std::uint64_t kTurnAwayLingerMs = 1000;
constexpr std::size_t kMaxTurnedAway = 64;
// A blocked input read looks at its socket this often, so a vanished client frees its reader.
constexpr int kReadSliceMs = 200;
// A hotplug feed looks at its socket (and at the server stopping) this often.
constexpr int kWatchSliceMs = 100;

Status fail(std::string text) { return Status{false, std::move(text)}; }

// Waits without a deadline until the client sends something or hangs up (stop() shuts the
// socket down, which ends the wait too). False on an error of the socket itself.
bool waitForMessageStart(int fd) {
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        const int rc = ::poll(&p, 1, -1);
        if (rc > 0) return (p.revents & POLLNVAL) == 0;
        if (rc < 0 && errno != EINTR) return false;
    }
}

// The control channel's Operate request is not a message the shared decoder knows: the server
// looks at the opcode of the next frame before that decoder reads it.
enum class Next : std::uint8_t { Shared, Operate, Closed };
Next peekNext(int fd, platform::Clock& clock, std::uint64_t deadlineMs) {
    std::uint8_t head[5];
    for (;;) {
        const ssize_t n = ::recv(fd, head, sizeof head, MSG_PEEK | MSG_DONTWAIT);
        if (n == static_cast<ssize_t>(sizeof head)) return head[4] == ctlwire::kOperate ? Next::Operate : Next::Shared;
        if (n == 0) return Next::Closed;
        // A length no frame may have: the shared reader says so at once.
        if (n == 4 && !bodyLength(std::span<const std::uint8_t, 4>(head, 4))) return Next::Shared;
        // A socket error, or a frame whose head is late: the shared reader reports either.
        if ((n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) || clock.monotonicMs() >= deadlineMs)
            return Next::Shared;
        clock.sleepMs(1);
    }
}

// Exactly `out.size()` bytes by the deadline.
bool readExact(int fd, std::span<std::uint8_t> out, platform::Clock& clock, std::uint64_t deadlineMs) {
    std::size_t got = 0;
    while (got < out.size()) {
        const std::uint64_t now = clock.monotonicMs();
        if (now >= deadlineMs) return false;
        pollfd p{fd, POLLIN, 0};
        const int rc = ::poll(&p, 1, static_cast<int>(std::min<std::uint64_t>(deadlineMs - now, 1000)));
        if (rc < 0 && errno != EINTR) return false;
        if (rc <= 0) continue;
        const ssize_t n = ::recv(fd, out.data() + got, out.size() - got, 0);
        if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN)) return false;
        if (n > 0) got += static_cast<std::size_t>(n);
    }
    return true;
}

// The Operate frame's body, its length checked before anything is read into it.
std::optional<ctlwire::Operate> readOperate(int fd, platform::Clock& clock, std::uint64_t deadlineMs) {
    std::uint8_t prefix[4];
    if (!readExact(fd, prefix, clock, deadlineMs)) return std::nullopt;
    const std::uint32_t length = static_cast<std::uint32_t>(prefix[0] | prefix[1] << 8 | prefix[2] << 16 |
                                                            static_cast<std::uint32_t>(prefix[3]) << 24);
    if (length < 9 || length > 9 + kMaxText) return std::nullopt;
    std::vector<std::uint8_t> body(length);
    if (!readExact(fd, body, clock, deadlineMs)) return std::nullopt;
    return ctlwire::decodeOperate(body);
}

bool peerGone(int fd) {
    pollfd p{fd, POLLRDHUP, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR | POLLNVAL)) != 0;
}

// What one client socket holds: at most one open collection.
class Handler {
public:
    Handler(VirtualBus& bus, platform::Clock& clock, int fd, std::atomic<int>& reader)
        : bus_(bus), clock_(clock), fd_(fd), reader_(reader) {}
    ~Handler() { release(); }

    Message handle(const Message& m) {
        return std::visit([this](const auto& req) { return on(req); }, m);
    }

    // The control channel's own request (see ctlwire::Operate).
    Message operate(const ctlwire::Operate& m) {
        auto dev = known(m.deviceId);
        if (!dev) return noDevice(m.deviceId);
        auto controller = std::dynamic_pointer_cast<ControllerDevice>(dev);
        if (!controller) return fail("device " + std::to_string(m.deviceId) + " has no operator (not a controller)");
        if (!bus_.present(static_cast<int>(m.deviceId)))
            return fail("device " + std::to_string(m.deviceId) + " is not on the bus");
        ActionList actions;
        std::string why;
        if (!parseActions(m.actions, actions, why)) return fail("operator: " + why);
        controller->operate(actions);
        return Status{};
    }

    // Set once the client asked for the hotplug feed: the bus's change count it starts from.
    std::optional<std::uint64_t> watchingFrom() const { return watchFrom_; }

private:
    struct Opened {
        int deviceId = 0;
        std::uint64_t generation = 0;
        std::size_t iface = 0;
        std::uint32_t featureLength = 0;
        std::uint64_t ownerId = 0;
    };

    void release() {
        if (const int r = reader_.exchange(0); r != 0) bus_.closeReader(r);
        if (opened_) bus_.release(opened_->deviceId, opened_->ownerId);
        opened_.reset();
    }

    Message on(const Hello&) { return HelloReply{kProtocolVersion}; }

    // Descriptors go out as the devices gave them; the client parses and skips as a host does.
    Message on(const Enumerate&) {
        EnumerateReply reply;
        std::size_t bytes = 64;
        for (auto& i : bus_.interfaces()) {
            if (i.descriptor.size() > hidlink::kMaxDescriptorBytes) continue;
            bytes += 32 + i.descriptor.size();
            if (bytes > kMaxBodyBytes || reply.interfaces.size() >= kMaxListEntries) break;
            reply.interfaces.push_back({static_cast<std::uint32_t>(i.deviceId), static_cast<std::uint32_t>(i.iface),
                                        i.usb.vendorId, i.usb.productId, i.usb.version, std::move(i.descriptor)});
        }
        return reply;
    }

    Message on(const Open& m) {
        if (opened_) return fail("this connection already has a collection open");
        for (const auto& c : bus_.enumerate()) {
            if (static_cast<std::uint32_t>(c.deviceId) != m.deviceId || c.iface != m.iface ||
                c.desc.collectionIndex != m.collectionIndex)
                continue;
            if (const std::string why = bus_.openRefused(c.deviceId); !why.empty())
                return fail("cannot open " + c.desc.path + ": " + why);
            // The device is held by the program, not by this socket: its other sockets share it.
            std::string holder;
            if (!bus_.claim(c.deviceId, {m.ownerId, m.owner}, holder))
                return fail(hidlink::inUseText(c.desc.path, holder));
            if (m.mode == hidlink::OpenMode::ReadOnly) {
                const auto r = bus_.openReader(c.deviceId, c.generation, c.iface);
                if (!r) {
                    bus_.release(c.deviceId, m.ownerId);
                    return fail("the device left the bus");
                }
                reader_ = *r;
            }
            if (m.mode == hidlink::OpenMode::Feature) bus_.noteOpened(c.deviceId, c.generation, c.iface);
            opened_ = Opened{c.deviceId, c.generation, c.iface, c.desc.caps.featureReportLength, m.ownerId};
            return Status{};
        }
        return fail("no collection " + std::to_string(m.collectionIndex) + " on " + interfacePath(m.deviceId, m.iface) +
                    " (unplugged?)");
    }

    // Device models may rely on the lengths their descriptor declares: hold requests to them.
    std::optional<Status> checkFeature(std::size_t length) const {
        if (!opened_) return fail("no collection is open on this connection");
        if (length > opened_->featureLength)
            return fail("feature report of " + std::to_string(length) + " bytes, the collection's longest is " +
                        std::to_string(opened_->featureLength));
        return std::nullopt;
    }

    Message on(const GetFeature& m) {
        if (auto bad = checkFeature(m.report.size())) return *bad;
        std::vector<std::uint8_t> report = m.report;
        const long n = bus_.getFeature(opened_->deviceId, opened_->generation, opened_->iface, report);
        FeatureReply reply;
        reply.result = static_cast<std::int32_t>(std::clamp<long>(n, -1, static_cast<long>(report.size())));
        if (reply.result > 0)
            report.resize(static_cast<std::size_t>(reply.result));
        else
            report.clear();
        reply.report = std::move(report);
        return reply;
    }

    Message on(const SetFeature& m) {
        if (auto bad = checkFeature(m.report.size())) return *bad;
        if (!bus_.setFeature(opened_->deviceId, opened_->generation, opened_->iface, m.report))
            return fail("the device refused the set feature");
        return Status{};
    }

    Message on(const ReadInput& m) {
        const int reader = reader_.load();
        if (!opened_ || reader == 0) return fail("no collection is open for reading on this connection");
        std::vector<std::uint8_t> buffer(m.maxLength);
        const std::uint64_t end = clock_.monotonicMs() + std::min(m.timeoutMs, kMaxReadWaitMs);
        for (;;) {
            const std::uint64_t now = clock_.monotonicMs();
            const int slice = static_cast<int>(std::min<std::uint64_t>(end > now ? end - now : 0, kReadSliceMs));
            const hidlink::ReadResult r = bus_.readInput(reader, buffer, slice);
            if (r.status == hidlink::ReadStatus::Timeout && clock_.monotonicMs() < end) {
                if (peerGone(fd_)) return InputReply{hidlink::ReadStatus::Disconnected, {}};
                continue;
            }
            buffer.resize(r.status == hidlink::ReadStatus::Ok ? r.length : 0);
            return InputReply{r.status, std::move(buffer)};
        }
    }

    Message on(const Close&) {
        release();
        return Status{};
    }

    // Counted before the answer goes out: a change after the client's subscription is never lost.
    Message on(const Watch&) {
        if (opened_) return fail("this connection has a collection open; watch on a connection of its own");
        watchFrom_ = bus_.changeCount();
        return Status{};
    }

    Message on(const ListDevices&) {
        DeviceList list;
        for (const int id : bus_.deviceIds()) {
            auto dev = bus_.device(id);
            if (!dev) continue;
            const UsbIdentity usb = dev->usbIdentity();
            const TransportFaults f = bus_.faults(id);
            list.devices.push_back({static_cast<std::uint32_t>(id), usb.vendorId, usb.productId, usb.version,
                                    static_cast<std::uint32_t>(dev->interfaceCount()), bus_.present(id), f.latencyMs,
                                    f.refuseNth, f.refuseAll});
            if (list.devices.size() >= kMaxListEntries) break;
        }
        return list;
    }

    std::shared_ptr<VirtualDevice> known(std::uint32_t id) {
        return id > static_cast<std::uint32_t>(INT32_MAX) ? nullptr : bus_.device(static_cast<int>(id));
    }
    static Status noDevice(std::uint32_t id) { return fail("no simulated device " + std::to_string(id)); }

    Message on(const Unplug& m) {
        if (!known(m.deviceId)) return noDevice(m.deviceId);
        bus_.unplug(static_cast<int>(m.deviceId));
        return Status{};
    }

    Message on(const Replug& m) {
        if (!known(m.deviceId)) return noDevice(m.deviceId);
        bus_.replug(static_cast<int>(m.deviceId));
        return Status{};
    }

    Message on(const SetFaults& m) {
        if (!known(m.deviceId)) return noDevice(m.deviceId);
        if (m.latencyMs > kMaxLatencyMs)
            return fail("latency " + std::to_string(m.latencyMs) + " ms is above " + std::to_string(kMaxLatencyMs));
        bus_.setFaults(static_cast<int>(m.deviceId), TransportFaults{m.latencyMs, m.refuseNth, m.refuseAll});
        return Status{};
    }

    Message on(const PushInput& m) {
        auto dev = known(m.deviceId);
        if (!dev) return noDevice(m.deviceId);
        if (m.iface >= dev->interfaceCount())
            return fail("device " + std::to_string(m.deviceId) + " has no interface " + std::to_string(m.iface));
        if (!bus_.present(static_cast<int>(m.deviceId)))
            return fail("device " + std::to_string(m.deviceId) + " is not on the bus");
        bus_.postInput(*dev, m.iface, m.report);
        return Status{};
    }

    Message on(const ReadFlash& m) {
        auto dev = known(m.deviceId);
        if (!dev) return noDevice(m.deviceId);
        auto flash = dev->flash();
        if (!flash) return fail("device " + std::to_string(m.deviceId) + " has no program flash");
        return FlashReply{flash->base, flash->extent, std::move(flash->bytes)};
    }

    Message on(const ProgramHsync& m) {
        auto dev = known(m.deviceId);
        if (!dev) return noDevice(m.deviceId);
        if (!bus_.present(static_cast<int>(m.deviceId)))
            return fail("device " + std::to_string(m.deviceId) + " is not on the bus");
        const auto exit = dev->programHsync(m.version);
        if (!exit) return fail("device " + std::to_string(m.deviceId) + " has no Hsync MCU");
        return HsyncProgrammed{*exit};
    }

    // Answers are what we send, never what we accept.
    template <class Answer>
    Message on(const Answer&) {
        return fail("that message is an answer, not a request");
    }

    VirtualBus& bus_;
    platform::Clock& clock_;
    int fd_;
    std::atomic<int>& reader_;
    std::optional<Opened> opened_;
    std::optional<std::uint64_t> watchFrom_;
};

}  // namespace

SimServer::SimServer(VirtualBus& bus) : SimServer(bus, platform::systemClock()) {}

SimServer::SimServer(VirtualBus& bus, platform::Clock& clock, SimServerLimits limits)
    : bus_(bus), clock_(clock), limits_(limits) {}

SimServer::~SimServer() { stop(); }

bool SimServer::start(const std::string& socketPath, std::string& error) {
    if (listenFd_ >= 0) {
        error = "the simulator already serves " + path_;
        return false;
    }
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (socketPath.empty() || socketPath.size() >= sizeof addr.sun_path) {
        error = "socket path '" + socketPath + "' is empty or longer than " + std::to_string(sizeof addr.sun_path - 1) +
                " bytes";
        return false;
    }
    struct stat st {};
    if (::lstat(socketPath.c_str(), &st) == 0) {
        if (!S_ISSOCK(st.st_mode)) {
            error = socketPath + " exists and is not a socket; not replacing it";
            return false;
        }
        std::string ignored;
        const int probe = connectUnixSocket(socketPath, ignored);
        if (probe >= 0) {
            ::close(probe);
            error = "another simulator already serves " + socketPath;
            return false;
        }
        ::unlink(socketPath.c_str());  // left behind by a simulator that was killed
    }
    std::memcpy(addr.sun_path, socketPath.data(), socketPath.size());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || ::bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 64) != 0) {
        error = "cannot listen at " + socketPath + ": " + std::strerror(errno);
        if (fd >= 0) ::close(fd);
        return false;
    }
    if (::pipe2(wakeFds_, O_CLOEXEC) != 0) {
        error = std::string("cannot create a pipe: ") + std::strerror(errno);
        ::close(fd);
        ::unlink(socketPath.c_str());
        return false;
    }
    listenFd_ = fd;
    path_ = socketPath;
    stopping_ = false;
    acceptThread_ = std::thread([this] { acceptLoop(); });
    return true;
}

void SimServer::stop() {
    if (listenFd_ < 0) return;
    stopping_ = true;
    const char byte = 1;
    (void)!::write(wakeFds_[1], &byte, 1);
    if (acceptThread_.joinable()) acceptThread_.join();
    closeTurnedAway(true);
    {
        std::lock_guard lock(mutex_);
        for (auto& s : sessions_) {
            ::shutdown(s->fd, SHUT_RDWR);
            if (const int r = s->reader.load(); r != 0) bus_.closeReader(r);  // wakes a blocked read
        }
        reapLocked(true);
    }
    ::close(listenFd_);
    ::close(wakeFds_[0]);
    ::close(wakeFds_[1]);
    listenFd_ = wakeFds_[0] = wakeFds_[1] = -1;
    ::unlink(path_.c_str());
}

std::size_t SimServer::openReaders() const {
    std::lock_guard lock(mutex_);
    return static_cast<std::size_t>(
        std::count_if(sessions_.begin(), sessions_.end(), [](const auto& s) { return s->reader.load() != 0; }));
}

void SimServer::reapLocked(bool all) {
    for (auto it = sessions_.begin(); it != sessions_.end();) {
        Session& s = **it;
        if (!all && !s.done.load()) {
            ++it;
            continue;
        }
        if (s.thread.joinable()) s.thread.join();
        ::close(s.fd);
        it = sessions_.erase(it);
    }
}

void SimServer::turnAway(int fd) {
    // A runaway client must not cost a thread per socket; the one turned away learns why.
    const std::string why =
        "the simulator serves " + std::to_string(limits_.maxClients) + " connections at most and all are in use";
    (void)sendMessage(fd, Status{false, why}, clock_, clock_.monotonicMs() + 100);
    ::shutdown(fd, SHUT_WR);
    if (turnedAway_.size() >= kMaxTurnedAway) {
        ::close(turnedAway_.front().fd);
        turnedAway_.pop_front();
    }
    turnedAway_.push_back({fd, clock_.monotonicMs() + kTurnAwayLingerMs});
}

void SimServer::closeTurnedAway(bool all) {
    const std::uint64_t now = clock_.monotonicMs();
    while (!turnedAway_.empty() && (all || turnedAway_.front().closeAtMs <= now)) {
        ::close(turnedAway_.front().fd);
        turnedAway_.pop_front();
    }
}

void SimServer::acceptLoop() {
    while (!stopping_) {
        pollfd p[2] = {{listenFd_, POLLIN, 0}, {wakeFds_[0], POLLIN, 0}};
        // Wake now and then to join the threads of clients that left.
        const int rc = ::poll(p, 2, turnedAway_.empty() ? 1000 : 100);
        {
            std::lock_guard lock(mutex_);
            reapLocked(false);
        }
        closeTurnedAway(false);
        if (rc < 0 && errno != EINTR) break;
        if (stopping_ || (p[1].revents & POLLIN) != 0) break;
        if ((p[0].revents & POLLIN) == 0) continue;
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        std::lock_guard lock(mutex_);
        if (sessions_.size() >= limits_.maxClients) {
            turnAway(fd);
            continue;
        }
        auto session = std::make_unique<Session>();
        session->fd = fd;
        Session* raw = session.get();
        sessions_.push_back(std::move(session));
        raw->thread = std::thread([this, raw] { serve(*raw); });
    }
}

void SimServer::feedChanges(int fd, std::uint64_t seen) {
    // The socket only sends from now on; whatever the client writes is left unread.
    while (!stopping_ && !peerGone(fd)) {
        const std::uint64_t now = bus_.waitForChange(seen, kWatchSliceMs);
        if (now == seen) continue;
        seen = now;
        // A client that does not take its events within the send timeout is dropped, as any other.
        if (sendMessage(fd, BusChanged{now}, clock_, clock_.monotonicMs() + kSendTimeoutMs) != IoStatus::Ok) return;
    }
}

void SimServer::serve(Session& session) {
    {
        Handler handler(bus_, clock_, session.fd, session.reader);
        while (!stopping_) {
            Message request;
            std::string reason;
            if (!waitForMessageStart(session.fd)) break;
            const std::uint64_t deadline = clock_.monotonicMs() + limits_.messageDeadlineMs;
            const Next next = peekNext(session.fd, clock_, deadline);
            if (next == Next::Closed) break;
            if (next == Next::Operate) {
                const auto m = readOperate(session.fd, clock_, deadline);
                const Message answer =
                    m ? handler.operate(*m) : Status{false, "malformed message: a bad Operate request"};
                if (sendMessage(session.fd, answer, clock_, clock_.monotonicMs() + kSendTimeoutMs) != IoStatus::Ok ||
                    !m)
                    break;
                continue;
            }
            const IoStatus s =
                recvMessage(session.fd, request, clock_, clock_.monotonicMs() + limits_.messageDeadlineMs, &reason);
            if (s == IoStatus::Timeout) {
                (void)sendMessage(session.fd,
                                  Status{false, "the rest of the message did not come within " +
                                                    std::to_string(limits_.messageDeadlineMs) + " ms"},
                                  clock_, clock_.monotonicMs() + kSendTimeoutMs);
                break;
            }
            if (s == IoStatus::BadMessage) {
                // The stream cannot be trusted after a bad frame: say why, then hang up.
                (void)sendMessage(session.fd, Status{false, "malformed message: " + reason}, clock_,
                                  clock_.monotonicMs() + kSendTimeoutMs);
                break;
            }
            if (s != IoStatus::Ok) break;
            const Message answer = handler.handle(request);
            if (sendMessage(session.fd, answer, clock_, clock_.monotonicMs() + kSendTimeoutMs) != IoStatus::Ok) break;
            if (const auto from = handler.watchingFrom()) {
                feedChanges(session.fd, *from);
                break;
            }
        }
    }  // the handler releases the client's reader
    ::shutdown(session.fd, SHUT_RDWR);
    session.done = true;
}

}  // namespace sim
