#include "hidlink/device_table.h"

#include <algorithm>

namespace hidlink {

DeviceTableEntry::DeviceTableEntry(int key, std::unique_ptr<Connection> feature, std::unique_ptr<Connection> read,
                                   DeviceInfo info)
    : key_(key), info_(std::move(info)), feature_(std::move(feature)), read_(std::move(read)) {}

DeviceTableEntry::~DeviceTableEntry() { close(); }

bool DeviceTableEntry::getFeature(std::span<std::uint8_t> report) {
    std::lock_guard lock(featureMutex_);
    return !closed_ && feature_->getFeature(report);
}

bool DeviceTableEntry::setFeature(std::span<const std::uint8_t> report) {
    std::lock_guard lock(featureMutex_);
    return !closed_ && feature_->setFeature(report);
}

std::string DeviceTableEntry::featureError() {
    std::lock_guard lock(featureMutex_);
    if (closed_) return info_.path + ": the collection was closed";
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
        std::lock_guard lock(readMutex_);
        read_->close();
    }
    std::lock_guard lock(featureMutex_);
    feature_->close();
}

DeviceTable::~DeviceTable() {
    std::vector<std::shared_ptr<DeviceTableEntry>> left;
    {
        std::lock_guard lock(mutex_);
        left.swap(entries_);
    }
    for (auto& e : left) e->close();
}

std::size_t DeviceTable::enumerateCollections(std::vector<CollectionIdentity>& out, std::size_t limit,
                                              std::vector<SkippedNode>* skipped) {
    std::vector<CollectionDesc> found;
    // The limit counts the collections kept, so skipped ones must not use it up.
    if (!backend_->enumerate(found, SIZE_MAX)) return 0;
    std::size_t n = 0;
    bool first = true;
    std::string lastPath;
    std::string lastReason;
    for (const CollectionDesc& d : found) {
        if (n >= limit) break;
        // Collections of one node come together: probe each node once.
        if (first || d.path != lastPath) {
            first = false;
            lastPath = d.path;
            lastReason = backend_->probeOpen(d);
            if (!lastReason.empty() && skipped)
                skipped->push_back({d.identity.vendorId, d.identity.productId, d.path, lastReason});
        }
        if (!lastReason.empty()) continue;
        out.push_back(d.identity);
        ++n;
    }
    return n;
}

bool DeviceTable::openCollection(std::uint32_t vendorId, std::uint32_t productId, std::uint32_t usagePage,
                                 std::uint32_t usage, int key) {
    if (contains(key)) return false;
    std::vector<CollectionDesc> present;
    // Opening walks every present interface, not only the first hundred.
    if (!backend_->enumerate(present, SIZE_MAX)) return false;
    for (const CollectionDesc& d : present) {
        const CollectionIdentity& id = d.identity;
        if (id.vendorId != vendorId || id.productId != productId || id.usagePage != usagePage) continue;
        if (usage != 0 && id.usage != usage) continue;
        auto feature = backend_->open(d, OpenMode::Feature);
        if (!feature) continue;  // an interface that cannot be opened is skipped
        auto read = backend_->open(d, OpenMode::ReadOnly);
        if (!read) return false;  // the match is ours, but its read side failed
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
