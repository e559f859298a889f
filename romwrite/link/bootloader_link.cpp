#include "romwrite/link/bootloader_link.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <vector>

#include "controllerlink/device_link_base.h"
#include "controllerlink/feature_transfer.h"
#include "controllerlink/vendor_ids.h"

namespace romwrite {
namespace {

std::string format(const char* fmt, auto... args) {
    char buf[256];
    std::snprintf(buf, sizeof buf, fmt, args...);
    return buf;
}

bool isF11Collection(const hidlink::CollectionIdentity& id) {
    return controllerlink::isMakerVendor(id.vendorId) && id.usagePage == 0xFF11 &&
           (id.usage == 0x11 || id.usage == 0x01 || id.usage == 0x0B);
}

bool isF09Collection(const hidlink::CollectionIdentity& id) {
    if (!controllerlink::isMakerVendor(id.vendorId)) return false;
    if (id.usagePage == 0xFF09) return id.usage == 0x11 || id.usage == 0x01 || id.usage == 0x0B;
    return id.usagePage == 0xFF00 && id.usage == 0x0B;
}

std::string collectionLine(const char* lead, std::size_t index, const hidlink::CollectionIdentity& id) {
    return format("%sdevice%02zu VID:0x%04X PID:0x%04X UP:0x%04X U:0x%04X", lead, index, id.vendorId, id.productId,
                  id.usagePage, id.usage);
}

std::string foundLine(const hidlink::CollectionIdentity& id) {
    return format("Device found. VID:0x%04X PID:0x%04X UP:0x%04X U:0x%04X", id.vendorId, id.productId, id.usagePage,
                  id.usage);
}

}  // namespace

void BootloaderLink::noteFailure(int key) {
    lastErrno_ = errno;
    lastMessage_.clear();
    if (const auto e = table_.entry(key)) lastMessage_ = e->featureError();
    if (lastMessage_.empty()) lastMessage_ = lastErrno_ != 0 ? std::strerror(lastErrno_) : "The device did not answer.";
}

bool BootloaderLink::openAndQuery(const hidlink::CollectionIdentity& id, int key, hidlink::DeviceInfo& info) {
    errno = 0;
    if (!table_.openCollection(id.vendorId, id.productId, id.usagePage, id.usage, key)) {
        lastErrno_ = errno;
        lastMessage_ = table_.backend().lastError();
        return false;
    }
    if (!table_.getCollectionInfo(key, info)) {
        table_.closeCollection(key);
        return false;
    }
    return true;
}

std::optional<hidlink::CollectionIdentity> BootloaderLink::findAndOpen(const ProbeRule& rule,
                                                                       hidlink::DeviceInfo& info) {
    std::vector<hidlink::CollectionIdentity> found;
    errno = 0;
    const std::size_t n = table_.enumerateCollections(found, controllerlink::kWriterEnumerationLimit);
    if (n == 0) {
        lastErrno_ = errno;
        log_.log("No device");
        return std::nullopt;
    }
    const hidlink::CollectionIdentity* match = nullptr;
    for (const auto& id : found)
        if (match == nullptr && rule.accepts(id)) match = &id;
    if (rule.listAlways) {
        log_.log(format("HID devices found: %zu", n));
        for (std::size_t i = 0; i < found.size(); ++i) log_.log(collectionLine(" ", i, found[i]));
    } else if (match == nullptr) {
        for (std::size_t i = 0; i < found.size(); ++i) log_.log(collectionLine("", i, found[i]));
    }
    if (match == nullptr) return std::nullopt;
    log_.log(foundLine(*match));
    if (!openAndQuery(*match, rule.key, info)) {
        log_.log("OpenKVHID_DEV error.");
        return std::nullopt;
    }
    return *match;
}

bool BootloaderLink::probeF11(UblDevice& device) {
    hidlink::DeviceInfo info;
    const auto match = findAndOpen({isF11Collection, kF11Key, true}, info);
    if (!match) return false;
    device.vendorId = info.identity.vendorId;
    device.productId = info.identity.productId;
    device.usagePage = match->usagePage;
    device.usage = match->usage;
    device.mode = match->usage == 0x0B ? TransportMode::WrappedPaused : TransportMode::Direct;

    std::uint8_t type[2] = {2, 0};
    if (!getFeatureF11(type, device.mode) || type[1] != 2) {
        std::uint8_t id[16] = {4};
        if (getFeatureF11(id, device.mode)) {
            device.version = id[11] + 256u * id[12];
            device.subVersion = id[13];
        }
    }
    table_.closeCollection(kF11Key);
    return true;
}

bool BootloaderLink::probeF09(UblDevice& device) {
    hidlink::DeviceInfo info;
    const auto match = findAndOpen({isF09Collection, kF09Key, false}, info);
    if (!match) return false;
    table_.closeCollection(kF09Key);
    device.vendorId = info.identity.vendorId;
    device.productId = info.identity.productId;
    device.usagePage = match->usagePage;
    device.usage = match->usage;
    device.version = info.versionNumber;
    device.subVersion = 0xFFFFFFFF;
    device.mode = match->usage == 0x11   ? TransportMode::Direct
                  : match->usage == 0x01 ? TransportMode::DirectShort
                                         : TransportMode::Wrapped;
    return true;
}

bool BootloaderLink::probeDevice(UblDevice& device) {
    if (probeF11(device)) {
        device.kind = DeviceKind::F11;
        return true;
    }
    if (probeF09(device)) {
        device.kind = DeviceKind::F09;
        return true;
    }
    device.kind = DeviceKind::None;
    return false;
}

bool BootloaderLink::openUblDevice(UblDevice& device, hidlink::DeviceInfo& info) {
    const bool f11 = device.kind == DeviceKind::F11;
    const int key = f11 ? kF11Key : kF09Key;
    if (!(f11 ? probeF11(device) : probeF09(device))) {
        device.result = kResultFailed;
        device.setError(f11 ? format("Device open error. No device (%d).", lastErrno_)
                            : "Device open error. No device.");
        return false;
    }
    const std::uint32_t shownPage = f11 ? 0xFF11 : 0xFF09;
    errno = 0;
    if (!table_.openCollection(device.vendorId, device.productId, device.usagePage, device.usage, key)) {
        lastErrno_ = errno;
        lastMessage_ = table_.backend().lastError();
        device.result = f11 ? kResultOpen : kResultFailed;
        device.setError(f11 ? format("KVHID open error (%d).", lastErrno_) : "KVHID open error.");
        log_.log(format("OpenKVHID error. PID:0x%04X VER:0x%04X USAGEPAGE:0x%04X USAGE:0x%04X REP_SIZE:%d",
                        device.productId, device.version, shownPage, device.usage, 0));
        return false;
    }
    if (!table_.getCollectionInfo(key, info)) {
        table_.closeCollection(key);
        device.result = kResultFailed;
        device.setError(f11 ? format("KVHID error (%d).", lastErrno_) : "KVHID error.");
        log_.log("GetKVHIDInfo error.");
        return false;
    }
    log_.log(format("Device opened. PID:0x%04X VER:0x%04X USAGEPAGE:0x%04X USAGE:0x%04X REP_SIZE:%d", device.productId,
                    device.version, shownPage, device.usage, static_cast<int>(info.caps.featureReportLength)));
    return true;
}

bool BootloaderLink::closeUblDevice(const UblDevice& device) {
    const int key = device.kind == DeviceKind::F11 ? kF11Key : kF09Key;
    if (table_.closeCollection(key)) return true;
    log_.log("CloseKVHID error.");
    return false;
}

bool BootloaderLink::set(int key, std::span<const std::uint8_t> frame, TransportMode mode) {
    if (mode == TransportMode::None) return false;
    if (mode == TransportMode::WrappedPaused) clock_.sleepMs(10);
    errno = 0;
    if (controllerlink::setFeature(table_, frame.size(), frame, key)) return true;
    noteFailure(key);
    return false;
}

bool BootloaderLink::getOnce(int key, std::span<std::uint8_t> buffer) {
    errno = 0;
    if (controllerlink::getFeature(table_, buffer[0], buffer.size(), buffer, key)) return true;
    noteFailure(key);
    return false;
}

bool BootloaderLink::get(int key, std::span<std::uint8_t> buffer, TransportMode mode) {
    if (buffer.empty() || mode == TransportMode::None) return false;
    if (mode == TransportMode::WrappedPaused) clock_.sleepMs(10);
    if (mode != TransportMode::Wrapped) return getOnce(key, buffer);
    for (int attempt = 1;; ++attempt) {
        if (getOnce(key, buffer)) return true;
        log_.logError("UBL_GetFeature error.", lastMessage_);
        if (attempt == 3) {
            log_.logError("UBL_GetFeature timeout.", lastMessage_);
            return false;
        }
        clock_.sleepMs(1);
    }
}

bool BootloaderLink::setFeatureF11(std::span<const std::uint8_t> frame, TransportMode mode) {
    return set(kF11Key, frame, mode);
}
bool BootloaderLink::getFeatureF11(std::span<std::uint8_t> buffer, TransportMode mode) {
    return get(kF11Key, buffer, mode);
}
bool BootloaderLink::setFeatureF09(std::span<const std::uint8_t> frame, TransportMode mode) {
    return set(kF09Key, frame, mode);
}
bool BootloaderLink::getFeatureF09(std::span<std::uint8_t> buffer, TransportMode mode) {
    return get(kF09Key, buffer, mode);
}

}  // namespace romwrite
