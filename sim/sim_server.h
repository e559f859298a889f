#pragma once
// Serves one VirtualBus to other processes over a Unix stream socket (the sim backend and
// `vorlick-sim ctl` are its clients). Each accepted socket gets its own thread and may hold one
// open collection; when the peer goes away its reader is released.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "sim/virtual_bus.h"

namespace platform {
class Clock;
}

namespace sim {

struct SimServerLimits {
    // Sockets served at once; one more is answered with the reason and closed.
    std::size_t maxClients = 256;
    // A client may stay silent between messages for as long as it likes, but once it has sent
    // the first byte of one, the rest must follow within this time or the socket is dropped: a
    // stalled half message must not hold a place for ever.
    std::uint64_t messageDeadlineMs = 5000;
};

class SimServer {
public:
    // `clock` bounds the server's own socket waits; it must advance by itself (a real clock),
    // whatever clock the bus runs on.
    explicit SimServer(VirtualBus& bus);
    SimServer(VirtualBus& bus, platform::Clock& clock, SimServerLimits limits = {});
    ~SimServer();
    SimServer(const SimServer&) = delete;
    SimServer& operator=(const SimServer&) = delete;

    // Listens at `socketPath`. A stale socket file left by a killed simulator is replaced; a
    // live one, or any other kind of file, is an error.
    bool start(const std::string& socketPath, std::string& error);
    // Drops every client, joins the threads and removes the socket file. Safe to call twice.
    void stop();

    const std::string& socketPath() const { return path_; }
    // Input readers currently held by clients.
    std::size_t openReaders() const;

private:
    struct Session {
        int fd = -1;
        std::thread thread;
        std::atomic<bool> done{false};
        std::atomic<int> reader{0};  // bus reader id, 0 while none
    };
    void acceptLoop();
    void serve(Session& session);
    // A socket that asked for the hotplug feed: one BusChanged per change of the bus's count
    // after `seen`, until the client goes or the server stops.
    void feedChanges(int fd, std::uint64_t seen);
    void reapLocked(bool all);
    void turnAway(int fd);
    void closeTurnedAway(bool all);

    VirtualBus& bus_;
    platform::Clock& clock_;
    SimServerLimits limits_;
    std::string path_;
    int listenFd_ = -1;
    int wakeFds_[2] = {-1, -1};
    std::thread acceptThread_;
    std::atomic<bool> stopping_{false};
    mutable std::mutex mutex_;
    std::list<std::unique_ptr<Session>> sessions_;
    // Sockets turned away, kept open a moment so the client can still send its hello and read
    // the reason (closing at once would make its send fail before it reads anything).
    struct TurnedAway {
        int fd;
        std::uint64_t closeAtMs;
    };
    std::deque<TurnedAway> turnedAway_;  // accept thread only
};

}  // namespace sim
