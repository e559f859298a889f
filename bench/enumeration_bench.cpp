// Discovery cost on a station PC with a hundred collections present: the hidraw backend's walk
// of sysfs (identity, descriptor, parse, bcdDevice) and the device table's enumeration on top.
#include <benchmark/benchmark.h>

#include <memory>

#include "controllerlink/device_link_base.h"
#include "hidlink/device_table.h"
#include "hidlink/hidraw_backend.h"
#include "hidlink/tests/sample_descriptors.h"
#include "hidlink/tests/sysfs_fixture.h"
#include "platform/clock.h"

namespace {

// 50 controllers of two collections each (touch and pen), built once for every benchmark.
hidlink::fixture::SysfsFixture& hundredCollections() {
    static const auto tree = [] {
        auto t = std::make_unique<hidlink::fixture::SysfsFixture>();
        for (unsigned n = 0; n < 50; ++n)
            t->add({n, 0x0003, 0x3A1C, static_cast<std::uint16_t>(0x100 + n), 0x0203,
                    hidlink::samples::kVendorController});
        return t;
    }();
    return *tree;
}

void BM_HidrawEnumerate100(benchmark::State& state) {
    auto& tree = hundredCollections();
    hidlink::HidrawBackend backend(tree.sysfsRoot(), tree.devRoot());
    std::vector<hidlink::CollectionDesc> out;
    for (auto _ : state) {
        out.clear();
        if (!backend.enumerate(out, controllerlink::kStationEnumerationLimit) || out.size() != 100)
            state.SkipWithError("fixture tree not enumerated");
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * 100);
}
BENCHMARK(BM_HidrawEnumerate100)->Unit(benchmark::kMicrosecond);

void BM_DeviceTableEnumerateCollections100(benchmark::State& state) {
    auto& tree = hundredCollections();
    hidlink::HidrawBackend backend(tree.sysfsRoot(), tree.devRoot());
    hidlink::DeviceTable table(backend);
    std::vector<hidlink::CollectionIdentity> ids;
    for (auto _ : state) {
        ids.clear();
        if (table.enumerateCollections(ids, controllerlink::kStationEnumerationLimit) != 100)
            state.SkipWithError("fixture tree not enumerated");
        benchmark::DoNotOptimize(ids.data());
    }
    state.SetItemsProcessed(state.iterations() * 100);
}
BENCHMARK(BM_DeviceTableEnumerateCollections100)->Unit(benchmark::kMicrosecond);

}  // namespace
