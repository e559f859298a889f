#pragma once
// The station's results writer: each finished check goes into the results store on a thread of
// its own, so the station's tick never waits for a database. A store that cannot be reached
// never stops the line: its checks go to the local spool and are forwarded, oldest first, when
// the store answers again; a check leaves the spool only after the store holds it, so each one
// is written exactly once. A check the store refuses is kept in the spool's `refused` table and
// reported, never retried. The station polls the writer's messages on its tick: nothing calls
// back from the thread.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "results/check_result.h"
#include "results/results_store.h"

namespace results {

struct WriterSettings {
    // The store's URL (messages show it only redacted).
    std::string url;
    // The spool file (kSpoolFileName in the station folder).
    std::string spoolPath;
    // Times the retries; it must outlive the writer, also one given up at close.
    platform::Clock* clock = &platform::systemClock();
    // Opens the store (openStore of `url` when empty); null with the reason.
    std::function<std::unique_ptr<ResultsStore>(std::string& why)> openStore;
    // The wait after a failed attempt, doubled after each further one up to the longest.
    std::uint64_t firstRetryMs = 2000;
    std::uint64_t longestRetryMs = 60000;
};

struct WriterCounts {
    std::uint64_t submitted = 0;
    std::uint64_t written = 0;  // the store holds them (written now or found there)
    std::uint64_t refused = 0;  // kept as refused (in the spool, or in memory while it is unusable)
    std::uint64_t spooled = 0;  // waiting in the spool
    std::uint64_t held = 0;     // in memory only: neither the store nor the spool has them yet
};

struct WriterClose {
    WriterCounts counts;
    // Neither the store nor the spool took them: the station must say so.
    std::uint64_t lost = 0;
};

class ResultsWriter {
public:
    explicit ResultsWriter(WriterSettings settings);
    // Closes with no time to flush (close() first for an orderly end).
    ~ResultsWriter();
    ResultsWriter(const ResultsWriter&) = delete;
    ResultsWriter& operator=(const ResultsWriter&) = delete;

    // Hands a finished check to the thread; returns at once.
    void submit(CheckResult check);
    // The operator's messages since the last call: spooling, caught up, refused, spool trouble.
    std::vector<std::string> takeMessages();
    WriterCounts counts() const;
    // Look at the clock again now (a test that moved its virtual clock).
    void wake();
    // Blocks until the thread has nothing to do before its next retry, at most `limit` of real
    // time; false when it did not settle.
    bool waitIdle(std::chrono::milliseconds limit = std::chrono::seconds(30));
    // The station closes: the thread writes what it holds to the store, or else to the spool, for
    // at most `budget` of real time; then what is in neither is counted as lost and its messages
    // are left for takeMessages(). Later calls return the same.
    WriterClose close(std::chrono::milliseconds budget);

    struct Core;

private:
    std::shared_ptr<Core> core_;
    std::thread thread_;
    bool closed_ = false;
    WriterClose closeResult_;
};

}  // namespace results
