#pragma once
// The run control hands each check that ended to the line's results store through this port; a
// station without one wired writes its files only.
namespace station {

class Station;

class ResultsPort {
public:
    virtual ~ResultsPort() = default;
    // A check ended (with a verdict or ERROR): its record goes to the store. Never waits.
    virtual void checkEnded(Station& station) = 0;
    // On the tick: what the store's writer has to say goes to the message pane.
    virtual void poll(Station& station) = 0;
    // The orderly shutdown: a bounded time to write what is left, then its last words; a check
    // that reached neither the store nor its spool is a lost record.
    virtual void close(Station& station) = 0;
};

}  // namespace station
