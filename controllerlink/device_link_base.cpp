#include "controllerlink/device_link_base.h"

#include <cstdio>
#include <vector>

#include "controllerlink/vendor_ids.h"

namespace controllerlink {

namespace {

std::string describe(const hidlink::CollectionIdentity& id) {
    char text[64];
    std::snprintf(text, sizeof text, "%04X/%04X %04X/%04X", static_cast<unsigned>(id.vendorId),
                  static_cast<unsigned>(id.productId), static_cast<unsigned>(id.usagePage),
                  static_cast<unsigned>(id.usage));
    return text;
}

}  // namespace

std::size_t DeviceLinkBase::refreshFoundList() {
    std::vector<hidlink::CollectionIdentity> all;
    std::vector<hidlink::SkippedNode> skipped;
    table_.backend().clearLastError();
    if (table_.enumerateCollections(all, kStationEnumerationLimit, &skipped) == 0 &&
        !table_.backend().lastError().empty())
        lastError_ = table_.backend().lastError();
    // Other makers' nodes (keyboards, mice) are commonly closed to users; they are no concern.
    skipped_.clear();
    for (auto& n : skipped)
        if (isMakerVendor(n.vendorId)) skipped_.push_back(std::move(n));
    found_ = 0;
    for (const hidlink::CollectionIdentity& id : all) {
        if (!isMakerVendor(id.vendorId)) continue;
        if (found_ == foundList_.size()) break;
        foundList_[found_++] = id;
    }
    return found_;
}

bool DeviceLinkBase::open(const hidlink::CollectionIdentity& id) {
    const bool taken = table_.contains(key_);
    table_.backend().clearLastError();
    if (!table_.openCollection(id.vendorId, id.productId, id.usagePage, id.usage, key_)) {
        openedIdentity_ = {};
        // The backend names the node and the system's reason when an open was tried.
        const std::string& why = table_.backend().lastError();
        lastError_ = taken          ? "key " + std::to_string(key_) + " is already open"
                     : !why.empty() ? why
                                    : "no collection " + describe(id) + " is present";
        return false;
    }
    table_.getCollectionInfo(key_, info_);
    openedIdentity_ = info_.identity;
    isOpen_ = true;
    return true;
}

void DeviceLinkBase::noteTransferFailure(int key) {
    const auto e = table_.entry(key);
    if (e == nullptr) {
        lastError_ = "no collection is open under key " + std::to_string(key);
        return;
    }
    const std::string why = e->featureError();
    // The connection carried the transfer; the failure was what it brought back.
    lastError_ = !why.empty() ? why : e->info().path + ": the answer did not carry the report asked for";
}

bool DeviceLinkBase::startInputReader(hidlink::ReportSink& sink) {
    return isOpen_ && table_.startInputReader(key_, sink);
}

void DeviceLinkBase::stopInputReader() { table_.stopInputReader(key_); }

bool DeviceLinkBase::inputReaderRunning() const {
    const auto e = table_.entry(key_);
    return e != nullptr && e->inputReaderRunning();
}

void DeviceLinkBase::close() {
    stopInputReader();
    stopFrameReader();
    table_.closeCollection(key_);
    isOpen_ = false;
}

}  // namespace controllerlink
