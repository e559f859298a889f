#pragma once
// The in-process bus's backend with its enumerations counted, and a choice of hotplug monitor:
// the bus's own, none at all, or one whose source is lost (it can never tell).
#include <memory>
#include <string>
#include <vector>

#include "hidlink/backend.h"
#include "sim/virtual_bus.h"

namespace hidlink::testing {

class CountingBackend final : public Backend {
public:
    enum class Monitor { Bus, None, Lost };
    CountingBackend(sim::VirtualBus& bus, Monitor monitor) : inner_(bus), monitor_(monitor) {}

    bool enumerate(std::vector<CollectionDesc>& out, std::size_t limit) override {
        ++enumerations;
        return inner_.enumerate(out, limit);
    }
    std::unique_ptr<Connection> open(const CollectionDesc& desc, OpenMode mode) override {
        return inner_.open(desc, mode);
    }
    std::string probeOpen(const CollectionDesc& desc) override { return inner_.probeOpen(desc); }
    std::unique_ptr<ChangeMonitor> watchChanges() override {
        switch (monitor_) {
            case Monitor::Bus:
                return inner_.watchChanges();
            case Monitor::None:
                return nullptr;
            case Monitor::Lost:
                return std::make_unique<LostMonitor>();
        }
        return nullptr;
    }

    int enumerations = 0;

private:
    class LostMonitor final : public ChangeMonitor {
    public:
        bool changed() override { return true; }
    };
    sim::InProcessBackend inner_;
    Monitor monitor_;
};

}  // namespace hidlink::testing
