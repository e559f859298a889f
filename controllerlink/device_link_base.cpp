#include "controllerlink/device_link_base.h"

#include <vector>

#include "controllerlink/vendor_ids.h"

namespace controllerlink {

std::size_t DeviceLinkBase::refreshFoundList() {
    std::vector<hidlink::CollectionIdentity> all;
    table_.enumerateCollections(all, kStationEnumerationLimit);
    found_ = 0;
    for (const hidlink::CollectionIdentity& id : all) {
        if (!isMakerVendor(id.vendorId)) continue;
        if (found_ == foundList_.size()) break;
        foundList_[found_++] = id;
    }
    return found_;
}

bool DeviceLinkBase::open(const hidlink::CollectionIdentity& id) {
    if (!table_.openCollection(id.vendorId, id.productId, id.usagePage, id.usage, key_)) {
        openedIdentity_ = {};
        return false;
    }
    table_.getCollectionInfo(key_, info_);
    openedIdentity_ = info_.identity;
    isOpen_ = true;
    return true;
}

void DeviceLinkBase::close() {
    stopInputReader();
    stopFrameReader();
    table_.closeCollection(key_);
    isOpen_ = false;
}

}  // namespace controllerlink
