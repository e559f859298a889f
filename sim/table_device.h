#pragma once
// A plain device that answers feature requests from a table: each get of report id N returns
// the bytes last stored for N (by the table or by a set of that report). Enough to exercise
// the plumbing: discovery, transfers, input delivery, plug state.
#include <map>
#include <mutex>
#include <vector>

#include "sim/descriptor_builder.h"
#include "sim/virtual_device.h"

namespace sim {

class TableDevice final : public VirtualDevice {
public:
    // One interface per entry of `interfaces`, each with its collections.
    TableDevice(UsbIdentity usb, const std::vector<std::vector<CollectionSpec>>& interfaces);

    // The answer of a get of report `report[0]` on `iface`.
    void setAnswer(std::size_t iface, std::vector<std::uint8_t> report);
    std::vector<std::vector<std::uint8_t>> setsReceived(std::size_t iface) const;
    void pushInput(std::size_t iface, std::vector<std::uint8_t> report);
    void setUsbIdentity(UsbIdentity usb);

    UsbIdentity usbIdentity() const override;
    std::size_t interfaceCount() const override { return descriptors_.size(); }
    std::vector<std::uint8_t> reportDescriptor(std::size_t iface) const override;
    long getFeature(std::size_t iface, std::span<std::uint8_t> report) override;
    bool setFeature(std::size_t iface, std::span<const std::uint8_t> report) override;

private:
    mutable std::mutex mutex_;
    UsbIdentity usb_;
    std::vector<std::vector<std::uint8_t>> descriptors_;
    std::map<std::pair<std::size_t, std::uint8_t>, std::vector<std::uint8_t>> answers_;
    std::map<std::size_t, std::vector<std::vector<std::uint8_t>>> sets_;
};

// The touch (0xFF11/0x11) and pen (0xFF11/0x02) collections of an R6 controller on one
// interface, with the maintenance report lengths.
std::vector<CollectionSpec> r6MaintenanceCollections();

}  // namespace sim
