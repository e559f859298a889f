// One maintenance round trip (set 64 bytes, get 64 bytes) through the in-process bus and
// through vorlick-sim's socket, to show what the socket costs a station run against the
// simulator.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>

#include "controllerlink/vendor_ids.h"
#include "hidlink/socket_backend.h"
#include "platform/clock.h"
#include "sim/descriptor_builder.h"
#include "sim/sim_server.h"
#include "sim/table_device.h"
#include "sim/virtual_bus.h"

namespace {

// Keeps only the last report set per id, so millions of iterations cost no memory.
class LastSetDevice final : public sim::VirtualDevice {
public:
    sim::UsbIdentity usbIdentity() const override {
        return {static_cast<std::uint16_t>(controllerlink::VID_PRIMARY), 0x0112, 0x0100};
    }
    std::size_t interfaceCount() const override { return 1; }
    std::vector<std::uint8_t> reportDescriptor(std::size_t) const override { return descriptor_; }
    long getFeature(std::size_t, std::span<std::uint8_t> report) override {
        const std::size_t n = std::min(report.size(), last_.size());
        std::copy_n(last_.begin(), n, report.begin());
        return static_cast<long>(n);
    }
    bool setFeature(std::size_t, std::span<const std::uint8_t> report) override {
        last_.assign(report.begin(), report.end());
        return true;
    }

private:
    std::vector<std::uint8_t> descriptor_ = sim::buildVendorDescriptor(sim::r6MaintenanceCollections());
    std::vector<std::uint8_t> last_ = std::vector<std::uint8_t>(64, 0);
};

struct Rig {
    platform::VirtualClock clock;
    sim::VirtualBus bus{clock};
    Rig() { bus.addDevice(std::make_shared<LastSetDevice>()); }
};

void roundTrips(benchmark::State& state, hidlink::Backend& backend) {
    std::vector<hidlink::CollectionDesc> all;
    if (!backend.enumerate(all, 100) || all.empty()) return state.SkipWithError("no collection");
    auto conn = backend.open(all[0], hidlink::OpenMode::Feature);
    if (!conn) return state.SkipWithError("cannot open");
    std::vector<std::uint8_t> set(64, 0x5A), get(64, 0);
    set[0] = 0x09;
    for (auto _ : state) {
        get[0] = 0x09;
        if (!conn->setFeature(set) || !conn->getFeature(get)) return state.SkipWithError("transfer failed");
        benchmark::DoNotOptimize(get.data());
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_FeatureRoundTrip_InProcess(benchmark::State& state) {
    Rig rig;
    sim::InProcessBackend backend(rig.bus);
    roundTrips(state, backend);
}
BENCHMARK(BM_FeatureRoundTrip_InProcess);

void BM_FeatureRoundTrip_Socket(benchmark::State& state) {
    Rig rig;
    char dir[] = "/tmp/vsimbench.XXXXXX";
    if (::mkdtemp(dir) == nullptr) return state.SkipWithError("no temp dir");
    const std::string socket = std::string(dir) + "/sim.sock";
    sim::SimServer server(rig.bus);
    std::string error;
    if (!server.start(socket, error)) return state.SkipWithError(error.c_str());
    {
        auto backend = hidlink::connectSocketBackend(socket, error);
        if (!backend) return state.SkipWithError(error.c_str());
        roundTrips(state, *backend);
    }
    server.stop();
    ::rmdir(dir);
}
BENCHMARK(BM_FeatureRoundTrip_Socket);

}  // namespace
