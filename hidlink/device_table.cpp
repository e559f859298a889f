#include "hidlink/device_table.h"

#include <algorithm>
#include <system_error>
#include <vector>

#include "platform/clock.h"

namespace hidlink {

DeviceTableEntry::DeviceTableEntry(int key, std::unique_ptr<Connection> feature, std::unique_ptr<Connection> read,
                                   DeviceInfo info)
    : key_(key), info_(std::move(info)), feature_(std::move(feature)), read_(std::move(read)) {}

DeviceTableEntry::~DeviceTableEntry() { close(); }

bool DeviceTableEntry::getFeature(std::span<std::uint8_t> report) {
    std::lock_guard lock(featureMutex_);
    return !closed_ && feature_ && feature_->getFeature(report);
}

bool DeviceTableEntry::setFeature(std::span<const std::uint8_t> report) {
    std::lock_guard lock(featureMutex_);
    return !closed_ && feature_ && feature_->setFeature(report);
}

std::string DeviceTableEntry::featureError() {
    std::lock_guard lock(featureMutex_);
    if (closed_) return info_.path + ": the collection was closed";
    if (!feature_) return info_.path + ": the collection is open for input only";
    return feature_->lastError();
}

ReadResult DeviceTableEntry::readInput(std::span<std::uint8_t> buffer, int timeoutMs) {
    std::lock_guard lock(readMutex_);
    if (closed_) return {ReadStatus::Disconnected, 0};
    return read_->readInput(buffer, timeoutMs);
}

void DeviceTableEntry::close() {
    if (closed_.exchange(true)) return;
    stopReader = true;
    // Wake the waiting read first; then each lock is free once the transfer in progress ended.
    read_->cancelRead();
    {
        // Again under the reader's lock: a start that raced the close has set it back.
        const std::lock_guard lock(readerMutex_);
        stopReader = true;
        joinReader();
    }
    {
        std::lock_guard lock(readMutex_);
        read_->close();
    }
    std::lock_guard lock(featureMutex_);
    if (feature_) feature_->close();
}

bool DeviceTableEntry::startInputReader(ReportSink& sink) {
    const std::lock_guard lock(readerMutex_);
    if (closed_) return false;
    if (reader_.joinable()) {
        if (!stopReader) return false;
        joinReader();  // one that ended by itself
    }
    stopReader = false;
    try {
        // The reader keeps its entry alive: a receiver may close the collection from the
        // reader's own thread, and the table then lets go of the entry while the loop still runs.
        reader_ = std::thread([self = shared_from_this(), &sink] { self->readLoop(sink); });
    } catch (const std::system_error&) {
        stopReader = true;
        return false;
    }
    return true;
}

bool DeviceTableEntry::stopInputReader() {
    const std::lock_guard lock(readerMutex_);
    if (!reader_.joinable()) return false;
    stopReader = true;
    joinReader();
    return true;
}

bool DeviceTableEntry::inputReaderRunning() {
    const std::lock_guard lock(readerMutex_);
    return reader_.joinable() && !stopReader;
}

void DeviceTableEntry::joinReader() {
    if (!reader_.joinable()) return;
    if (reader_.get_id() == std::this_thread::get_id())
        reader_.detach();
    else
        reader_.join();
}

void DeviceTableEntry::readLoop(ReportSink& sink) {
    const int key = key_;
    // Room for the collection's longest input report (id byte included), and never less than a
    // full-speed packet: a report longer than the descriptor says is cut, never overruns.
    const std::size_t length = std::clamp<std::size_t>(info_.caps.inputReportLength, 64, kMaxReportBytes + 1);
    std::vector<std::uint8_t> buffer(length);
    const std::uint32_t usage = info_.identity.usage;
    const bool wrapped = usage == 0x0A || usage == 0x0B;
    while (!stopReader) {
        const ReadResult r = readInput(buffer, kInputPollMs);
        if (stopReader) return;
        if (r.status == ReadStatus::Timeout) continue;
        if (r.status != ReadStatus::Ok) {
            stopReader = true;
            sink.onReaderEnded(key);
            return;
        }
        const std::size_t n = std::min(r.length, buffer.size());
        if (n == 0) continue;
        std::span<const std::uint8_t> report(buffer.data(), n);
        if (wrapped && report[0] == 15) {
            if (n < 2) continue;  // a wrapper around nothing
            report = report.subspan(1);
        }
        sink.onReport(key, report);
    }
}

DeviceTable::~DeviceTable() {
    std::vector<std::shared_ptr<DeviceTableEntry>> left;
    {
        std::lock_guard lock(mutex_);
        left.swap(entries_);
    }
    for (auto& e : left) e->close();
}

bool DeviceTable::followHotplug(platform::Clock& clock) {
    followHotplug(backend_->watchChanges(), clock);
    std::lock_guard lock(presentMutex_);
    return monitor_ != nullptr;
}

void DeviceTable::followHotplug(std::unique_ptr<ChangeMonitor> monitor, platform::Clock& clock) {
    std::lock_guard lock(presentMutex_);
    monitor_ = std::move(monitor);
    clock_ = &clock;
    presentValid_ = false;  // what was listed before the monitor listened proves nothing
}

bool DeviceTable::refreshPresentLocked() {
    if (monitor_ != nullptr && presentValid_) {
        // Ask the monitor first: it drains its events, so none is left to cause a second walk.
        const bool event = monitor_->changed();
        if (!event && clock_->monotonicMs() - enumeratedAtMs_ < kSafetyEnumerationMs) return true;
    }
    presentValid_ = false;
    present_.clear();
    probeReasons_.clear();
    if (monitor_ != nullptr) (void)monitor_->changed();  // an event before this walk is in it
    if (!backend_->enumerate(present_, SIZE_MAX)) {
        present_.clear();
        return false;
    }
    presentValid_ = true;
    if (clock_ != nullptr) enumeratedAtMs_ = clock_->monotonicMs();
    return true;
}

std::size_t DeviceTable::enumerateCollections(std::vector<CollectionIdentity>& out, std::size_t limit,
                                              std::vector<SkippedNode>* skipped) {
    std::lock_guard lock(presentMutex_);
    // The limit counts the collections kept, so skipped ones must not use it up.
    if (!refreshPresentLocked()) return 0;
    probeReasons_.resize(present_.size());
    std::size_t n = 0;
    for (std::size_t i = 0; i < present_.size() && n < limit; ++i) {
        const CollectionDesc& d = present_[i];
        // Collections of one node come together: probe each node once per enumeration.
        const bool sameNode = i > 0 && d.path == present_[i - 1].path;
        if (!probeReasons_[i]) probeReasons_[i] = sameNode ? *probeReasons_[i - 1] : backend_->probeOpen(d);
        const std::string& reason = *probeReasons_[i];
        if (!reason.empty()) {
            // A node that cannot be opened is named once, with all its collections left out.
            if (skipped != nullptr && !sameNode)
                skipped->push_back({d.identity.vendorId, d.identity.productId, d.path, reason});
            continue;
        }
        out.push_back(d.identity);
        ++n;
    }
    return n;
}

bool DeviceTable::openCollection(std::uint32_t vendorId, std::uint32_t productId, std::uint32_t usagePage,
                                 std::uint32_t usage, int key) {
    return openMatching(vendorId, productId, usagePage, usage, key, false);
}

bool DeviceTable::openInputCollection(std::uint32_t vendorId, std::uint32_t productId, std::uint32_t usagePage,
                                      std::uint32_t usage, int key) {
    return openMatching(vendorId, productId, usagePage, usage, key, true);
}

bool DeviceTable::openMatching(std::uint32_t vendorId, std::uint32_t productId, std::uint32_t usagePage,
                               std::uint32_t usage, int key, bool inputOnly) {
    if (contains(key)) return false;
    std::vector<CollectionDesc> matches;
    {
        std::lock_guard lock(presentMutex_);
        // Opening walks every present interface, not only the first hundred.
        if (!refreshPresentLocked()) return false;
        for (const CollectionDesc& d : present_) {
            const CollectionIdentity& id = d.identity;
            if (id.vendorId != vendorId || id.productId != productId || id.usagePage != usagePage) continue;
            if (usage != 0 && id.usage != usage) continue;
            matches.push_back(d);
        }
    }
    for (const CollectionDesc& d : matches) {
        const CollectionIdentity& id = d.identity;
        std::unique_ptr<Connection> feature;
        if (!inputOnly) {
            feature = backend_->open(d, OpenMode::Feature);
            if (!feature) continue;  // an interface that cannot be opened is skipped
        }
        auto read = backend_->open(d, OpenMode::ReadOnly);
        if (!read) {
            if (inputOnly) continue;
            return false;  // the match is ours, but its read side failed
        }
        auto e = std::make_shared<DeviceTableEntry>(key, std::move(feature), std::move(read),
                                                    DeviceInfo{true, id, d.versionNumber, d.path, d.numbered, d.caps});
        std::lock_guard lock(mutex_);
        // Opens come from one thread; this only keeps a racing second opener from adding a twin.
        if (std::any_of(entries_.begin(), entries_.end(), [key](const auto& x) { return x->key() == key; }))
            return false;
        entries_.push_back(std::move(e));
        return true;
    }
    return false;
}

bool DeviceTable::closeCollection(int key) {
    std::shared_ptr<DeviceTableEntry> gone;
    {
        std::lock_guard lock(mutex_);
        auto it = std::find_if(entries_.begin(), entries_.end(), [key](const auto& e) { return e->key() == key; });
        if (it == entries_.end()) return false;
        gone = std::move(*it);
        entries_.erase(it);  // later entries move down, as callers expect
    }
    // Outside the table lock: a reader may need a lookup to finish its read.
    gone->close();
    return true;
}

bool DeviceTable::startInputReader(int key, ReportSink& sink) {
    const auto e = entry(key);
    return e != nullptr && e->startInputReader(sink);
}

bool DeviceTable::stopInputReader(int key) {
    const auto e = entry(key);
    return e != nullptr && e->stopInputReader();
}

bool DeviceTable::getCollectionInfo(int key, DeviceInfo& out) const {
    const auto e = entry(key);
    if (e == nullptr) return false;
    out = e->info();
    return true;
}

std::size_t DeviceTable::size() const {
    std::lock_guard lock(mutex_);
    return entries_.size();
}

std::shared_ptr<DeviceTableEntry> DeviceTable::entry(int key) const {
    std::lock_guard lock(mutex_);
    for (const auto& e : entries_)
        if (e->key() == key) return e;
    return nullptr;
}

}  // namespace hidlink
