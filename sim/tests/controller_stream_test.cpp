// The controller's input streams, each decoded the way the station reads it: the maintenance
// touch reports by their announced contact format, the pen and home key reports by their
// layouts, the TKP line reports through the station's line statistics, the streamed frames
// through its frame assembler and the digitizer reports through its raw-input parser.
#include <gtest/gtest.h>

#include <cmath>
#include <optional>

#include "controllerlink/frame_assembler.h"
#include "controllerlink/line_statistics.h"
#include "controllerlink/raw_input.h"
#include "hidlink/descriptor.h"
#include "sim/tests/live_input_fixture.h"

namespace {

using simtest::Bytes;
using simtest::LiveBench;
using simtest::operatorScript;

struct Contact {
    std::uint8_t status = 0;
    unsigned id = 0, x = 0, y = 0;
};

// Touch frames from maintenance touch reports, as the drawing check assembles them: the first
// report of a frame carries the count, the others 0 and the same scan time; `slots` slots are
// decoded from every report.
class TouchFrames {
public:
    TouchFrames(std::uint8_t format, std::size_t slots) : format_(format), slots_(slots) {}

    void add(const Bytes& r) {
        const std::size_t slot = 7 + ((format_ & 1) ? 4 : 0) + ((format_ & 4) ? 4 : 0);
        ASSERT_GE(r.size(), 3 + slots_ * slot + 2);
        const unsigned scan = LiveBench::u16(r, 3 + slots_ * slot);
        if (r[2] != 0) {
            total_ = r[2];
            scan_ = scan;
            building_.clear();
        } else if (scan != scan_) {
            return;  // a stray follow-on report
        }
        for (std::size_t k = 0; k < slots_ && building_.size() < total_; ++k) {
            std::size_t at = 3 + k * slot;
            Contact c;
            c.status = r[at++];
            c.id = LiveBench::u16(r, at);
            at += 2 + ((format_ & 1) ? 4 : 0);
            c.x = LiveBench::u16(r, at);
            at += (format_ & 4) ? 4 : 2;
            c.y = LiveBench::u16(r, at);
            building_.push_back(c);
        }
        if (building_.size() == total_) frames.push_back(building_);
    }

    std::vector<std::vector<Contact>> frames;

private:
    std::uint8_t format_;
    std::size_t slots_;
    std::size_t total_ = 0;
    unsigned scan_ = 0;
    std::vector<Contact> building_;
};

TEST(ControllerStreams, MaintenanceTouchReportsFollowTheAnnouncedContactFormat) {
    struct Case {
        const char* name;
        std::uint8_t format, slots;
        std::size_t reportsPerFrame;  // for seven fingers
    };
    const Case cases[] = {
        {"plain slots, five a report", 0x00, 5, 2},
        {"size words, three a report", 0x01, 3, 3},
        {"extra words, two a report", 0x04, 2, 4},
        {"both, one a report", 0x05, 1, 7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::ControllerConfig cfg = LiveBench::quietConfig();
        cfg.maintenanceVersion[4] = c.format;
        cfg.maintenanceVersion[5] = c.slots;
        // Five fingers held, one moving left to right, one resting on the bottom right corner.
        cfg.operatorScript =
            operatorScript({"when maintenance-report: fingers 5 at 0.5,0.5 for 200 & finger 0,0.25 -> "
                            "1,0.25 for 200 & finger 1,1 for 200"});
        LiveBench b(cfg);
        ASSERT_TRUE(b.open());
        const int reader = b.reader(sim::ControllerDevice::kTouchInterface);
        ASSERT_TRUE(b.reportType(1));
        b.run(300);
        const auto reports = b.drain(reader);
        TouchFrames frames(c.format, c.slots);
        for (const Bytes& r : reports) {
            ASSERT_EQ(r[0], 3);
            frames.add(r);
        }
        ASSERT_GE(frames.frames.size(), 19u);
        EXPECT_EQ(reports.size(), frames.frames.size() * c.reportsPerFrame);
        const auto& first = frames.frames.front();
        ASSERT_EQ(first.size(), 7u);
        for (std::size_t i = 0; i < first.size(); ++i) {
            EXPECT_EQ(first[i].id, i + 1);  // identifiers from 1, the drawing check follows contact 1
            EXPECT_EQ(first[i].status, 7);
        }
        // The finger on the corner sits at the last coordinate the touch ranges allow.
        EXPECT_EQ(first[6].x, cfg.touchMaxX - 1u);
        EXPECT_EQ(first[6].y, cfg.touchMaxY - 1u);
        // The moving finger has crossed the panel by the last frame it touched in.
        const auto& lastTouching = frames.frames[frames.frames.size() - 2];
        EXPECT_GT(lastTouching[5].x, first[5].x + (cfg.touchMaxX - 1u) / 2);
        // Lifting ends with one frame of every finger lifted, then silence.
        const auto& lift = frames.frames.back();
        ASSERT_EQ(lift.size(), 7u);
        for (const Contact& k : lift) EXPECT_EQ(k.status, 4);
    }
}

TEST(ControllerStreams, TouchReportsOnlyInTheMaintenanceReportType) {
    sim::ControllerConfig cfg = LiveBench::quietConfig();
    cfg.operatorScript = operatorScript({"at 0: finger 0.5,0.5 for 1000"});
    LiveBench b(cfg);
    ASSERT_TRUE(b.open());
    const int reader = b.reader(sim::ControllerDevice::kTouchInterface);
    b.run(100);
    EXPECT_TRUE(b.drain(reader).empty()) << "normal report type: the vendor collection stays quiet";
    ASSERT_TRUE(b.reportType(1));
    b.run(100);
    EXPECT_EQ(b.drain(reader).size(), 10u);
}

TEST(ControllerStreams, PenReportsCarryStatusPositionAndPressure) {
    sim::ControllerConfig cfg = LiveBench::quietConfig();
    cfg.operatorScript = operatorScript(
        {"when custom-pen-report: pen 0.25,0.5 hover for 50; pen 0.25,0.5 -> 0.75,0.5 pressure 0.5 for 100"});
    LiveBench b(cfg);
    ASSERT_TRUE(b.open());
    const int reader = b.reader(sim::ControllerDevice::kPenInterface);
    ASSERT_TRUE(b.set(LiveBench::kPen, LiveBench::report({11, 1}, 64)));
    b.run(200);
    const auto reports = b.drain(reader);
    ASSERT_EQ(reports.size(), 15u);  // four scans hovering, ten touching, one leaving
    for (const Bytes& r : reports) ASSERT_EQ(r[0], 11);
    EXPECT_EQ(reports[0][1], 0x20);
    EXPECT_EQ(LiveBench::u16(reports[0], 6), 0u);
    EXPECT_EQ(reports[4][1], 0x21);
    EXPECT_EQ(LiveBench::u16(reports[4], 2), static_cast<unsigned>(std::lround(0.25 * cfg.penMaxX)));
    EXPECT_EQ(LiveBench::u16(reports[4], 4), static_cast<unsigned>(std::lround(0.5 * cfg.penMaxY)));
    EXPECT_EQ(LiveBench::u16(reports[4], 6), static_cast<unsigned>(std::lround(0.5 * cfg.penMaxPressure)));
    EXPECT_GT(LiveBench::u16(reports[13], 2), LiveBench::u16(reports[4], 2));
    EXPECT_EQ(reports[14][1], 0x00);
    // Back to the normal pen report type: no custom reports, whatever the pen does.
    ASSERT_TRUE(b.set(LiveBench::kPen, LiveBench::report({11, 0}, 64)));
    b.device->operate({{sim::OperatorAction{sim::ActionKind::Pen, {{0.5, 0.5}}, 100}}});
    b.run(100);
    EXPECT_TRUE(b.drain(reader).empty());
}

TEST(ControllerStreams, LineReportsFillTheStationsLineStatistics) {
    sim::ControllerConfig cfg = LiveBench::quietConfig();
    cfg.operatorScript = operatorScript({"when pen-maintenance-start 2: tkp 0,0 -> 1,1 for 3s"});
    LiveBench b(cfg);
    ASSERT_TRUE(b.open());
    const int reader = b.reader(sim::ControllerDevice::kPenInterface);
    const Bytes start = LiveBench::report({0x10, 0x81, 0x01}, 66);
    ASSERT_TRUE(b.set(LiveBench::kPen, start));

    // Noise: no pen, every line near the noise level after a whole window.
    controllerlink::LineStatistics stats;
    ASSERT_TRUE(stats.reset(20));
    b.run(200);
    for (const Bytes& r : b.drain(reader)) {
        ASSERT_EQ(r[0], 15);
        ASSERT_LE(r[3] & 0x1F, 18) << "more samples than the station reads";
        EXPECT_TRUE(stats.addLineReport(r));
    }
    ASSERT_TRUE(stats.complete());
    EXPECT_EQ(stats.xLines(), 72u);
    EXPECT_EQ(stats.yLines(), 46u);
    for (std::size_t l = 0; l < controllerlink::kStatisticsLines; ++l) {
        EXPECT_NEAR(stats.line(l).average, cfg.tkpNoise, cfg.tkpNoise / 4.0) << "line " << l;
        EXPECT_GT(stats.line(l).deviation, 0.0F);
    }

    // Signal: a diagonal stroke passes every line with the pen's signal.
    ASSERT_TRUE(b.set(LiveBench::kPen, LiveBench::report({0x10, 0x81, 0x02}, 66)));
    ASSERT_TRUE(b.set(LiveBench::kPen, start));
    ASSERT_TRUE(stats.reset(16));
    b.run(3100);
    for (const Bytes& r : b.drain(reader)) stats.addLineReport(r);
    for (std::size_t l = 0; l < controllerlink::kStatisticsLines; ++l)
        EXPECT_GT(stats.line(l).largest, cfg.tkpSignal / 2) << "line " << l;

    // Pen maintenance stopped: the lines fall silent.
    ASSERT_TRUE(b.set(LiveBench::kPen, LiveBench::report({0x10, 0x81, 0x02}, 66)));
    b.run(100);
    EXPECT_TRUE(b.drain(reader).empty());
}

TEST(ControllerStreams, HomeKeyReportsCarryBasesThenValues) {
    sim::ControllerConfig cfg = LiveBench::quietConfig();
    cfg.homeKeyPins = 3;
    cfg.operatorScript = operatorScript({"when home-key-on: nothing for 200; home-key 400 for 200"});
    LiveBench b(cfg);
    ASSERT_TRUE(b.open());
    const int reader = b.reader(sim::ControllerDevice::kTouchInterface);
    ASSERT_TRUE(b.reportType(2));
    b.run(300);
    ASSERT_TRUE(b.reportType(1));
    b.run(100);
    const auto reports = b.drain(reader);
    ASSERT_EQ(reports.size(), 30u) << "one a scan while the home key report type is on";
    auto u32 = [](const Bytes& r, std::size_t i) {
        return static_cast<double>(r[i] | r[i + 1] << 8 | r[i + 2] << 16 | static_cast<unsigned>(r[i + 3]) << 24);
    };
    for (std::size_t k = 0; k < reports.size(); ++k) {
        const Bytes& r = reports[k];
        ASSERT_EQ(r[0], 3);
        for (std::size_t pin = 0; pin < 3; ++pin) {
            const double base = u32(r, 1 + 4 * pin);
            const double value = u32(r, 1 + 4 * (3 + pin));
            EXPECT_NEAR(base, cfg.homeKeyBase, 5);
            EXPECT_NEAR(value, cfg.homeKeyLevel + (k >= 19 ? 400 : 0), 10) << "report " << k << " pin " << pin;
        }
    }
}

TEST(ControllerStreams, AWeakHomeKeyPinRisesByItsShareOfTheTouchWithoutNoise) {
    sim::ControllerConfig cfg = LiveBench::quietConfig();
    cfg.homeKeyPins = 3;
    cfg.homeKeyNoise = 0;
    cfg.homeKeyWeakPin = 1;
    cfg.homeKeyWeakPercent = 25;
    cfg.operatorScript = operatorScript({"when home-key-on: home-key 400 for 1s"});
    LiveBench b(cfg);
    ASSERT_TRUE(b.open());
    const int reader = b.reader(sim::ControllerDevice::kTouchInterface);
    ASSERT_TRUE(b.reportType(2));
    b.run(100);
    const auto reports = b.drain(reader);
    ASSERT_FALSE(reports.empty());
    const Bytes expected{3,    0xE8, 3, 0, 0,   0xE8, 3, 0, 0,    0xE8, 3, 0, 0,
                         0xF4, 1,    0, 0, 200, 0,    0, 0, 0xF4, 1,    0, 0};  // bases 1000; values 500, 200, 500
    for (const Bytes& r : reports) {
        ASSERT_GE(r.size(), expected.size());
        EXPECT_EQ(Bytes(r.begin(), r.begin() + static_cast<std::ptrdiff_t>(expected.size())), expected);
    }
}

// Counts the frames the station's assembler completes, with their status words.
class Frames final : public controllerlink::FrameSink {
public:
    void onImageFrame(std::uint32_t status, const controllerlink::ImageFrame& f) override {
        statuses.push_back(status);
        image = f;
    }
    void onAreaFrame(std::uint32_t status, const controllerlink::AreaFrame& f) override {
        statuses.push_back(status);
        areaCount = f.areaCount;
        area = f.areas[0];
        areaCell = f.cells[23][36];
    }
    void onRecordFrame(std::uint32_t status, const controllerlink::RecordFrame& f) override {
        statuses.push_back(status);
        sequences.push_back(f.sequence);
        completion = f.completion;
    }
    void onColumnFrame(std::uint32_t status, const controllerlink::ColumnFrame& f) override {
        statuses.push_back(status);
        sequences.push_back(f.sequence);
        column = f.values[71 * controllerlink::kMaxFrameRows + 7];
    }
    std::vector<std::uint32_t> statuses;
    std::vector<std::int32_t> sequences;
    controllerlink::ImageFrame image;
    std::int32_t areaCount = 0, areaCell = 0, completion = -1, column = 0;
    std::array<std::int32_t, 8> area{};
};

TEST(ControllerStreams, EveryFrameTypeAssemblesInTheStationsFrameAssembler) {
    struct Case {
        const char* name;
        std::uint8_t type;
        int rows;            // image rows before the noise row; 0: not an image
        std::int32_t cell0;  // image cell (0, 0)
    };
    // The quiet default panel: raw level 2000 + 4 t + 2 r, actual data 300 + t.
    const Case cases[] = {
        {"16-bit raw", 0x10, 46, 2000},
        {"16-bit raw, six rows", 0x11, 6, 2000},
        {"16-bit actual, six rows", 0x13, 6, 300},
        {"8-bit raw, held to a byte", 0x00, 46, 255},
        {"8-bit six rows", 0x01, 6, 255},
        {"8-bit actual", 0x02, 46, 255},
        {"8-bit actual, six rows", 0x03, 6, 255},
        {"area", 0x14, 0, 0},
        {"record", 0x16, 0, 0},
        {"column", 0x17, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::ControllerConfig cfg = LiveBench::quietConfig();
        cfg.operatorScript = operatorScript({"at 0: finger 0.5,0.5 for 10s"});
        LiveBench b(cfg);
        ASSERT_TRUE(b.open());
        ASSERT_TRUE(b.maintenance());
        ASSERT_TRUE(b.select(c.type));
        Frames sink;
        controllerlink::FrameAssembler assembler(sink);
        controllerlink::FrameGeometry g;
        g.rowsPerRecordFrame = cfg.rowsPerRecordFrame;
        assembler.start(g);
        for (int i = 0; i < 400; ++i) {
            const Bytes a = b.answer9();
            ASSERT_EQ(a.size(), 64u);
            assembler.addReport(a, false);
        }
        ASSERT_GE(sink.statuses.size(), 2u);
        for (std::uint32_t s : sink.statuses) EXPECT_EQ(s, 0u);
        if (c.rows > 0) {
            EXPECT_EQ(sink.image.cells[0][0], c.cell0);
            EXPECT_EQ(sink.image.cells[static_cast<std::size_t>(c.rows - 1)][0] != 0, true);
            // The noise row: the difference of two reads of a panel without noise.
            EXPECT_EQ(sink.image.cells[controllerlink::kNoiseRow][5], 0);
        } else if (c.type == 0x14) {
            EXPECT_EQ(sink.areaCount, 1);
            // The finger at the panel's centre (Rx 36, Tx 23): Rx 34..38, Tx 21..25, trimmed by one.
            EXPECT_EQ(sink.area, (std::array<std::int32_t, 8>{35, 22, 37, 24, 34, 21, 38, 25}));
            EXPECT_GT(sink.areaCell, 300) << "the touch shows in the area";
        } else {
            for (std::size_t i = 0; i < sink.sequences.size(); ++i)
                EXPECT_EQ(sink.sequences[i], static_cast<std::int32_t>(i));
            if (c.type == 0x16) {
                EXPECT_EQ(sink.completion, 1);
            } else {
                EXPECT_EQ(sink.column, 2000 + 4 * 7 + 2 * 71);
            }
        }
    }
}

TEST(ControllerStreams, AreaFramesTellAnEmptySetWithoutFingers) {
    LiveBench b;
    ASSERT_TRUE(b.open());
    ASSERT_TRUE(b.maintenance());
    ASSERT_TRUE(b.select(0x14));
    Frames sink;
    controllerlink::FrameAssembler assembler(sink);
    assembler.start({});
    for (int i = 0; i < 5; ++i) assembler.addReport(b.answer9(), false);
    ASSERT_EQ(sink.statuses.size(), 1u);
    EXPECT_EQ(sink.areaCount, -1);
}

TEST(ControllerStreams, DigitizerReportsDecodeWithTheRawInputParser) {
    sim::ControllerConfig cfg = LiveBench::quietConfig();
    cfg.touchUsage = 0x0B;
    cfg.operatorScript = operatorScript({"at 0: fingers 7 at 0.5,0.5 for 50"});
    LiveBench b(cfg);
    ASSERT_TRUE(b.open());
    std::optional<hidlink::TopCollection> caps;
    for (const auto& c : b.bus.enumerate())
        if (c.iface == sim::ControllerDevice::kDigitizerInterface) caps = c.desc.caps;
    ASSERT_TRUE(caps);
    const int reader = b.reader(sim::ControllerDevice::kDigitizerInterface);
    b.run(100);
    const auto reports = b.drain(reader);
    ASSERT_EQ(reports.size(), 10u);  // four scans touching, one lifting; two reports each
    controllerlink::RawTouchRanges ranges;
    controllerlink::RawContactRecord first, second;
    ASSERT_TRUE(controllerlink::parseRawInput(*caps, reports[0], first, ranges));
    ASSERT_TRUE(controllerlink::parseRawInput(*caps, reports[1], second, ranges));
    EXPECT_EQ(ranges.maxX, cfg.touchMaxX);
    EXPECT_EQ(ranges.maxY, cfg.touchMaxY);
    EXPECT_EQ(first.contactCount, 7);
    EXPECT_EQ(second.contactCount, 0) << "a frame's follow-on report carries no count";
    EXPECT_EQ(first.scanTime, second.scanTime);
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(first.contacts[i].contactId, i + 1);
        EXPECT_EQ(first.contacts[i].flags,
                  controllerlink::kContactTip | controllerlink::kContactInRange | controllerlink::kContactConfidence);
    }
    EXPECT_EQ(second.contacts[1].contactId, 7u);
    EXPECT_EQ(second.contacts[2].contactId, 0u);
    // The centre finger of the first row of five sits on the panel's centre column.
    EXPECT_EQ(first.contacts[2].x, static_cast<unsigned>(std::lround(0.5 * (cfg.touchMaxX - 1))));
    controllerlink::RawContactRecord lift;
    ASSERT_TRUE(controllerlink::parseRawInput(*caps, reports[8], lift, ranges));
    EXPECT_EQ(lift.contacts[0].flags, controllerlink::kContactConfidence);
}

TEST(ControllerStreams, DriverModeWrapsVendorReports) {
    sim::ControllerConfig cfg = LiveBench::quietConfig();
    cfg.touchUsage = 0x0B;
    cfg.operatorScript = operatorScript({"at 0: finger 0.5,0.5 for 1s"});
    LiveBench b(cfg);
    ASSERT_TRUE(b.open());
    const int touch = b.reader(sim::ControllerDevice::kTouchInterface);
    const int pen = b.reader(sim::ControllerDevice::kPenInterface);
    // The raw table entry sends what it is given: the driver-mode wrapper is ours to add.
    auto wrapped = [](std::uint8_t tag, const Bytes& inner) {
        Bytes w(1024, 0);
        w[0] = tag;
        w[2] = static_cast<std::uint8_t>(inner.size());
        std::copy(inner.begin(), inner.end(), w.begin() + 3);
        return w;
    };
    ASSERT_TRUE(b.set(LiveBench::kTouch, wrapped(0xBB, LiveBench::report({3, 1}, 64))));
    ASSERT_TRUE(b.set(LiveBench::kPen, wrapped(0xBA, LiveBench::report({0x10, 0x81, 0x01}, 66))));
    b.run(10);
    const auto t = b.drain(touch);
    const auto p = b.drain(pen);
    ASSERT_EQ(t.size(), 1u);
    EXPECT_EQ(t[0].size(), 64u);
    EXPECT_EQ(t[0][0], 15);
    EXPECT_EQ(t[0][1], 3);
    EXPECT_EQ(t[0][3], 1) << "the report itself starts at byte 1";
    ASSERT_EQ(p.size(), 7u);
    EXPECT_EQ(p[0][0], 15);
    EXPECT_EQ(p[0][1], 15);
    EXPECT_EQ(p[0][2], 72) << "the line report's X line count";
}

TEST(ControllerStreams, ALateReportTypeLeavesTheDigitizerReportingUntilItIsSent) {
    sim::ControllerConfig cfg = LiveBench::quietConfig();
    cfg.touchUsage = 0x0B;
    cfg.reportTypeDelayMs = 200;
    cfg.operatorScript = operatorScript({"at 0: finger 0.5,0.5 for 2s"});
    LiveBench b(cfg);
    ASSERT_TRUE(b.open());
    const int touch = b.reader(sim::ControllerDevice::kTouchInterface);
    const int digitizer = b.reader(sim::ControllerDevice::kDigitizerInterface);
    Bytes set(1024, 0);
    set[0] = 0xBB;
    set[2] = 64;
    set[3] = 3;
    set[4] = 1;
    ASSERT_TRUE(b.set(LiveBench::kTouch, set));
    b.run(190);
    EXPECT_EQ(b.drain(touch).size(), 0u);
    EXPECT_EQ(b.drain(digitizer).size(), 19u) << "one digitizer report a scan until the new type is sent";
    b.run(100);
    const auto vendor = b.drain(touch);
    EXPECT_EQ(vendor.size(), 10u);
    ASSERT_FALSE(vendor.empty());
    EXPECT_EQ(vendor[0][1], 3) << "the maintenance touch report";
    EXPECT_EQ(b.drain(digitizer).size(), 0u);
    // Set again, the same type waits its time again.
    ASSERT_TRUE(b.set(LiveBench::kTouch, set));
    b.run(100);
    EXPECT_EQ(b.drain(touch).size(), 0u);
    EXPECT_EQ(b.drain(digitizer).size(), 10u);
}

}  // namespace

namespace {

// The scan check waits for bit 0 of register word 45 after writing the normal-scan image and
// calibrating.
TEST(ControllerStreams, ScanningBitStopsWithANewImageAndReturnsWithACalibration) {
    LiveBench b;
    ASSERT_TRUE(b.open());
    ASSERT_TRUE(b.maintenance());
    auto scanning = [&] {
        EXPECT_TRUE(b.select(0x15));
        b.answer9();
        const Bytes second = b.answer9();
        return second.size() == 64 && (second[4 + 90 - 60] & 1) != 0;
    };
    EXPECT_TRUE(scanning()) << "scanning since power-on";
    auto image = b.device->registers();
    image[90] = 0xFF;
    ASSERT_TRUE(b.writeImage(image));
    EXPECT_FALSE(scanning()) << "the bit is the firmware's, not the image's";
    ASSERT_TRUE(b.command({9, 0, 0}));
    EXPECT_TRUE(scanning());
}

}  // namespace
