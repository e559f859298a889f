// Placeholder until the hidraw backend lands: sees no device.
#include "hidlink/hidraw_backend.h"

namespace hidlink {

HidrawBackend::HidrawBackend(std::string sysfsRoot, std::string devRoot)
    : sysfsRoot_(std::move(sysfsRoot)), devRoot_(std::move(devRoot)) {}

bool HidrawBackend::enumerate(std::vector<CollectionDesc>&, std::size_t) { return true; }

std::unique_ptr<Connection> HidrawBackend::open(const CollectionDesc&, OpenMode) { return nullptr; }

}  // namespace hidlink
