#include "sim/virtual_bus.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "hidlink/descriptor.h"
#include "hidlink/sim_protocol.h"
#include "platform/clock.h"

namespace sim {

VirtualBus::VirtualBus(platform::Clock& clock) : clock_(clock) {}

VirtualBus::~VirtualBus() {
    shutdown();
    std::lock_guard lock(mutex_);
    for (auto& [id, s] : slots_) s.device->attach(nullptr);
}

int VirtualBus::addDevice(std::shared_ptr<VirtualDevice> device) {
    device->attach(this);
    std::lock_guard lock(mutex_);
    const int id = nextDeviceId_++;
    Slot s;
    s.device = std::move(device);
    s.generation = nextGeneration_++;
    slots_.emplace(id, std::move(s));
    noteChangeLocked();
    return id;
}

VirtualBus::Slot* VirtualBus::slotLocked(int deviceId) {
    auto it = slots_.find(deviceId);
    return it == slots_.end() ? nullptr : &it->second;
}

bool VirtualBus::presentLocked(Slot& s) {
    if (!s.plugged) return false;
    if (s.returning) {
        if (clock_.monotonicMs() < s.backAtMs) return false;
        s.returning = false;
        s.generation = nextGeneration_++;
        noteChangeLocked();
    }
    return true;
}

void VirtualBus::noteChangeLocked() {
    ++changes_;
    busChanged_.notify_all();
}

bool VirtualBus::bringBackDueLocked() {
    bool away = false;
    for (auto& [id, s] : slots_)
        if (!presentLocked(s) && s.plugged && s.returning) away = true;
    return away;
}

std::uint64_t VirtualBus::changeCount() {
    std::lock_guard lock(mutex_);
    bringBackDueLocked();
    return changes_;
}

std::uint64_t VirtualBus::waitForChange(std::uint64_t seen, int maxWaitMs) {
    // A device away for a re-enumeration comes back on the bus clock, which no one signals:
    // look again this often while one is away.
    constexpr auto kReturnPoll = std::chrono::milliseconds(10);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(maxWaitMs, 0));
    std::unique_lock lock(mutex_);
    for (;;) {
        const bool away = bringBackDueLocked();
        const auto now = std::chrono::steady_clock::now();
        if (changes_ != seen || shutdown_ || now >= deadline) return changes_;
        busChanged_.wait_until(lock, away ? std::min(deadline, now + kReturnPoll) : deadline);
    }
}

void VirtualBus::dropReadersLocked(int deviceId) {
    for (auto it = readers_.begin(); it != readers_.end();)
        it = it->second.deviceId == deviceId ? readers_.erase(it) : std::next(it);
    inputArrived_.notify_all();
}

void VirtualBus::unplug(int deviceId) {
    std::lock_guard lock(mutex_);
    if (Slot* s = slotLocked(deviceId)) {
        if (s->plugged) noteChangeLocked();
        s->plugged = false;
        s->returning = false;
        dropReadersLocked(deviceId);
    }
}

void VirtualBus::replug(int deviceId) {
    std::shared_ptr<VirtualDevice> dev;
    {
        std::lock_guard lock(mutex_);
        Slot* s = slotLocked(deviceId);
        if (s == nullptr || s->plugged) return;
        dev = s->device;
    }
    // The device powers up before the host sees it (device handlers run without the bus lock).
    dev->powerCycle();
    std::lock_guard lock(mutex_);
    if (Slot* s = slotLocked(deviceId); s != nullptr && !s->plugged) {
        s->plugged = true;
        s->returning = false;
        s->generation = nextGeneration_++;
        noteChangeLocked();
    }
}

bool VirtualBus::present(int deviceId) {
    std::lock_guard lock(mutex_);
    Slot* s = slotLocked(deviceId);
    return s != nullptr && presentLocked(*s);
}

std::shared_ptr<VirtualDevice> VirtualBus::device(int deviceId) {
    std::lock_guard lock(mutex_);
    Slot* s = slotLocked(deviceId);
    return s != nullptr ? s->device : nullptr;
}

std::vector<int> VirtualBus::deviceIds() {
    std::lock_guard lock(mutex_);
    std::vector<int> ids;
    for (const auto& [id, s] : slots_) ids.push_back(id);
    return ids;
}

void VirtualBus::setFaults(int deviceId, const TransportFaults& faults) {
    std::lock_guard lock(mutex_);
    if (Slot* s = slotLocked(deviceId)) {
        s->faults = faults;
        s->transfers = 0;
    }
}

TransportFaults VirtualBus::faults(int deviceId) {
    std::lock_guard lock(mutex_);
    Slot* s = slotLocked(deviceId);
    return s != nullptr ? s->faults : TransportFaults{};
}

void VirtualBus::setOpenRefused(int deviceId, std::string reason) {
    std::lock_guard lock(mutex_);
    if (Slot* s = slotLocked(deviceId); s != nullptr && s->openRefused != reason) {
        s->openRefused = std::move(reason);
        noteChangeLocked();
    }
}

std::string VirtualBus::openRefused(int deviceId) {
    std::lock_guard lock(mutex_);
    Slot* s = slotLocked(deviceId);
    return s != nullptr ? s->openRefused : std::string{};
}

std::vector<BusInterface> VirtualBus::interfaces() {
    advance();
    struct Live {
        int id;
        std::uint64_t generation;
        std::shared_ptr<VirtualDevice> device;
    };
    std::vector<Live> live;
    {
        std::lock_guard lock(mutex_);
        for (auto& [id, s] : slots_)
            if (presentLocked(s)) live.push_back({id, s.generation, s.device});
    }
    std::vector<BusInterface> out;
    for (const auto& [id, generation, dev] : live) {
        const UsbIdentity usb = dev->usbIdentity();
        for (std::size_t iface = 0; iface < dev->interfaceCount(); ++iface)
            out.push_back({id, generation, iface, usb, dev->reportDescriptor(iface)});
    }
    return out;
}

std::vector<BusCollection> VirtualBus::enumerate() {
    std::vector<BusCollection> out;
    for (const BusInterface& i : interfaces()) {
        const auto parsed = hidlink::parseReportDescriptor(i.descriptor);
        if (!parsed) continue;  // an unusable interface is skipped, as on a real bus
        const auto path = hidlink::simwire::interfacePath(static_cast<std::uint32_t>(i.deviceId),
                                                          static_cast<std::uint32_t>(i.iface));
        for (auto& d : hidlink::describeCollections(*parsed, i.usb.vendorId, i.usb.productId, i.usb.version, path))
            out.push_back({i.deviceId, i.generation, i.iface, std::move(d)});
    }
    return out;
}

bool VirtualBus::admitTransfer(int deviceId, std::uint64_t generation) {
    std::uint32_t latency = 0;
    {
        std::lock_guard lock(mutex_);
        Slot* s = slotLocked(deviceId);
        if (s == nullptr || !presentLocked(*s) || s->generation != generation) return false;
        latency = s->faults.latencyMs;
    }
    if (latency > 0) clock_.sleepMs(latency);
    std::lock_guard lock(mutex_);
    Slot* s = slotLocked(deviceId);
    if (s == nullptr || !presentLocked(*s) || s->generation != generation) return false;
    ++s->transfers;
    if (s->faults.refuseAll) return false;
    if (s->faults.refuseNth != 0 && s->transfers == s->faults.refuseNth) return false;
    return true;
}

long VirtualBus::getFeature(int deviceId, std::uint64_t generation, std::size_t iface, std::span<std::uint8_t> report) {
    advance();
    if (!admitTransfer(deviceId, generation)) return -1;
    auto dev = device(deviceId);
    if (!dev || iface >= dev->interfaceCount()) return -1;
    const long n = dev->getFeature(iface, report);
    return std::min<long>(n, static_cast<long>(report.size()));
}

bool VirtualBus::setFeature(int deviceId, std::uint64_t generation, std::size_t iface,
                            std::span<const std::uint8_t> report) {
    advance();
    if (!admitTransfer(deviceId, generation)) return false;
    auto dev = device(deviceId);
    if (!dev || iface >= dev->interfaceCount()) return false;
    return dev->setFeature(iface, report);
}

void VirtualBus::noteOpened(int deviceId, std::uint64_t generation, std::size_t iface) {
    std::shared_ptr<VirtualDevice> dev;
    {
        std::lock_guard lock(mutex_);
        Slot* s = slotLocked(deviceId);
        if (s == nullptr || !presentLocked(*s) || s->generation != generation) return;
        dev = s->device;
    }
    if (iface < dev->interfaceCount()) dev->opened(iface);
}

std::optional<int> VirtualBus::openReader(int deviceId, std::uint64_t generation, std::size_t iface) {
    std::lock_guard lock(mutex_);
    Slot* s = slotLocked(deviceId);
    if (s == nullptr || !presentLocked(*s) || s->generation != generation) return std::nullopt;
    const int id = nextReaderId_++;
    readers_[id] = Reader{deviceId, generation, iface, {}};
    return id;
}

void VirtualBus::advance() {
    std::lock_guard serial(advanceMutex_);
    std::vector<std::shared_ptr<VirtualDevice>> present;
    {
        std::lock_guard lock(mutex_);
        for (auto& [id, s] : slots_)
            if (presentLocked(s)) present.push_back(s.device);
    }
    const std::uint64_t now = clock_.monotonicMs();
    for (auto& d : present) d->advance(now);
}

hidlink::ReadResult VirtualBus::readInput(int readerId, std::span<std::uint8_t> buffer, int timeoutMs) {
    advance();
    std::unique_lock lock(mutex_);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
    for (;;) {
        auto it = readers_.find(readerId);
        if (shutdown_ || it == readers_.end()) return {hidlink::ReadStatus::Disconnected, 0};
        if (!it->second.queue.empty()) {
            std::vector<std::uint8_t> r = std::move(it->second.queue.front());
            it->second.queue.pop_front();
            const std::size_t n = std::min(r.size(), buffer.size());
            if (n > 0) std::memcpy(buffer.data(), r.data(), n);
            return {hidlink::ReadStatus::Ok, n};
        }
        // Input waits are transport time, not sequence time: they use the real clock, bounded.
        ++waitingReads_;
        const std::cv_status woke = inputArrived_.wait_until(lock, deadline);
        --waitingReads_;
        if (woke == std::cv_status::timeout) {
            it = readers_.find(readerId);
            if (it != readers_.end() && !it->second.queue.empty()) continue;
            return {hidlink::ReadStatus::Timeout, 0};
        }
    }
}

std::size_t VirtualBus::waitingReads() {
    std::lock_guard lock(mutex_);
    return waitingReads_;
}

void VirtualBus::closeReader(int readerId) {
    std::lock_guard lock(mutex_);
    readers_.erase(readerId);
    inputArrived_.notify_all();
}

bool VirtualBus::claim(int deviceId, const BusOwner& owner, std::string& holder) {
    std::lock_guard lock(mutex_);
    Slot* s = slotLocked(deviceId);
    if (s == nullptr) return false;
    if (s->claims > 0 && s->owner.id != owner.id) {
        holder = s->owner.name;
        return false;
    }
    if (s->claims++ == 0) s->owner = {owner.id, hidlink::printableOwner(owner.name)};
    return true;
}

void VirtualBus::release(int deviceId, std::uint64_t ownerId) {
    std::lock_guard lock(mutex_);
    Slot* s = slotLocked(deviceId);
    if (s == nullptr || s->claims == 0 || s->owner.id != ownerId) return;
    if (--s->claims == 0) s->owner = {};
}

void VirtualBus::shutdown() {
    std::lock_guard lock(mutex_);
    shutdown_ = true;
    inputArrived_.notify_all();
    busChanged_.notify_all();
}

void VirtualBus::postInput(VirtualDevice& device, std::size_t iface, std::vector<std::uint8_t> report) {
    if (report.empty()) return;  // a report always starts with its id
    std::lock_guard lock(mutex_);
    for (auto& [id, s] : slots_) {
        if (s.device.get() != &device) continue;
        if (!presentLocked(s)) return;
        for (auto& [rid, r] : readers_) {
            // A reader keeps at most a bounded backlog, like the kernel's per-file queue.
            if (r.deviceId == id && r.generation == s.generation && r.iface == iface) {
                if (r.queue.size() >= 4096) r.queue.pop_front();
                r.queue.push_back(report);
            }
        }
    }
    inputArrived_.notify_all();
}

void VirtualBus::reenumerate(VirtualDevice& device, std::uint32_t afterMs) {
    std::lock_guard lock(mutex_);
    for (auto& [id, s] : slots_) {
        if (s.device.get() != &device) continue;
        s.returning = true;
        s.backAtMs = clock_.monotonicMs() + afterMs;
        s.generation = nextGeneration_++;  // handles of the old enumeration fail from now on
        dropReadersLocked(id);
        noteChangeLocked();
    }
}

void VirtualBus::unplugSelf(VirtualDevice& device) {
    std::lock_guard lock(mutex_);
    for (auto& [id, s] : slots_) {
        if (s.device.get() != &device) continue;
        if (s.plugged) noteChangeLocked();
        s.plugged = false;
        s.returning = false;
        dropReadersLocked(id);
    }
}

namespace {

class InProcessConnection final : public hidlink::Connection {
public:
    InProcessConnection(VirtualBus& bus, hidlink::CollectionDesc desc, int deviceId, std::uint64_t generation,
                        std::size_t iface, std::optional<int> reader, std::uint64_t ownerId)
        : Connection(std::move(desc)),
          bus_(bus),
          deviceId_(deviceId),
          generation_(generation),
          iface_(iface),
          reader_(reader),
          ownerId_(ownerId) {}
    ~InProcessConnection() override { doClose(); }

protected:
    long doGetFeature(std::span<std::uint8_t> report) override {
        return bus_.getFeature(deviceId_, generation_, iface_, report);
    }
    bool doSetFeature(std::span<const std::uint8_t> report) override {
        return bus_.setFeature(deviceId_, generation_, iface_, report);
    }
    hidlink::ReadResult doReadInput(std::span<std::uint8_t> buffer, int timeoutMs) override {
        if (!reader_) return {hidlink::ReadStatus::Error, 0};
        return bus_.readInput(*reader_, buffer, timeoutMs);
    }
    void doClose() override {
        if (reader_) bus_.closeReader(*reader_);
        reader_.reset();
        if (ownerId_ != 0) bus_.release(deviceId_, ownerId_);
        ownerId_ = 0;
    }
    // Dropping the queue wakes the read; reader_ stays for doClose, which runs after.
    void doCancelRead() override {
        if (reader_) bus_.closeReader(*reader_);
    }

private:
    VirtualBus& bus_;
    int deviceId_;
    std::uint64_t generation_;
    std::size_t iface_;
    std::optional<int> reader_;
    std::uint64_t ownerId_;  // 0 once the claim is released
};

}  // namespace

bool InProcessBackend::enumerate(std::vector<hidlink::CollectionDesc>& out, std::size_t limit) {
    for (auto& c : bus_.enumerate()) {
        if (out.size() >= limit) break;
        out.push_back(std::move(c.desc));
    }
    return true;
}

std::unique_ptr<hidlink::Connection> InProcessBackend::open(const hidlink::CollectionDesc& desc,
                                                            hidlink::OpenMode mode) {
    std::uint32_t deviceId = 0, iface = 0;
    if (!hidlink::simwire::parseInterfacePath(desc.path, deviceId, iface)) return nullptr;
    for (const auto& c : bus_.enumerate()) {
        if (static_cast<std::uint32_t>(c.deviceId) != deviceId || c.iface != iface ||
            c.desc.collectionIndex != desc.collectionIndex)
            continue;
        if (const std::string why = bus_.openRefused(c.deviceId); !why.empty()) {
            setLastError("cannot open " + desc.path + ": " + why);
            return nullptr;
        }
        std::string holder;
        if (!bus_.claim(c.deviceId, owner_, holder)) {
            setLastError(hidlink::inUseText(desc.path, holder));
            return nullptr;
        }
        std::optional<int> reader;
        if (mode == hidlink::OpenMode::ReadOnly) {
            reader = bus_.openReader(c.deviceId, c.generation, c.iface);
            if (!reader) {
                bus_.release(c.deviceId, owner_.id);
                return nullptr;
            }
        }
        if (mode == hidlink::OpenMode::Feature) bus_.noteOpened(c.deviceId, c.generation, c.iface);
        return std::make_unique<InProcessConnection>(bus_, c.desc, c.deviceId, c.generation, c.iface, reader,
                                                     owner_.id);
    }
    return nullptr;
}

namespace {

class BusChangeMonitor final : public hidlink::ChangeMonitor {
public:
    explicit BusChangeMonitor(VirtualBus& bus) : bus_(bus), seen_(bus.changeCount()) {}
    bool changed() override {
        const std::uint64_t now = bus_.changeCount();
        const bool moved = now != seen_;
        seen_ = now;
        return moved;
    }

private:
    VirtualBus& bus_;
    std::uint64_t seen_;
};

}  // namespace

std::unique_ptr<hidlink::ChangeMonitor> InProcessBackend::watchChanges() {
    return std::make_unique<BusChangeMonitor>(bus_);
}

std::string InProcessBackend::probeOpen(const hidlink::CollectionDesc& desc) {
    std::uint32_t deviceId = 0, iface = 0;
    if (!hidlink::simwire::parseInterfacePath(desc.path, deviceId, iface)) return "not a simulator node";
    return bus_.openRefused(static_cast<int>(deviceId));
}

}  // namespace sim
