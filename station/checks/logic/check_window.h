#pragma once
// What the operator's check windows (drawing, TKP pen, home key) share, without a toolkit: the
// input readers they start and stop, the 100 ms evaluation tick, the system digitizer's reports
// taken only until the controller's own touch reports arrive, the keys (Enter does nothing, Esc
// closes) and one close path that stops the readers and writes the window's result fields.
// Everything runs on the front end's thread; the readers' reports reach it as posted copies.
#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <string_view>

#include "controllerlink/raw_input.h"
#include "platform/clock.h"

namespace station::checks {

// The keys the check windows handle (as the headless station names them after "key ").
enum class CheckKey : std::uint8_t { Enter, Esc, Space, B, C, D, G, S, Plus, Minus };

enum class ReaderCollection : std::uint8_t { Touch, Pen };

// The controller's input readers, started with the window as receiver (the front end posts each
// report back to its own thread and hands it to onReport).
class InputReaders {
public:
    virtual ~InputReaders() = default;
    virtual bool start(ReaderCollection which) = 0;
    // Waits for the reader to end.
    virtual void stop(ReaderCollection which) = 0;
};

// What a window asks of its front end.
class CheckWindowHost {
public:
    virtual ~CheckWindowHost() = default;
    // Pane 0 of the station window's status bar.
    virtual void setStatus(std::string_view text) { (void)text; }
    virtual void requestRepaint() {}
    // Saves the window's ink layer under `fileName` in the working directory (PNG); a failure is
    // ignored.
    virtual void saveSnapshot(std::string_view fileName) { (void)fileName; }
};

class CheckWindowLogic {
public:
    static constexpr std::uint32_t kTickMs = 100;

    CheckWindowLogic(InputReaders& readers, CheckWindowHost& host, platform::Clock& clock, bool driverMode);
    virtual ~CheckWindowLogic() = default;
    CheckWindowLogic(const CheckWindowLogic&) = delete;
    CheckWindowLogic& operator=(const CheckWindowLogic&) = delete;

    // Starts the readers and the tick. A touch reader that cannot start is said in the status
    // bar; what follows is the window's own decision.
    void open();

    // The tick: when it is due (monotonic time), the timer stops and the evaluation pass runs;
    // the front end paints, calls painted(), then rearmTimer() so the next tick comes 100 ms
    // after the end of this one. False when no tick was due.
    bool timerFired();
    void rearmTimer();
    // When the next tick is due; nullopt while the timer is stopped or the window closed.
    std::optional<std::uint64_t> timerDueAt() const { return timerDue_; }

    // After every paint: a window whose finish or exit flag is set closes (the Esc path).
    void painted();

    // A report of a collection the window reads, report id first.
    void onReport(ReaderCollection from, std::span<const std::uint8_t> report);
    // A report of the system's digitizer, parsed; taken in driver mode until the first of the
    // controller's own touch reports (report 3 of the touch collection) arrives.
    void onRawInput(const controllerlink::RawContactRecord& record, const controllerlink::RawTouchRanges& ranges);
    bool rawInputTaken() const { return driverMode_ && !vendorTouchSeen_; }

    // A key-down. The window's own keys first; then Enter does nothing and Esc closes.
    void onKey(CheckKey key);

    // The one way out (Esc, the window closing itself, the front end going away): stops the
    // readers it started and writes the result fields. Later calls do nothing.
    void close();
    bool closed() const { return closed_; }
    bool opened() const { return opened_; }

protected:
    platform::Clock& clock() { return clock_; }
    CheckWindowHost& host() { return host_; }
    bool driverMode() const { return driverMode_; }

    // Which readers the window wants beside the touch collection's.
    virtual bool wantsPenReader() const { return false; }
    // Flags cleared, state set before the readers start.
    virtual void onOpening() {}
    // Asked after onOpening: false when the window could not set its controller up; then no
    // reader and no tick start, and the window waits for Esc.
    virtual bool startsInput() const { return true; }
    // After the readers were asked for: which of them run.
    virtual void onOpened(bool touchReader, bool penReader) {
        (void)touchReader;
        (void)penReader;
    }
    virtual void evaluate() = 0;
    virtual void handleReport(ReaderCollection from, std::span<const std::uint8_t> report) = 0;
    virtual void handleRawInput(const controllerlink::RawContactRecord& record,
                                const controllerlink::RawTouchRanges& ranges) {
        (void)record;
        (void)ranges;
    }
    // The first of the controller's touch reports ends raw input for the rest of the window.
    virtual void onRawInputEnded() {}
    virtual void handleKey(CheckKey key) { (void)key; }
    // The finish or exit flag: the next paint closes the window.
    virtual bool closeRequested() const = 0;
    // Written once, on close.
    virtual void writeResults() = 0;

    // A key the window sends itself: handled once the current handler has returned.
    void postKey(CheckKey key) { posted_.push_back(key); }

private:
    void runPosted();

    InputReaders& readers_;
    CheckWindowHost& host_;
    platform::Clock& clock_;
    const bool driverMode_;
    bool opened_ = false;
    bool closed_ = false;
    bool touchReader_ = false;
    bool penReader_ = false;
    bool vendorTouchSeen_ = false;
    bool inHandler_ = false;
    std::optional<std::uint64_t> timerDue_;
    std::deque<CheckKey> posted_;
};

}  // namespace station::checks
