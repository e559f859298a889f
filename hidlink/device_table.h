#pragma once
// The table of open collections, by the small integer key every caller names a collection with.
// Each entry holds two connections to the same collection: one for feature transfers and one
// that only the input reader uses.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "hidlink/backend.h"
#include "hidlink/identity.h"

namespace hidlink {

// A copy of an entry without its key (what the status panel and the F/W check read).
struct DeviceInfo {
    bool valid = false;
    CollectionIdentity identity;
    std::uint16_t versionNumber = 0;
    std::string path;
    bool numbered = false;
    TopCollection caps;  // report lengths and value capabilities of the collection
};

struct DeviceTableEntry {
    int key = 0;
    std::unique_ptr<Connection> feature;
    std::unique_ptr<Connection> read;
    std::atomic<bool> stopReader{true};
    DeviceInfo info;
};

class DeviceTable {
public:
    explicit DeviceTable(Backend& backend) : backend_(&backend) {}
    DeviceTable(const DeviceTable&) = delete;
    DeviceTable& operator=(const DeviceTable&) = delete;

    Backend& backend() { return *backend_; }

    // Present collections in enumeration order, at most `limit`; 0 when none or on failure.
    std::size_t enumerateCollections(std::vector<CollectionIdentity>& out, std::size_t limit);
    // Opens the first present collection that matches (usage 0 matches any usage) under `key`.
    // False at once, the table untouched, when `key` is already open.
    bool openCollection(std::uint32_t vendorId, std::uint32_t productId, std::uint32_t usagePage, std::uint32_t usage,
                        int key);
    bool closeCollection(int key);
    bool getCollectionInfo(int key, DeviceInfo& out) const;

    bool contains(int key) const { return find(key) != nullptr; }
    std::size_t size() const { return entries_.size(); }
    // The entry of `key`, or nullptr. Valid until that key is closed.
    DeviceTableEntry* entry(int key) { return find(key); }

    // Serialises the input readers' reads across all entries.
    std::mutex& readLock() { return readLock_; }

private:
    DeviceTableEntry* find(int key) const;
    Backend* backend_;
    std::vector<std::unique_ptr<DeviceTableEntry>> entries_;
    std::mutex readLock_;
};

}  // namespace hidlink
