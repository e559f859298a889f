// The bare pattern of a firmware check: the sleeps and the number of feature transfers a probe
// run counted, replayed with nothing in between, against the simulator VORLICK_HID names (a
// table device with the touch maintenance collection, at the same per-transfer latency).
// Prints the wall time of the replay in milliseconds.
// Usage: bare_replay TRANSFERS SLEEPS_FILE   (SLEEPS_FILE: one sleep in ms a line)
#include <array>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "hidlink/backend.h"
#include "hidlink/device_table.h"
#include "platform/clock.h"

namespace {

bool parseCount(const std::string& text, std::uint64_t& out) {
    const char* end = text.data() + text.size();
    auto [at, ec] = std::from_chars(text.data(), end, out);
    return ec == std::errc() && at == end;
}

}  // namespace

int main(int argc, char** argv) {
    std::uint64_t transfers = 0;
    if (argc != 3 || !parseCount(argv[1], transfers)) {
        std::fputs("usage: bare_replay TRANSFERS SLEEPS_FILE\n", stderr);
        return 2;
    }
    std::vector<std::uint32_t> sleeps;
    std::ifstream in(argv[2]);
    if (!in) {
        std::fprintf(stderr, "bare_replay: cannot read %s\n", argv[2]);
        return 2;
    }
    for (std::string line; std::getline(in, line);) {
        std::uint64_t ms = 0;
        if (line.empty()) continue;
        if (!parseCount(line, ms) || ms > UINT32_MAX) {
            std::fprintf(stderr, "bare_replay: not a sleep in ms: '%s'\n", line.c_str());
            return 2;
        }
        sleeps.push_back(static_cast<std::uint32_t>(ms));
    }

    std::string error;
    std::unique_ptr<hidlink::Backend> backend = hidlink::makeBackendFromEnvironment(error);
    if (!backend) {
        std::fprintf(stderr, "bare_replay: %s\n", error.c_str());
        return 1;
    }
    hidlink::DeviceTable table(*backend);
    std::vector<hidlink::CollectionIdentity> found;
    table.enumerateCollections(found, 64);
    const hidlink::CollectionIdentity* touch = nullptr;
    for (const hidlink::CollectionIdentity& c : found)
        if (touch == nullptr && c.usagePage == 0xFF11 && c.usage == 0x11) touch = &c;
    if (touch == nullptr || !table.openCollection(touch->vendorId, touch->productId, 0xFF11, 0x11, 1)) {
        std::fputs("bare_replay: no collection 0xFF11/0x11\n", stderr);
        return 1;
    }
    const auto entry = table.entry(1);
    std::array<std::uint8_t, 64> report{9};
    platform::Clock& clock = platform::systemClock();

    const auto t0 = std::chrono::steady_clock::now();
    for (const std::uint32_t ms : sleeps) clock.sleepMs(ms);
    for (std::uint64_t i = 0; i < transfers; ++i)
        if (!entry->setFeature(report)) {
            std::fputs("bare_replay: a transfer failed\n", stderr);
            return 1;
        }
    const auto t1 = std::chrono::steady_clock::now();
    std::printf("%.1f\n", std::chrono::duration<double, std::milli>(t1 - t0).count());
    return 0;
}
