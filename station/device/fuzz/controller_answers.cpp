// Controller answers from the fuzzer's bytes: every command operation and the Hsync tunnel
// must stay inside their arrays and end, whatever the controller sends.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <vector>

#include "controllerlink/device_link_base.h"
#include "hidlink/backend.h"
#include "platform/clock.h"
#include "station/device/device_link.h"
#include "station/device/hsync_tunnel.h"

namespace {

struct Input {
    const std::uint8_t* data;
    std::size_t size;
    std::uint8_t byte() {
        if (size == 0) return 0;
        --size;
        return *data++;
    }
};

class FuzzConnection final : public hidlink::Connection {
public:
    FuzzConnection(hidlink::CollectionDesc d, Input& in) : Connection(std::move(d)), in_(in) {}

protected:
    long doGetFeature(std::span<std::uint8_t> report) override {
        if (in_.size == 0) return -1;
        // One length byte, then that many answer bytes (at most the report).
        const std::size_t n = std::min<std::size_t>({in_.byte() * 8u + 1u, report.size(), in_.size});
        std::memcpy(report.data(), in_.data, n);
        in_.data += n;
        in_.size -= n;
        return static_cast<long>(n);
    }
    bool doSetFeature(std::span<const std::uint8_t>) override { return in_.size != 0; }
    hidlink::ReadResult doReadInput(std::span<std::uint8_t>, int) override { return {hidlink::ReadStatus::Timeout, 0}; }
    void doClose() override {}

private:
    Input& in_;
};

class FuzzBackend final : public hidlink::Backend {
public:
    FuzzBackend(Input& in, std::uint16_t touchUsage) : in_(in), touchUsage_(touchUsage) {}
    bool enumerate(std::vector<hidlink::CollectionDesc>& out, std::size_t limit) override {
        for (std::uint16_t usage : {touchUsage_, static_cast<std::uint16_t>(touchUsage_ == 0x0B ? 0x0A : 0x02)}) {
            if (out.size() >= limit) break;
            hidlink::CollectionDesc d;
            d.identity = {0x3A1C, 0x0A52, 0xFF11, usage};
            d.path = "fuzz";
            d.numbered = true;
            d.caps.usagePage = 0xFF11;
            d.caps.usage = usage;
            d.caps.featureReportLength = 1024;
            out.push_back(d);
        }
        return true;
    }
    std::unique_ptr<hidlink::Connection> open(const hidlink::CollectionDesc& desc, hidlink::OpenMode) override {
        return std::make_unique<FuzzConnection>(desc, in_);
    }

private:
    Input& in_;
    std::uint16_t touchUsage_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input in{data, size};
    const std::uint8_t setup = in.byte();
    FuzzBackend backend(in, (setup & 1) != 0 ? 0x0B : 0x11);
    hidlink::DeviceTable table(backend);
    platform::VirtualClock clock;
    station::DeviceLink touch(table, controllerlink::TOUCH_KEY, clock);
    station::DeviceLink pen(table, controllerlink::PEN_KEY, clock);
    const std::uint16_t touchUsage = (setup & 1) != 0 ? 0x0B : 0x11;
    if (!touch.open({0x3A1C, 0x0A52, 0xFF11, touchUsage})) return 0;
    if (!pen.open({0x3A1C, 0x0A52, 0xFF11, static_cast<std::uint32_t>(touchUsage == 0x0B ? 0x0A : 0x02)})) return 0;
    // Any counts another register image could announce.
    const std::uint8_t rx = in.byte();
    const std::uint8_t tx = in.byte();
    touch.setLineCounts(rx, tx);
    for (int step = 0; step < 16 && in.size != 0; ++step) {
        std::uint16_t value = 0;
        switch (in.byte() % 11) {
            case 0:
                touch.readRegisters();
                break;
            case 1:
                touch.readRawAverage(in.byte() % 4u, in.byte() % 4u, in.byte() & 1);
                break;
            case 2:
                touch.readStandardDeviation(in.byte() % 4u, in.byte() % 4u, 0);
                break;
            case 3:
                touch.readActualAverage(in.byte() % 4u, in.byte() % 4u, (in.byte() & 1) != 0);
                break;
            case 4:
                touch.runPinCheck(1, 1);
                break;
            case 5:
                touch.readCalibrationTable();
                break;
            case 6:
                touch.readMaintenanceVersion();
                break;
            case 7:
                touch.readTouchQuery();
                break;
            case 8:
                pen.readPenQuery((in.byte() & 1) != 0 ? controllerlink::ControllerGeneration::R5
                                                      : controllerlink::ControllerGeneration::R6);
                break;
            case 9:
                pen.readHsyncDirect();
                break;
            case 10:
                station::hsyncRequest(pen, station::kHsyncSample, value);
                break;
        }
    }
    return 0;
}
