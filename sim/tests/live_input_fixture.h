#pragma once
// A virtual controller whose input streams a test reads straight off the bus, with the virtual
// clock moved scan by scan and an operator script given as text.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/operator_script.h"
#include "sim/tests/controller_fixture.h"

namespace simtest {

inline sim::OperatorScript operatorScript(const std::vector<std::string>& lines) {
    sim::OperatorScript s;
    int n = 0;
    for (const auto& l : lines) {
        std::string why;
        EXPECT_TRUE(sim::parseOperatorLine(l, ++n, s, why)) << l << ": " << why;
    }
    return s;
}

class LiveBench : public ControllerBench {
public:
    explicit LiveBench(sim::ControllerConfig config = quietConfig()) : ControllerBench(std::move(config)) {
        bus.advance();  // plugged in: the operator's timeline starts now
    }

    // A reader of every input report of `iface` from now on; 0 when the interface is absent.
    int reader(std::size_t iface) {
        for (const auto& c : bus.enumerate())
            if (c.deviceId == deviceId && c.iface == iface)
                if (const auto r = bus.openReader(deviceId, c.generation, iface)) return *r;
        return 0;
    }

    // Reports waiting for `readerId`, oldest first.
    std::vector<Bytes> drain(int readerId) {
        std::vector<Bytes> out;
        for (;;) {
            Bytes buf(8193);
            const hidlink::ReadResult r = bus.readInput(readerId, buf, 0);
            if (r.status != hidlink::ReadStatus::Ok) return out;
            buf.resize(r.length);
            out.push_back(std::move(buf));
        }
    }

    // Moves the bus clock by `ms`, one scan period at a time.
    void run(std::uint64_t ms) {
        for (std::uint64_t t = 0; t < ms; t += 10) {
            clock.advance(10);
            bus.advance();
        }
    }

    bool reportType(std::uint8_t type) { return set(kTouch, report({3, type}, 64)); }
};

}  // namespace simtest
