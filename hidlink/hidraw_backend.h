#pragma once
// Real controllers through the kernel's hidraw nodes: sysfs for discovery, /dev/hidrawN for
// transfers. Both roots are parameters so tests run on a fixture tree.
#include <map>
#include <memory>
#include <mutex>
#include <span>
#include <string>

#include "hidlink/backend.h"
#include "hidlink/device_lock.h"
#include "platform/clock.h"

namespace hidlink {

// The feature requests a connection makes on its open node: the kernel's by default, a stand-in
// device in tests (this machine has no controller).
class HidrawIo {
public:
    virtual ~HidrawIo() = default;
    // HIDIOCGFEATURE(buffer.size()) with buffer[0] the report id: the answer's length, id
    // included, or -1 with errno set.
    virtual int getFeature(int fd, std::span<std::uint8_t> buffer) = 0;
    // HIDIOCSFEATURE(report.size()), report[0] the report id: bytes sent, or -1 with errno set.
    virtual int setFeature(int fd, std::span<const std::uint8_t> report) = 0;
    // open(2) of a node: a descriptor, or -1 with errno set.
    virtual int openNode(const std::string& path, int flags);
};
HidrawIo& kernelHidrawIo();

class HidrawBackend final : public Backend {
public:
    // `clock` measures what is left of an input read's timeout after a signal or a report
    // that belongs to another collection of the same node.
    explicit HidrawBackend(std::string sysfsRoot = "/sys", std::string devRoot = "/dev",
                           platform::Clock& clock = platform::systemClock());
    // Lists every top-level collection of every hidraw node, nodes in numeric order. A node
    // whose identity or descriptor cannot be read or parsed is skipped. False only when the
    // sysfs root itself cannot be read.
    bool enumerate(std::vector<CollectionDesc>& out, std::size_t limit) override;
    // Re-checks the node in sysfs before opening it, so a stale path fails instead of opening
    // whatever device took that node number since.
    // Opening also takes the device's lock file (see lockDir), shared by every collection this
    // backend opens on that USB device; another program's lock refuses the open.
    std::unique_ptr<Connection> open(const CollectionDesc& desc, OpenMode mode) override;
    // Opens the node read/write and closes it at once.
    std::string probeOpen(const CollectionDesc& desc) override;
    // udev's hidraw events on the machine's own tree (/sys and /dev); none for another tree (a
    // fixture's events do not come from udev) or where udev does not run.
    std::unique_ptr<ChangeMonitor> watchChanges() override;

    // Set these before the first open. The lock files, one per USB device named after its
    // place in sysfs, go in `dir` (platform::runtimeDirectory()); `owner` is the name they record.
    void setLockDir(std::string dir) { lockDir_ = std::move(dir); }
    void setOwner(std::string owner) { owner_ = std::move(owner); }
    void setIo(HidrawIo& io) { io_ = &io; }

private:
    std::shared_ptr<platform::LockFile> lockDevice(const std::string& lockName, const std::string& nodePath);

    std::string sysfsRoot_;
    std::string devRoot_;
    platform::Clock* clock_;
    HidrawIo* io_;
    std::string lockDir_;
    std::string owner_;
    std::mutex locksMutex_;
    std::map<std::string, std::weak_ptr<platform::LockFile>> locks_;
};

}  // namespace hidlink
