#pragma once
// The simulated USB bus: the devices plugged into it, their plug state and transport faults,
// and the input-report queues of every open reader. The in-process backend and the socket
// server both serve from one bus. Device handlers are never called with the bus lock held.
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "hidlink/backend.h"
#include "hidlink/device_lock.h"
#include "sim/virtual_device.h"

namespace sim {

struct TransportFaults {
    std::uint32_t latencyMs = 0;  // added to every feature transfer, on the bus clock
    std::uint64_t refuseNth = 0;  // refuse the Nth feature transfer from now (1-based; 0 off)
    bool refuseAll = false;       // refuse every feature transfer ("busy forever")
};

// A collection as the bus sees it: which device, which interface, and the parsed identity.
struct BusCollection {
    int deviceId = 0;
    std::uint64_t generation = 0;  // changes at every plug-in; stale handles fail
    std::size_t iface = 0;
    hidlink::CollectionDesc desc;
};

// One interface of a present device with the descriptor it gave, as the host reads it.
struct BusInterface {
    int deviceId = 0;
    std::uint64_t generation = 0;
    std::size_t iface = 0;
    UsbIdentity usb;
    std::vector<std::uint8_t> descriptor;
};

// A program holding devices of the bus: the id tells programs apart, the name is what a
// refused one is told.
struct BusOwner {
    std::uint64_t id = 0;
    std::string name;
};

class VirtualBus final : public DeviceHost {
public:
    explicit VirtualBus(platform::Clock& clock);
    ~VirtualBus() override;

    int addDevice(std::shared_ptr<VirtualDevice> device);  // plugged in at once
    void unplug(int deviceId);
    void replug(int deviceId);
    bool present(int deviceId);
    std::shared_ptr<VirtualDevice> device(int deviceId);
    std::vector<int> deviceIds();
    void setFaults(int deviceId, const TransportFaults& faults);
    TransportFaults faults(int deviceId);
    // Non-empty: every open of the device's nodes fails with this reason, as a node the user
    // has no permission on does ("Permission denied"); enumeration still lists the device.
    // Empty opens it again.
    void setOpenRefused(int deviceId, std::string reason);
    std::string openRefused(int deviceId);

    // Transport, in enumeration order: devices by id, interfaces, collections. interfaces()
    // lists every interface; enumerate() the collections of those whose descriptor parses.
    std::vector<BusInterface> interfaces();
    std::vector<BusCollection> enumerate();
    long getFeature(int deviceId, std::uint64_t generation, std::size_t iface, std::span<std::uint8_t> report);
    bool setFeature(int deviceId, std::uint64_t generation, std::size_t iface, std::span<const std::uint8_t> report);
    // A host opened a node for feature transfers: the device is told (some firmware notices).
    void noteOpened(int deviceId, std::uint64_t generation, std::size_t iface);
    // Readers: one queue per open read handle; every input report is copied to each.
    std::optional<int> openReader(int deviceId, std::uint64_t generation, std::size_t iface);
    hidlink::ReadResult readInput(int readerId, std::span<std::uint8_t> buffer, int timeoutMs);
    void closeReader(int readerId);
    // Reads blocked waiting for input right now (lets a test act while a read surely waits).
    std::size_t waitingReads();
    // One program per device: every handle a program opens claims the device, and its last
    // release frees it. Survives unplug and re-enumeration, as a lock on the physical device
    // does. False, with the holder's name in `holder`, while another program holds it.
    bool claim(int deviceId, const BusOwner& owner, std::string& holder);
    void release(int deviceId, std::uint64_t ownerId);
    // Brings every present device to the bus clock's now: streaming devices send the input
    // reports due by then, their operators act. Tests call it after moving a virtual clock;
    // vorlick-sim calls it on real time. Reads, enumerations and transfers call it too, so a
    // reader waiting on a virtual clock that others move still gets its reports.
    void advance();
    // Wakes every blocked reader (used when the bus shuts down).
    void shutdown();

    // Hotplug: counts every change of what enumeration lists (a device added, unplugged,
    // replugged, leaving for a re-enumeration and coming back, an open refusal set or lifted).
    // A device whose re-enumeration is due comes back here, so the count never waits for an
    // enumeration to notice it.
    std::uint64_t changeCount();
    // Waits at most `maxWaitMs` of real time until changeCount() differs from `seen`; returns it.
    std::uint64_t waitForChange(std::uint64_t seen, int maxWaitMs);

    // DeviceHost
    void postInput(VirtualDevice& device, std::size_t iface, std::vector<std::uint8_t> report) override;
    void reenumerate(VirtualDevice& device, std::uint32_t afterMs) override;
    void unplugSelf(VirtualDevice& device) override;
    platform::Clock& clock() override { return clock_; }

private:
    struct Slot {
        std::shared_ptr<VirtualDevice> device;
        bool plugged = true;
        std::uint64_t generation = 0;
        std::uint64_t backAtMs = 0;  // present again from this bus time after a re-enumeration
        bool returning = false;
        TransportFaults faults;
        std::string openRefused;
        std::uint64_t transfers = 0;
        BusOwner owner;
        std::size_t claims = 0;
    };
    struct Reader {
        int deviceId = 0;
        std::uint64_t generation = 0;
        std::size_t iface = 0;
        std::deque<std::vector<std::uint8_t>> queue;
    };
    Slot* slotLocked(int deviceId);
    bool presentLocked(Slot& s);
    // Checks plug state and faults; false refuses the transfer.
    bool admitTransfer(int deviceId, std::uint64_t generation);
    void dropReadersLocked(int deviceId);
    void noteChangeLocked();
    // Brings back every device whose re-enumeration is due; true while one is still away.
    bool bringBackDueLocked();

    platform::Clock& clock_;
    std::mutex advanceMutex_;  // one advance at a time, so reports keep their order
    std::mutex mutex_;
    std::condition_variable inputArrived_;
    std::condition_variable busChanged_;
    std::uint64_t changes_ = 0;
    std::map<int, Slot> slots_;
    std::map<int, Reader> readers_;
    int nextDeviceId_ = 0;
    int nextReaderId_ = 1;
    std::size_t waitingReads_ = 0;
    std::uint64_t nextGeneration_ = 1;
    bool shutdown_ = false;
};

// hidlink backend on a bus in this process (tests, benchmarks, the server's own use).
// Each backend is one program to the bus's device claims.
class InProcessBackend final : public hidlink::Backend {
public:
    explicit InProcessBackend(VirtualBus& bus, std::string owner = hidlink::programOwner())
        : bus_(bus), owner_{hidlink::newOwnerId(), std::move(owner)} {}
    bool enumerate(std::vector<hidlink::CollectionDesc>& out, std::size_t limit) override;
    std::unique_ptr<hidlink::Connection> open(const hidlink::CollectionDesc& desc, hidlink::OpenMode mode) override;
    std::string probeOpen(const hidlink::CollectionDesc& desc) override;
    // Counts the bus's changes: no thread, no wait.
    std::unique_ptr<hidlink::ChangeMonitor> watchChanges() override;

private:
    VirtualBus& bus_;
    BusOwner owner_;
};

}  // namespace sim
