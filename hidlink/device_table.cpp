#include "hidlink/device_table.h"

#include <algorithm>

namespace hidlink {

std::size_t DeviceTable::enumerateCollections(std::vector<CollectionIdentity>& out, std::size_t limit) {
    std::vector<CollectionDesc> found;
    if (!backend_->enumerate(found, limit)) return 0;
    const std::size_t n = std::min(found.size(), limit);
    for (std::size_t i = 0; i < n; ++i) out.push_back(found[i].identity);
    return n;
}

bool DeviceTable::openCollection(std::uint32_t vendorId, std::uint32_t productId, std::uint32_t usagePage,
                                 std::uint32_t usage, int key) {
    if (find(key) != nullptr) return false;
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
        auto e = std::make_unique<DeviceTableEntry>();
        e->key = key;
        e->feature = std::move(feature);
        e->read = std::move(read);
        e->info = DeviceInfo{true, id, d.versionNumber, d.path, d.numbered, d.caps};
        entries_.push_back(std::move(e));
        return true;
    }
    return false;
}

bool DeviceTable::closeCollection(int key) {
    auto it = std::find_if(entries_.begin(), entries_.end(), [key](const auto& e) { return e->key == key; });
    if (it == entries_.end()) return false;
    (*it)->feature->close();
    (*it)->read->close();
    entries_.erase(it);  // later entries move down, as callers expect
    return true;
}

bool DeviceTable::getCollectionInfo(int key, DeviceInfo& out) const {
    const DeviceTableEntry* e = find(key);
    if (e == nullptr) return false;
    out = e->info;
    return true;
}

DeviceTableEntry* DeviceTable::find(int key) const {
    for (const auto& e : entries_)
        if (e->key == key) return e.get();
    return nullptr;
}

}  // namespace hidlink
