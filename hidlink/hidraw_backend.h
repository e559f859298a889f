#pragma once
// Real controllers through the kernel's hidraw nodes: sysfs for discovery, /dev/hidrawN for
// transfers. Both roots are parameters so tests run on a fixture tree.
#include <string>

#include "hidlink/backend.h"
#include "platform/clock.h"

namespace hidlink {

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
    std::unique_ptr<Connection> open(const CollectionDesc& desc, OpenMode mode) override;

private:
    std::string sysfsRoot_;
    std::string devRoot_;
    platform::Clock* clock_;
};

}  // namespace hidlink
