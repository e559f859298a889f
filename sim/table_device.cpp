#include "sim/table_device.h"

#include <algorithm>
#include <cstring>

namespace sim {

TableDevice::TableDevice(UsbIdentity usb, const std::vector<std::vector<CollectionSpec>>& interfaces) : usb_(usb) {
    for (const auto& iface : interfaces) descriptors_.push_back(buildVendorDescriptor(iface));
}

void TableDevice::setAnswer(std::size_t iface, std::vector<std::uint8_t> report) {
    if (report.empty()) return;
    std::lock_guard lock(mutex_);
    answers_[{iface, report[0]}] = std::move(report);
}

std::vector<std::vector<std::uint8_t>> TableDevice::setsReceived(std::size_t iface) const {
    std::lock_guard lock(mutex_);
    auto it = sets_.find(iface);
    return it == sets_.end() ? std::vector<std::vector<std::uint8_t>>{} : it->second;
}

void TableDevice::pushInput(std::size_t iface, std::vector<std::uint8_t> report) {
    if (DeviceHost* h = host()) h->postInput(*this, iface, std::move(report));
}

void TableDevice::setUsbIdentity(UsbIdentity usb) {
    std::lock_guard lock(mutex_);
    usb_ = usb;
}

UsbIdentity TableDevice::usbIdentity() const {
    std::lock_guard lock(mutex_);
    return usb_;
}

std::vector<std::uint8_t> TableDevice::reportDescriptor(std::size_t iface) const {
    return iface < descriptors_.size() ? descriptors_[iface] : std::vector<std::uint8_t>{};
}

long TableDevice::getFeature(std::size_t iface, std::span<std::uint8_t> report) {
    std::lock_guard lock(mutex_);
    auto it = answers_.find({iface, report[0]});
    if (it == answers_.end()) return -1;
    const std::size_t n = std::min(report.size(), it->second.size());
    std::memcpy(report.data(), it->second.data(), n);
    return static_cast<long>(n);
}

bool TableDevice::setFeature(std::size_t iface, std::span<const std::uint8_t> report) {
    std::lock_guard lock(mutex_);
    sets_[iface].emplace_back(report.begin(), report.end());
    // A set makes the next get of the same id answer what was set.
    answers_[{iface, report[0]}] = std::vector<std::uint8_t>(report.begin(), report.end());
    return true;
}

std::vector<CollectionSpec> r6MaintenanceCollections() {
    using R = ReportSpec;
    CollectionSpec touch{
        0xFF11,
        0x11,
        {{R::Feature, 2, 2}, {R::Feature, 3, 64}, {R::Feature, 4, 16}, {R::Feature, 9, 64}, {R::Input, 1, 64}}};
    CollectionSpec pen{0xFF11,
                       0x02,
                       {{R::Feature, 5, 9},
                        {R::Feature, 11, 64},
                        {R::Feature, 0x10, 66},
                        {R::Feature, 0x12, 64},
                        {R::Input, 15, 64},
                        {R::Input, 6, 16}}};
    return {touch, pen};
}

}  // namespace sim
