#include "results/results_writer.h"

#include <algorithm>
#include <deque>
#include <filesystem>
#include <mutex>
#include <utility>

#include "results/results_spool.h"
#include "results/store_url.h"

namespace results {

namespace {

// A forwarded batch: small enough that a store gone in the middle costs little, big enough that
// a day's spool goes in a few transactions.
constexpr std::size_t kForwardBatch = 200;

std::string checkName(const CheckResult& c) {
    std::string name = "check " + std::to_string(c.checkNo);
    if (c.retry > 0) name += " (retry " + std::to_string(c.retry) + ")";
    name += c.serialNumber.empty() ? std::string(" without serial number") : " of " + c.serialNumber;
    return name;
}

// A client library's reason may run over lines ("…\n\tIs the server running…"): the message pane
// takes one line per message.
std::string oneLine(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const bool blank = c == '\n' || c == '\r' || c == '\t' || c == ' ';
        if (blank && (out.empty() || out.back() == ' ')) continue;
        out += blank ? ' ' : c;
    }
    while (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
}

std::string plural(std::uint64_t n, const char* one) { return std::to_string(n) + " " + one + (n == 1 ? "" : "s"); }

}  // namespace

struct ResultsWriter::Core {
    explicit Core(WriterSettings s) : settings(std::move(s)), backoffMs(settings.firstRetryMs) {
        std::string ignored;
        const std::optional<StoreUrl> parsed = parseStoreUrl(settings.url, ignored);
        shownAs = parsed ? parsed->redacted : redactUrl(settings.url);
        if (!settings.openStore) {
            settings.openStore = [url = settings.url](std::string& why) { return results::openStore(url, why); };
        }
    }

    void run();
    bool hasWork() const;  // with the mutex held
    void workOnce(bool atClose);
    void forward();
    void writeHeld();
    void keepRefused(const CheckResult& check, const std::string& reason);
    void moveHeldRefusals();
    bool ensureStore();
    bool ensureSpool();
    void recoverDetachedSpool();
    void storeDown(const std::string& reason);
    void spoolDown(const std::string& reason);
    void scheduleRetry();
    void say(std::string text);
    void publish();
    // A reason without the store's name in front (the message names it already), and never a password.
    std::string reasonText(std::string reason) const;

    WriterSettings settings;
    std::string shownAs;

    // Shared with the station's thread, under `mutex`.
    mutable std::mutex mutex;
    std::condition_variable wakeCv;
    std::condition_variable idleCv;
    std::deque<CheckResult> queue;  // in neither the store nor the spool yet, oldest first
    std::vector<std::string> messages;
    WriterCounts counts;
    bool closing = false;
    bool abandoned = false;
    bool done = false;
    bool idle = false;
    bool poked = false;

    // The writer thread's own.
    std::unique_ptr<ResultsStore> store;
    std::unique_ptr<ResultsSpool> spool;
    bool storeIsDown = false;
    bool spoolIsDown = false;
    std::uint64_t retryAtMs = 0;
    std::uint64_t backoffMs = 0;
    std::int64_t spoolRows = 0;
    bool spoolingSaid = false;
    // Checks wait (spooled or held) that the store has not had: "caught up" is said when they are in.
    bool behind = false;
    std::uint64_t writtenWhileBehind = 0;
    bool spoolTroubleSaid = false;
    std::uint64_t refusedTotal = 0;
    std::vector<RefusedCheck> refusedHeld;  // refused while the spool could not keep them
};

std::string ResultsWriter::Core::reasonText(std::string reason) const {
    const std::string prefix = "results store " + shownAs + ": ";
    if (reason.rfind(prefix, 0) == 0) reason.erase(0, prefix.size());
    return oneLine(redactUrl(reason));
}

void ResultsWriter::Core::say(std::string text) {
    const std::lock_guard<std::mutex> lock(mutex);
    messages.push_back(std::move(text));
}

void ResultsWriter::Core::publish() {
    const std::lock_guard<std::mutex> lock(mutex);
    counts.spooled = static_cast<std::uint64_t>(std::max<std::int64_t>(spoolRows, 0));
    counts.refused = refusedTotal;
}

void ResultsWriter::Core::scheduleRetry() {
    retryAtMs = settings.clock->monotonicMs() + backoffMs;
    backoffMs = std::min(backoffMs * 2, std::max(settings.longestRetryMs, settings.firstRetryMs));
}

void ResultsWriter::Core::storeDown(const std::string& reason) {
    store.reset();  // reconnect from scratch next time
    storeIsDown = true;
    scheduleRetry();
    if (!behind) {
        behind = true;
        writtenWhileBehind = 0;
    }
    if (!spoolingSaid) {
        spoolingSaid = true;
        say("Results store " + shownAs + " unreachable (" + reasonText(reason) + "): spooling checks to " +
            settings.spoolPath);
    }
}

void ResultsWriter::Core::spoolDown(const std::string& reason) {
    spool.reset();
    spoolIsDown = true;
    scheduleRetry();
    if (!spoolTroubleSaid) {
        spoolTroubleSaid = true;
        // The spool's own reasons name it already; the message does.
        std::string why = reason;
        for (const std::string& prefix :
             {"results store spool " + settings.spoolPath + ": ", "spool " + settings.spoolPath + ": "})
            if (why.rfind(prefix, 0) == 0) why.erase(0, prefix.size());
        say("RESULTS AT RISK: spool " + settings.spoolPath + " unusable (" + oneLine(redactUrl(why)) +
            "): checks the results store cannot take are held in memory only");
    }
}

bool ResultsWriter::Core::ensureStore() {
    if (storeIsDown) return false;
    if (store) return true;
    std::string why;
    store = settings.openStore(why);
    if (!store) storeDown(why);
    return store != nullptr;
}

bool ResultsWriter::Core::ensureSpool() {
    if (spoolIsDown) return false;
    if (spool && spool->detached()) recoverDetachedSpool();
    if (spool) return true;
    std::string why;
    spool = ResultsSpool::open(settings.spoolPath, why);
    if (!spool) {
        spoolDown(why);
        return false;
    }
    spoolRows = spool->count();
    if (spoolRows < 0) {
        spoolDown("its checks cannot be counted");
        return false;
    }
    if (spoolTroubleSaid) {
        spoolTroubleSaid = false;
        say("Spool " + settings.spoolPath + " usable again");
    }
    publish();
    return true;
}

// Someone deleted (or replaced) the spool file under the open spool: what it holds is still
// readable through the open handles, so it goes back in front of the queue and into a new file.
void ResultsWriter::Core::recoverDetachedSpool() {
    std::vector<CheckResult> checks;
    std::vector<RefusedCheck> refused;
    std::string why;
    const bool read = spool->readAll(checks, refused, why);
    spool.reset();
    spoolRows = 0;
    if (!read) {
        say("RESULTS NOT SAVED: spool " + settings.spoolPath + " was deleted and its checks could not be read back (" +
            why + ")");
        publish();
        return;
    }
    {
        const std::lock_guard<std::mutex> lock(mutex);
        queue.insert(queue.begin(), std::make_move_iterator(checks.begin()), std::make_move_iterator(checks.end()));
    }
    refusedHeld.insert(refusedHeld.begin(), std::make_move_iterator(refused.begin()),
                       std::make_move_iterator(refused.end()));
    say("Spool " + settings.spoolPath + " was deleted: made anew, its " + plural(checks.size(), "check") + " kept");
    publish();
}

void ResultsWriter::Core::keepRefused(const CheckResult& check, const std::string& reason) {
    ++refusedTotal;
    std::string why;
    bool kept = ensureSpool();
    if (kept && !spool->addRefused(check, reason, why)) {
        spoolDown(why);
        kept = false;
    }
    if (!kept) refusedHeld.push_back({check, reason});
    say("Results store " + shownAs + " refused " + checkName(check) + ": " + reasonText(reason) +
        (kept ? "; kept in " + settings.spoolPath + " (refused)" : "; held in memory (the spool is unusable)"));
    publish();
}

void ResultsWriter::Core::moveHeldRefusals() {
    while (!refusedHeld.empty() && ensureSpool()) {
        std::string why;
        if (!spool->addRefused(refusedHeld.front().check, refusedHeld.front().reason, why)) {
            spoolDown(why);
            return;
        }
        refusedHeld.erase(refusedHeld.begin());
    }
}

// The spool's checks into the store, oldest first; a check leaves the spool only once the store
// holds it, so one sent again after a crash or a lost answer finds itself there.
void ResultsWriter::Core::forward() {
    std::vector<SpooledCheck> batch;
    std::vector<CheckResult> checks;
    while (spoolRows > 0 && !storeIsDown && ensureSpool()) {
        std::string why;
        if (!spool->oldest(kForwardBatch, batch, why)) {
            spoolDown(why);
            return;
        }
        if (batch.empty()) {
            spoolRows = 0;
            break;
        }
        if (!ensureStore()) return;
        checks.clear();
        for (const SpooledCheck& s : batch) checks.push_back(s.check);
        const std::vector<InsertResult> answers = store->insertBatch(checks);
        std::vector<std::int64_t> stored;
        std::string unavailable;
        for (std::size_t i = 0; i < batch.size() && i < answers.size(); ++i) {
            const InsertResult& a = answers[i];
            // The first one the store cannot take stops the batch: the later ones wait behind it,
            // so the store receives them in their order.
            if (a.status == InsertStatus::Unavailable) {
                unavailable = a.reason;
                break;
            }
            if (a.status == InsertStatus::Rejected) {
                keepRefused(batch[i].check, a.reason);
            } else {
                ++writtenWhileBehind;
                const std::lock_guard<std::mutex> lock(mutex);
                ++counts.written;
            }
            stored.push_back(batch[i].id);
        }
        if (answers.size() < batch.size() && unavailable.empty()) unavailable = "the store answered too few checks";
        if (!spool->remove(stored, why)) {
            spoolDown(why);  // the store holds them: sent again, they are found there
            return;
        }
        spoolRows -= static_cast<std::int64_t>(stored.size());
        publish();
        if (!unavailable.empty()) {
            storeDown(unavailable);
            return;
        }
    }
}

void ResultsWriter::Core::writeHeld() {
    std::vector<CheckResult> batch;
    for (;;) {
        {
            const std::lock_guard<std::mutex> lock(mutex);
            if (queue.empty() || abandoned) return;
            const std::size_t n = std::min(queue.size(), kForwardBatch);
            batch.assign(queue.begin(), queue.begin() + static_cast<std::ptrdiff_t>(n));
        }
        // Straight into the store only when nothing older waits in the spool (or the spool is
        // unusable: then the store is the only place left). A backlog goes in batches.
        const bool behindSpool = spoolRows > 0 && !spoolIsDown;
        if (!storeIsDown && !behindSpool && ensureStore()) {
            const std::vector<InsertResult> answers = store->insertBatch(batch);
            std::size_t taken = 0;
            std::string unavailable;
            for (; taken < batch.size() && taken < answers.size(); ++taken) {
                const InsertResult& a = answers[taken];
                // Perhaps written all the same (an answer lost after the commit): from the spool
                // it is found there. The ones behind it wait with it, to keep their order.
                if (a.status == InsertStatus::Unavailable) {
                    unavailable = a.reason;
                    break;
                }
                if (a.status == InsertStatus::Rejected) {
                    keepRefused(batch[taken], a.reason);
                    continue;
                }
                backoffMs = settings.firstRetryMs;
                // Held in memory through the outage (no spool to wait in): it waited too.
                if (behind && !spool) ++writtenWhileBehind;
                const std::lock_guard<std::mutex> lock(mutex);
                ++counts.written;
            }
            if (taken < batch.size() && unavailable.empty()) unavailable = "the store answered too few checks";
            {
                const std::lock_guard<std::mutex> lock(mutex);
                queue.erase(queue.begin(), queue.begin() + static_cast<std::ptrdiff_t>(taken));
            }
            if (unavailable.empty()) continue;
            storeDown(unavailable);
        }
        CheckResult check;
        {
            const std::lock_guard<std::mutex> lock(mutex);
            if (queue.empty() || abandoned) return;
            check = queue.front();
        }
        if (!ensureSpool()) return;
        const InsertResult r = spool->add(check);
        if (r.status == InsertStatus::Unavailable) {
            spoolDown(r.reason);
            return;
        }
        {
            const std::lock_guard<std::mutex> lock(mutex);
            queue.pop_front();
        }
        if (r.status == InsertStatus::Rejected) {
            keepRefused(check, r.reason);  // no store takes what the same schema refuses
            continue;
        }
        if (r.status == InsertStatus::Written) ++spoolRows;
        publish();
    }
}

void ResultsWriter::Core::workOnce(bool atClose) {
    if (settings.clock->monotonicMs() >= retryAtMs) {
        storeIsDown = false;
        spoolIsDown = false;
    }
    if (spool && spool->detached()) recoverDetachedSpool();
    moveHeldRefusals();
    // At close the spool stays for the next run: forwarding it could outlast any budget.
    if (!atClose) forward();
    writeHeld();
    bool empty = false;
    {
        const std::lock_guard<std::mutex> lock(mutex);
        empty = queue.empty();
    }
    if (behind && !storeIsDown && spoolRows == 0 && empty && !atClose) {
        behind = false;
        spoolingSaid = false;
        say("Results store " + shownAs + ": caught up, " + plural(writtenWhileBehind, "spooled check") + " written");
        writtenWhileBehind = 0;
    }
}

bool ResultsWriter::Core::hasWork() const {
    const bool due = settings.clock->monotonicMs() >= retryAtMs;
    const bool storeReady = !storeIsDown || due;
    const bool spoolReady = !spoolIsDown || due;
    if (!queue.empty() && (storeReady || spoolReady)) return true;
    if (spoolRows > 0 && storeReady && spoolReady) return true;
    if (spool && spool->detached()) return true;
    return !refusedHeld.empty() && spoolReady;
}

void ResultsWriter::Core::run() {
    // A spool left by an earlier run is forwarded first.
    std::error_code ec;
    if (std::filesystem::exists(settings.spoolPath, ec) && ensureSpool() && spoolRows > 0) behind = true;
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
        if (abandoned) return;
        if (closing) {
            lock.unlock();
            workOnce(true);
            lock.lock();
            done = true;
            idle = true;
            idleCv.notify_all();
            return;
        }
        if (poked || hasWork()) {
            poked = false;
            idle = false;
            lock.unlock();
            workOnce(false);
            lock.lock();
            continue;
        }
        idle = true;
        idleCv.notify_all();
        if (storeIsDown || spoolIsDown) {
            // The clock decides when the retry is due; the real wait only bounds how long until
            // it is asked again.
            const std::uint64_t now = settings.clock->monotonicMs();
            const std::uint64_t left = retryAtMs > now ? retryAtMs - now : 0;
            wakeCv.wait_for(lock, std::chrono::milliseconds(left));
        } else {
            wakeCv.wait(lock);
        }
    }
}

ResultsWriter::ResultsWriter(WriterSettings settings) : core_(std::make_shared<Core>(std::move(settings))) {
    // The thread holds the core too: one given up at close may finish its store call after the
    // writer is gone.
    thread_ = std::thread([core = core_] { core->run(); });
}

ResultsWriter::~ResultsWriter() { close(std::chrono::seconds(2)); }

void ResultsWriter::submit(CheckResult check) {
    {
        const std::lock_guard<std::mutex> lock(core_->mutex);
        if (core_->closing) return;
        core_->queue.push_back(std::move(check));
        ++core_->counts.submitted;
        core_->idle = false;
    }
    core_->wakeCv.notify_one();
}

std::vector<std::string> ResultsWriter::takeMessages() {
    const std::lock_guard<std::mutex> lock(core_->mutex);
    return std::exchange(core_->messages, {});
}

WriterCounts ResultsWriter::counts() const {
    const std::lock_guard<std::mutex> lock(core_->mutex);
    WriterCounts c = core_->counts;
    c.held = core_->queue.size();
    return c;
}

void ResultsWriter::wake() {
    {
        const std::lock_guard<std::mutex> lock(core_->mutex);
        core_->poked = true;
        core_->idle = false;
    }
    core_->wakeCv.notify_one();
}

bool ResultsWriter::waitIdle(std::chrono::milliseconds limit) {
    std::unique_lock<std::mutex> lock(core_->mutex);
    return core_->idleCv.wait_for(lock, limit, [this] { return core_->idle || core_->done; });
}

WriterClose ResultsWriter::close(std::chrono::milliseconds budget) {
    if (closed_) return closeResult_;
    closed_ = true;
    Core& core = *core_;
    {
        const std::lock_guard<std::mutex> lock(core.mutex);
        core.closing = true;
        core.idle = false;
    }
    core.wakeCv.notify_one();
    std::unique_lock<std::mutex> lock(core.mutex);
    const bool finished = core.idleCv.wait_for(lock, budget, [&core] { return core.done; });
    std::deque<CheckResult> left;
    if (finished) {
        lock.unlock();
        thread_.join();
        lock.lock();
        left = std::move(core.queue);
        core.queue.clear();
        closeResult_.lost = left.size() + core.refusedHeld.size();
    } else {
        // The store call has not come back: what the thread still holds goes to the spool from
        // here (any the store takes meanwhile are found there when the spool is forwarded).
        core.abandoned = true;
        left = core.queue;
        lock.unlock();
        thread_.detach();
        std::string why;
        std::unique_ptr<ResultsSpool> spool = ResultsSpool::open(core.settings.spoolPath, why);
        std::uint64_t spooled = 0;
        for (const CheckResult& check : left) {
            const InsertResult r = spool ? spool->add(check) : InsertResult{InsertStatus::Unavailable, why};
            if (r.status == InsertStatus::Written || r.status == InsertStatus::AlreadyThere)
                ++spooled;
            else if (why.empty())
                why = r.reason;
        }
        lock.lock();
        core.counts.spooled += spooled;
        closeResult_.lost = left.size() - spooled;
        core.messages.push_back("Results store " + core.shownAs + " did not answer within " +
                                std::to_string(budget.count() / 1000) + " s at close: " + plural(spooled, "check") +
                                " put in the spool " + core.settings.spoolPath);
    }
    WriterCounts c = core.counts;
    c.held = closeResult_.lost;
    closeResult_.counts = c;
    if (c.spooled > 0 && closeResult_.lost == 0)
        core.messages.push_back("Results store " + core.shownAs + ": " + plural(c.spooled, "check") +
                                (c.spooled == 1 ? " waits in " : " wait in ") + core.settings.spoolPath +
                                " until the station next reaches the store");
    if (closeResult_.lost > 0)
        core.messages.push_back("RESULTS NOT SAVED: " + plural(closeResult_.lost, "check") +
                                " reached neither the results store " + core.shownAs + " nor the spool " +
                                core.settings.spoolPath);
    return closeResult_;
}

}  // namespace results
