#include "hidlink/socket_backend.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <mutex>

#include "hidlink/device_lock.h"
#include "hidlink/sim_protocol.h"
#include "platform/clock.h"

namespace hidlink {
namespace {

using namespace simwire;

std::string unexpected(const char* what) { return std::string("unexpected answer from the simulator to ") + what; }

class SocketConnection final : public Connection {
public:
    SocketConnection(CollectionDesc desc, std::unique_ptr<Channel> channel)
        : Connection(std::move(desc)),
          channel_(std::move(channel)),
          wake_(::fcntl(channel_->fd(), F_DUPFD_CLOEXEC, 0)) {}
    ~SocketConnection() override {
        doClose();
        if (wake_ >= 0) ::close(wake_);
    }

protected:
    long doGetFeature(std::span<std::uint8_t> report) override {
        Message answer;
        std::string error;
        if (!channel_->call(GetFeature{{report.begin(), report.end()}}, answer, 0, error)) return fail(error), -1;
        const auto* reply = std::get_if<FeatureReply>(&answer);
        if (reply == nullptr) return fail(unexpected("a get feature")), -1;
        if (reply->result <= 0) return fail("the device refused the get feature " + std::to_string(report[0])), -1;
        const std::size_t n = std::min({reply->report.size(), report.size(), static_cast<std::size_t>(reply->result)});
        std::copy_n(reply->report.begin(), n, report.begin());
        return static_cast<long>(n);
    }

    bool doSetFeature(std::span<const std::uint8_t> report) override {
        Message answer;
        std::string error;
        if (!channel_->call(SetFeature{{report.begin(), report.end()}}, answer, 0, error)) return fail(error), false;
        if (!std::holds_alternative<Status>(answer)) return fail(unexpected("a set feature")), false;
        return true;
    }

    ReadResult doReadInput(std::span<std::uint8_t> buffer, int timeoutMs) override {
        platform::Clock& clock = channel_->clock();
        const std::uint64_t end = clock.monotonicMs() + static_cast<std::uint64_t>(std::max(timeoutMs, 0));
        const auto maxLength = static_cast<std::uint32_t>(std::min<std::size_t>(buffer.size(), kMaxWireReport));
        for (;;) {
            const std::uint64_t now = clock.monotonicMs();
            const auto wait =
                static_cast<std::uint32_t>(std::min<std::uint64_t>(end > now ? end - now : 0, kMaxReadWaitMs));
            Message answer;
            std::string error;
            if (!channel_->call(ReadInput{wait, maxLength}, answer, wait, error)) {
                fail(error);
                // A refusal (no reader) is an error; a lost simulator is a disconnect.
                return {channel_->connected() ? ReadStatus::Error : ReadStatus::Disconnected, 0};
            }
            const auto* reply = std::get_if<InputReply>(&answer);
            if (reply == nullptr) return fail(unexpected("an input read")), ReadResult{ReadStatus::Error, 0};
            if (reply->status == ReadStatus::Disconnected) fail("the simulator reports the collection gone");
            if (reply->status == ReadStatus::Timeout && clock.monotonicMs() < end) continue;
            const std::size_t n = std::min(reply->report.size(), buffer.size());
            std::copy_n(reply->report.begin(), n, buffer.begin());
            return {reply->status, reply->status == ReadStatus::Ok ? n : 0};
        }
    }

    void doClose() override {
        if (!channel_->connected()) return;
        // Wait for the simulator's answer: the controller must be free for the next program
        // (romwrite after the station) the moment close returns, as a closed hidraw node is.
        Message answer;
        std::string error;
        channel_->call(Close{}, answer, 0, error);
        channel_->drop();
    }

    // Shutting the socket down ends the read's wait; the channel may drop its own descriptor
    // meanwhile, so this goes through a duplicate that lives as long as the connection.
    void doCancelRead() override {
        if (wake_ >= 0) ::shutdown(wake_, SHUT_RDWR);
    }

private:
    // The simulator's reason, behind the collection it concerns.
    void fail(const std::string& reason) { setLastError(desc().path + ": " + reason); }

    std::unique_ptr<Channel> channel_;
    int wake_;
};

// The simulator's hotplug feed on a socket of its own: one BusChanged per change of its bus.
class SocketChangeMonitor final : public ChangeMonitor {
public:
    SocketChangeMonitor(const std::string& path, platform::Clock& clock, int timeoutMs)
        : channel_(path, clock, timeoutMs) {}

    // Connected, and the simulator confirmed the feed. A simulator without one refuses.
    bool subscribe(std::string& error) {
        Message answer;
        if (!channel_.connect(error)) return false;
        if (!channel_.call(Watch{}, answer, 0, error) || !std::holds_alternative<Status>(answer)) {
            channel_.drop();
            return false;
        }
        return true;
    }

    bool changed() override {
        if (!channel_.connected()) {
            // The simulator went away or was restarted: listen anew. Until then nobody can tell.
            std::string ignored;
            subscribe(ignored);
            return true;
        }
        bool event = false;
        for (;;) {
            pollfd p{channel_.fd(), POLLIN, 0};
            const int rc = ::poll(&p, 1, 0);
            if (rc < 0 && errno == EINTR) continue;
            if (rc == 0) return event;
            if (rc < 0) break;
            // The simulator sends whole messages: what has begun to arrive ends within the call timeout.
            Message m;
            platform::Clock& clock = channel_.clock();
            if (recvMessage(channel_.fd(), m, clock, clock.monotonicMs() + kSimCallTimeoutMs) != IoStatus::Ok ||
                !std::holds_alternative<BusChanged>(m))
                break;
            event = true;
        }
        channel_.drop();  // a hang-up or a stream out of step: the next call listens anew
        return true;
    }

private:
    Channel channel_;
};

class SocketBackend final : public Backend {
public:
    SocketBackend(std::string path, platform::Clock& clock, int timeoutMs)
        : path_(std::move(path)), clock_(clock), timeoutMs_(timeoutMs), control_(path_, clock, timeoutMs) {}

    bool connect(std::string& error) { return control_.connect(error); }

    bool enumerate(std::vector<CollectionDesc>& out, std::size_t limit) override {
        std::lock_guard lock(mutex_);
        std::string error;
        // A simulator that was restarted is found again on the next enumeration.
        if (!control_.connected() && !control_.connect(error)) return setLastError(error), false;
        Message answer;
        if (!control_.call(Enumerate{}, answer, 0, error)) return setLastError(error), false;
        const auto* reply = std::get_if<EnumerateReply>(&answer);
        if (reply == nullptr) return setLastError(unexpected("an enumeration")), false;
        for (auto& d : collectionsOf(*reply, limit > out.size() ? limit - out.size() : 0)) out.push_back(std::move(d));
        return true;
    }

    std::unique_ptr<ChangeMonitor> watchChanges() override {
        auto monitor = std::make_unique<SocketChangeMonitor>(path_, clock_, timeoutMs_);
        std::string error;
        if (!monitor->subscribe(error)) return nullptr;
        return monitor;
    }

    std::unique_ptr<Connection> open(const CollectionDesc& desc, OpenMode mode) override {
        std::uint32_t deviceId = 0, iface = 0;
        if (!parseInterfacePath(desc.path, deviceId, iface)) {
            std::lock_guard lock(mutex_);
            setLastError("'" + desc.path + "' is not a simulated collection");
            return nullptr;
        }
        auto channel = std::make_unique<Channel>(path_, clock_, timeoutMs_);
        std::string error;
        Message answer;
        if (!channel->connect(error) ||
            !channel->call(Open{deviceId, iface, desc.collectionIndex, mode, ownerId_, owner_}, answer, 0, error)) {
            std::lock_guard lock(mutex_);
            setLastError(error);
            return nullptr;
        }
        if (!std::holds_alternative<Status>(answer)) {
            std::lock_guard lock(mutex_);
            setLastError(unexpected("an open"));
            return nullptr;
        }
        return std::make_unique<SocketConnection>(desc, std::move(channel));
    }

private:
    std::string path_;
    platform::Clock& clock_;
    int timeoutMs_;
    // The simulator holds a device for this backend while any of its sockets has it open.
    std::uint64_t ownerId_ = newOwnerId();
    std::string owner_ = programOwner();
    std::mutex mutex_;
    Channel control_;
};

}  // namespace

std::unique_ptr<Backend> connectSocketBackend(const std::string& socketPath, std::string& error, int callTimeoutMs,
                                              platform::Clock& clock) {
    auto backend = std::make_unique<SocketBackend>(socketPath, clock, std::max(callTimeoutMs, 1));
    if (!backend->connect(error)) return nullptr;
    return backend;
}

std::unique_ptr<Backend> connectSocketBackend(const std::string& socketPath, std::string& error) {
    return connectSocketBackend(socketPath, error, kSimCallTimeoutMs, platform::systemClock());
}

}  // namespace hidlink
