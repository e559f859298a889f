#pragma once
// Real controllers through the kernel's hidraw nodes: sysfs for discovery, /dev/hidrawN for
// transfers. Both roots are parameters so tests run on a fixture tree.
#include <string>

#include "hidlink/backend.h"

namespace hidlink {

class HidrawBackend final : public Backend {
public:
    explicit HidrawBackend(std::string sysfsRoot = "/sys", std::string devRoot = "/dev");
    bool enumerate(std::vector<CollectionDesc>& out, std::size_t limit) override;
    std::unique_ptr<Connection> open(const CollectionDesc& desc, OpenMode mode) override;

private:
    std::string sysfsRoot_;
    std::string devRoot_;
};

}  // namespace hidlink
