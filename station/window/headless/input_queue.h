#pragma once
// What reaches the headless station from outside while it runs: lines of standard input and
// the end of input, pushed by the reader thread and taken by the station's one thread between
// ticks and while a check pumps its messages; and, apart from them, the stop signals.
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>

namespace station {

struct InputEvent {
    enum class Kind { Line, TooLong, End };
    Kind kind = Kind::Line;
    std::string text;  // Line
};

class InputSource {
public:
    virtual ~InputSource() = default;
    // The next event, waiting at most `timeoutMs` for one; nullopt when none came.
    virtual std::optional<InputEvent> next(std::uint64_t timeoutMs) = 0;
};

// The production source: a bounded queue the reader thread fills, waited on in real time. A
// full queue holds the reader back, so it stops reading standard input and a writer that
// outruns the station (`yes reset | ...`) waits in its pipe; no line is dropped.
class InputQueue final : public InputSource {
public:
    static constexpr std::size_t kMaxEvents = 64;
    static constexpr std::size_t kMaxBytes = 4u << 20;

    explicit InputQueue(std::size_t maxEvents = kMaxEvents, std::size_t maxBytes = kMaxBytes);

    // Waits while the queue is full (an event larger than `maxBytes` waits for an empty queue),
    // then appends. False, without appending, once the queue is closed.
    bool push(InputEvent event);
    std::optional<InputEvent> next(std::uint64_t timeoutMs) override;
    // Ends a wait in next() at once (a stop signal came), from any thread.
    void wake();
    // The station is closing: a waiting push returns false, later ones too.
    void close();
    // The most events the queue ever held.
    std::size_t highWater() const;

private:
    bool hasRoom(std::size_t bytes) const;

    const std::size_t maxEvents_;
    const std::size_t maxBytes_;
    mutable std::mutex mutex_;
    std::condition_variable ready_;
    std::condition_variable room_;
    std::deque<InputEvent> events_;
    std::size_t bytes_ = 0;
    std::size_t highWater_ = 0;
    bool woken_ = false;
    bool closed_ = false;
};

// The stop signals (SIGINT, SIGTERM, SIGHUP), never queued behind input: the station looks at
// them on every turn of its loop and while it pumps. The first closes the station once the
// work in hand has ended; another one while the station works (a check against a controller
// that answers slowly) aborts that work: the controller links refuse every further transfer.
class StopRequests {
public:
    // Any thread (the signal watcher).
    void signal(int sig);
    bool closeRequested() const { return close_.load(); }
    // What the controller links check between transfers.
    const std::atomic<bool>& abortFlag() const { return abort_; }
    // The station's thread around its work (a tick, Start/Retry, a load): a signal may abort it
    // only while it runs; when it ends, an abort is dropped, so the orderly close still talks to
    // the controller.
    void setWorking(bool working);

private:
    std::mutex mutex_;
    bool working_ = false;
    std::atomic<bool> close_{false};
    std::atomic<bool> abort_{false};
};

}  // namespace station
