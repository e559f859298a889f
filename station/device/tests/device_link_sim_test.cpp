// The command set against the virtual controller: each operation on the generations and
// transports the station meets, then with the faults a production line sees.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "controllerlink/collection_choice.h"
#include "controllerlink/device_link_base.h"
#include "platform/clock.h"
#include "sim/controller_device.h"
#include "sim/virtual_bus.h"
#include "station/device/device_link.h"
#include "station/device/hsync_tunnel.h"

namespace {

using controllerlink::ControllerGeneration;

sim::ControllerConfig quiet(sim::Generation gen = sim::Generation::R6, std::uint16_t touchUsage = 0x11) {
    sim::ControllerConfig c;
    c.generation = gen;
    c.touchUsage = touchUsage;
    c.panel.noiseSigma = 0.0;
    return c;
}

// A virtual controller on an in-process bus, found and opened by the station's rules.
struct SimBench {
    explicit SimBench(sim::ControllerConfig config = quiet())
        : generation(config.generation == sim::Generation::R5 ? ControllerGeneration::R5 : ControllerGeneration::R6),
          device(std::make_shared<sim::ControllerDevice>(std::move(config))) {
        deviceId = bus.addDevice(device);
    }
    // Finds and opens the touch and pen collections.
    bool open() {
        touch.refreshFoundList();
        const auto found = std::span(touch.foundList()).first(touch.found());
        const auto t = controllerlink::findTouchCollection(found, generation);
        if (!t || !touch.open(*t)) return false;
        const auto p = controllerlink::findPenCollection(found, *t, generation);
        return p && pen.open(*p);
    }
    // Opens, enters maintenance mode and reads the registers so the line counts are set.
    bool connect() { return open() && touch.setDeviceMode(1) && touch.readRegisters(); }
    void refuse(std::uint64_t nth) { bus.setFaults(deviceId, {0, nth, false}); }

    ControllerGeneration generation;
    platform::VirtualClock clock;
    sim::VirtualBus bus{clock};
    sim::InProcessBackend backend{bus};
    hidlink::DeviceTable table{backend};
    std::shared_ptr<sim::ControllerDevice> device;
    int deviceId = 0;
    station::DeviceLink touch{table, controllerlink::TOUCH_KEY, clock};
    station::DeviceLink pen{table, controllerlink::PEN_KEY, clock};
};

struct Variant {
    const char* name;
    sim::Generation gen;
    std::uint16_t touchUsage;
};
const Variant kVariants[] = {
    {"R6 plain", sim::Generation::R6, 0x11},
    {"R5 plain", sim::Generation::R5, 0x11},
    {"R6 driver mode", sim::Generation::R6, 0x0B},
};

TEST(DeviceLinkOnController, ConnectQueriesAndReadsOnEveryGenerationAndTransport) {
    for (const Variant& v : kVariants) {
        SCOPED_TRACE(v.name);
        SimBench b(quiet(v.gen, v.touchUsage));
        // The queries come first, as after every fresh open.
        ASSERT_TRUE(b.open());
        const auto touchQuery = b.touch.readTouchQuery();
        ASSERT_TRUE(touchQuery);
        EXPECT_EQ(touchQuery->firmwareMajor, 0x0120);
        EXPECT_EQ(touchQuery->firmwareMinor, 3);
        const auto penQuery = b.pen.readPenQuery(b.generation);
        ASSERT_TRUE(penQuery);
        EXPECT_EQ(penQuery->maxX, 0x3FFFu);
        EXPECT_EQ(penQuery->firmware, v.gen == sim::Generation::R6 ? 0x1200u : 0x12u);

        ASSERT_TRUE(b.touch.setDeviceMode(1));
        ASSERT_TRUE(b.touch.readRegisters());
        EXPECT_EQ(b.device->mode(), 1);
        EXPECT_EQ(b.touch.rxCount(), 72u);  // power-on word 41 = 0x482E
        EXPECT_EQ(b.touch.txCount(), 46u);
        EXPECT_EQ(b.touch.readout().touchMaxX, 0x11C0u);
        EXPECT_EQ(b.touch.rowsPerRecordFrame(), 8u);
        const auto version = b.touch.readMaintenanceVersion();
        ASSERT_TRUE(version);
        // Bytes 4 and 5 of the ten are what the touch report decoder needs.
        EXPECT_EQ((*version)[4], 0x00) << "format flags";
        EXPECT_EQ((*version)[5], 5) << "contact slots per touch report";

        // Actual data first: the power-on scan registers select it.
        const station::AveragedFrame actual = b.touch.readActualAverage(1, 3, true);
        ASSERT_TRUE(actual.complete);
        EXPECT_DOUBLE_EQ(actual.average[10][5], 310.0);
        const station::AveragedFrame raw = b.touch.readRawAverage(2, 3, 0);
        ASSERT_TRUE(raw.complete);
        EXPECT_DOUBLE_EQ(raw.average[0][0], 2000.0);
        EXPECT_DOUBLE_EQ(raw.average[45][71], 2000.0 + 4 * 45 + 2 * 71);
        const station::AveragedFrame floored = b.touch.readRawAverage(1, 3, 1);
        ASSERT_TRUE(floored.complete);
        EXPECT_DOUBLE_EQ(floored.average[45][71], 2000.0 + 4 * 45) << "floor cancelled";
        const station::AveragedFrame cal = b.touch.readCalAverage(1, 3, 0);
        ASSERT_TRUE(cal.complete);
        EXPECT_DOUBLE_EQ(cal.average[10][5], 510.0);
        const station::DeviationFrame sd = b.touch.readStandardDeviation(3, 3, 0);
        ASSERT_TRUE(sd.complete);
        EXPECT_DOUBLE_EQ(sd.mean[1][1], 2000.0 + 4 + 2);
        EXPECT_EQ(sd.sigma[1][1], 0.0);
        for (const bool out :
             {actual.outOfRetries, raw.outOfRetries, floored.outOfRetries, cal.outOfRetries, sd.outOfRetries})
            EXPECT_FALSE(out);
    }
}

// Reads in any order: in driver mode the wrapper header names the report asked for, so a
// query after maintenance commands, or the mode before any set, is that report and no other.
TEST(DeviceLinkOnController, EveryReportCanBeReadAtAnyPoint) {
    for (const Variant& v : kVariants) {
        SCOPED_TRACE(v.name);
        SimBench b(quiet(v.gen, v.touchUsage));
        ASSERT_TRUE(b.open());
        std::uint8_t mode = 0xEE;
        ASSERT_TRUE(b.touch.readDeviceMode(mode));
        EXPECT_EQ(mode, 0);
        ASSERT_TRUE(b.touch.setDeviceMode(1));
        ASSERT_TRUE(b.touch.readRegisters());
        const auto touchQuery = b.touch.readTouchQuery();
        ASSERT_TRUE(touchQuery);
        EXPECT_EQ(touchQuery->firmwareMajor, 0x0120);
        ASSERT_TRUE(b.touch.readDeviceMode(mode));
        EXPECT_EQ(mode, 1);
        ASSERT_TRUE(b.touch.readMaintenanceVersion());
        const auto penQuery = b.pen.readPenQuery(b.generation);
        ASSERT_TRUE(penQuery);
        EXPECT_EQ(penQuery->maxY, 0x2FFFu);
    }
}

TEST(DeviceLinkOnController, StandardDeviationFollowsThePanelNoise) {
    sim::ControllerConfig c = quiet();
    c.panel.noiseSigma = 4.0;
    SimBench b(c);
    ASSERT_TRUE(b.connect());
    const station::DeviationFrame sd = b.touch.readStandardDeviation(16, 3, 0);
    ASSERT_TRUE(sd.complete);
    double sum = 0;
    for (std::size_t t = 0; t < 46; ++t)
        for (std::size_t r = 0; r < 72; ++r) sum += sd.sigma[t][r];
    const double meanSigma = sum / (46 * 72);
    // Population sigma over 16 frames of rounded Gaussian noise of sigma 4.
    EXPECT_GT(meanSigma, 3.0);
    EXPECT_LT(meanSigma, 4.5);
}

TEST(DeviceLinkOnController, CalibrationTableAndLutsRoundTrip) {
    SimBench b;
    ASSERT_TRUE(b.connect());
    std::array<std::uint16_t, 72> x{};
    std::array<std::uint16_t, 46> y{};
    for (std::size_t i = 0; i < x.size(); ++i) x[i] = static_cast<std::uint16_t>(71 - i);
    for (std::size_t i = 0; i < y.size(); ++i) y[i] = static_cast<std::uint16_t>(i + 100);
    ASSERT_TRUE(b.touch.writeXLut(x));
    ASSERT_TRUE(b.touch.writeYLut(y));
    const station::CalibrationTable table = b.touch.readCalibrationTable();
    ASSERT_TRUE(table.complete());
    EXPECT_EQ(table.words[sim::ControllerDevice::kXLutWord], 71);
    EXPECT_EQ(table.words[sim::ControllerDevice::kXLutWord + 71], 0);
    EXPECT_EQ(table.words[sim::ControllerDevice::kYLutWord + 45], 145);
}

TEST(DeviceLinkOnController, PinCheckReportsThePanelsPinFaults) {
    sim::ControllerConfig c = quiet();
    c.panel.pinFaults = {{true, 70, true}, {false, 47, false}, {false, 3, true}};
    SimBench b(c);
    ASSERT_TRUE(b.connect());
    const auto pins = b.touch.runPinCheck(100, 200);
    ASSERT_TRUE(pins);
    EXPECT_EQ(pins->rxPins[70].state, 3u);
    EXPECT_EQ(pins->rxPins[70].vddFault, 1u);
    EXPECT_EQ(pins->rxPins[69].state, 2u);
    EXPECT_EQ(pins->txPins[47].gndFault, 1u);
    EXPECT_EQ(pins->txPins[3].vddFault, 1u);
    EXPECT_EQ(pins->faultCounters, (std::array<std::uint32_t, 4>{1, 0, 1, 1}));

    // The link's own counters add every check up and are never cleared by one.
    const auto again = b.touch.runPinCheck(100, 200);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->faultCounters, (std::array<std::uint32_t, 4>{1, 0, 1, 1}));
    EXPECT_EQ(b.touch.pinFaultCounters(), (std::array<std::uint32_t, 4>{2, 0, 2, 2}));
}

TEST(DeviceLinkOnController, FramesThatStayBlankAreRetriedThenFlagged) {
    SimBench b;
    ASSERT_TRUE(b.connect());
    b.device->zeroFrames(2);
    const station::AveragedFrame raw = b.touch.readRawAverage(2, 3, 0);
    ASSERT_TRUE(raw.complete);
    EXPECT_EQ(raw.retries, 2u);
    EXPECT_FALSE(raw.outOfRetries);
    EXPECT_DOUBLE_EQ(raw.average[0][0], 2000.0) << "blank frames add nothing here";

    b.device->zeroFrames(100);
    const station::AveragedFrame cal = b.touch.readCalAverage(2, 3, 0);
    ASSERT_TRUE(cal.complete);
    EXPECT_EQ(cal.retries, 3u);
    EXPECT_TRUE(cal.outOfRetries);
}

TEST(DeviceLinkOnController, BrokenAnswersFailTheOperation) {
    {
        SimBench b;
        ASSERT_TRUE(b.connect());
        b.device->breakIndices(1);
        EXPECT_FALSE(b.touch.readRawAverage(1, 3, 0).complete);
    }
    {
        SimBench b;
        ASSERT_TRUE(b.connect());
        b.device->breakEcho(1);
        EXPECT_FALSE(b.touch.readRegisters());
        EXPECT_EQ(b.touch.responseType(), 16) << "restored after the failure";
    }
    {
        SimBench b;
        ASSERT_TRUE(b.connect());
        b.device->breakEcho(1);
        EXPECT_FALSE(b.touch.runPinCheck(1, 1));
    }
}

// Refusing any single transfer of an operation fails it, the register write before each
// averaged frame included.
TEST(DeviceLinkOnController, EveryRefusedTransferFailsTheOperation) {
    struct Op {
        const char* name;
        std::function<bool(SimBench&)> run;
    };
    std::array<std::uint16_t, 72> x{};
    const std::vector<Op> ops = {
        {"readRegisters", [](SimBench& b) { return b.touch.readRegisters(); }},
        {"readMaintenanceVersion", [](SimBench& b) { return b.touch.readMaintenanceVersion().has_value(); }},
        {"readCalibrationTable", [](SimBench& b) { return b.touch.readCalibrationTable().complete(); }},
        {"runPinCheck", [](SimBench& b) { return b.touch.runPinCheck(1, 1).has_value(); }},
        {"writeXLut", [x](SimBench& b) { return b.touch.writeXLut(x); }},
        {"readTouchQuery", [](SimBench& b) { return b.touch.readTouchQuery().has_value(); }},
        {"readPenQuery", [](SimBench& b) { return b.pen.readPenQuery(b.generation).has_value(); }},
        {"readHsyncDirect", [](SimBench& b) { return b.pen.readHsyncDirect().has_value(); }},
        {"stopPenMaintenance", [](SimBench& b) { return b.pen.stopPenMaintenance(); }},
        // Two frames of 4 x 2 cells: per frame two register parts, the select, one answer.
        {"readRawAverage", [](SimBench& b) { return b.touch.readRawAverage(2, 1, 0).complete; }},
    };
    for (const Op& op : ops) {
        SCOPED_TRACE(op.name);
        std::uint64_t nth = 1;
        for (;; ++nth) {
            SimBench b;
            ASSERT_TRUE(b.connect());
            if (std::string(op.name) == "readRawAverage") {
                b.touch.setRegisterWord(41, 0x0402);
                ASSERT_TRUE(b.touch.writeRegisters());
                b.touch.setLineCounts(4, 2);
            }
            b.refuse(nth);
            if (op.run(b)) break;  // nth is past the operation's last transfer
            EXPECT_FALSE(b.touch.lastError().empty() && b.pen.lastError().empty()) << "refused transfer " << nth;
            ASSERT_LT(nth, 100u);
        }
        EXPECT_GT(nth, 1u);
        if (std::string(op.name) == "readRawAverage") {
            EXPECT_EQ(nth, 9u) << "two frames of four transfers";
        }
    }
}

// The controller scans calibration frames only once register word 12 says so: with that write
// refused it goes on sending raw frames, about four times the calibration values, which a
// station would judge as calibration data. The read fails instead.
TEST(DeviceLinkOnController, RefusedRegisterWriteFailsTheCalibrationRead) {
    SimBench b;
    ASSERT_TRUE(b.connect());
    const station::AveragedFrame cal = b.touch.readCalAverage(1, 3, 0);
    ASSERT_TRUE(cal.complete);
    const station::AveragedFrame raw = b.touch.readRawAverage(1, 3, 0);
    ASSERT_TRUE(raw.complete);
    ASSERT_GT(raw.average[0][0], 2 * cal.average[0][0]) << "the model tells the two kinds apart";

    b.refuse(1);  // the first register part of the calibration read
    EXPECT_FALSE(b.touch.readCalAverage(1, 3, 0).complete);
    EXPECT_NE(b.touch.lastError().find(b.touch.info().path), std::string::npos) << b.touch.lastError();
}

TEST(DeviceLinkOnController, UnpluggedControllerFailsEveryOperation) {
    SimBench b;
    ASSERT_TRUE(b.connect());
    b.bus.unplug(b.deviceId);
    EXPECT_FALSE(b.touch.readRegisters());
    EXPECT_FALSE(b.touch.readRawAverage(1, 1, 0).complete);
    // The bus says no more than "refused"; the reason still names the node and the report.
    EXPECT_EQ(b.touch.lastError(), b.touch.info().path + ": set feature 9 refused");
    EXPECT_FALSE(b.touch.readTouchQuery());
    EXPECT_FALSE(b.pen.readPenQuery(b.generation));
    std::uint16_t value = 0;
    EXPECT_EQ(station::hsyncRequest(b.pen, station::kHsyncProductId, value), station::HsyncStatus::SendRefused);
    b.bus.replug(b.deviceId);
    EXPECT_FALSE(b.touch.readRegisters()) << "the old handle belongs to the old plug-in";
}

TEST(DeviceLinkOnController, HsyncDirectReadTellsWhetherTheSignalRuns) {
    for (bool signal : {true, false}) {
        sim::ControllerConfig c = quiet();
        c.hsyncSignal = signal;
        SimBench b(c);
        ASSERT_TRUE(b.connect());
        const auto direct = b.pen.readHsyncDirect();
        ASSERT_TRUE(direct);
        EXPECT_EQ((*direct)[8] & 1u, signal ? 1u : 0u);
        EXPECT_EQ((*direct)[4] >> 16, 0x501Cu);
        EXPECT_EQ((*direct)[11] >> 16, 0x21FCu);
    }
}

TEST(HsyncTunnelOnController, CommandsAnswerTheirValues) {
    for (const Variant& v : kVariants) {
        SCOPED_TRACE(v.name);
        sim::ControllerConfig c = quiet(v.gen, v.touchUsage);
        c.hsyncSample = 0x0100;
        c.hsyncNoise = -12;
        c.hsyncAnswerDelayMs = 40;
        SimBench b(c);
        ASSERT_TRUE(b.connect());
        std::uint16_t value = 0;
        ASSERT_EQ(station::hsyncRequest(b.pen, station::kHsyncProductId, value), station::HsyncStatus::Ok);
        EXPECT_EQ(value, 0x0A31);
        ASSERT_EQ(station::hsyncRequest(b.pen, station::kHsyncFirmwareVersion, value), station::HsyncStatus::Ok);
        EXPECT_EQ(value, 0x0102);
        ASSERT_EQ(station::hsyncRequest(b.pen, station::kHsyncSample, value), station::HsyncStatus::Ok);
        EXPECT_EQ(value, 0x0001) << "high byte first on the wire; the caller swaps";
        ASSERT_EQ(station::hsyncRequest(b.pen, station::kHsyncNoise, value), station::HsyncStatus::Ok);
        EXPECT_EQ(static_cast<std::int16_t>(value), -12);
    }
}

// Taken, acknowledged and answered each come just inside the limit: every wait has its own
// five seconds, so the whole exchange may take nearly fifteen.
TEST(HsyncTunnelOnController, EachStateHasItsOwnWaitLimit) {
    sim::ControllerConfig c = quiet();
    c.hsyncAnswerDelayMs = 4900;
    SimBench b(c);
    ASSERT_TRUE(b.connect());
    std::uint16_t value = 0;
    EXPECT_EQ(station::hsyncRequest(b.pen, station::kHsyncProductId, value), station::HsyncStatus::Ok);
    EXPECT_EQ(value, 0x0A31);
}

TEST(HsyncTunnelOnController, FailuresHaveTheirStatus) {
    struct Case {
        const char* what;
        sim::HsyncMcu mcu;
        std::uint32_t delayMs;
        station::HsyncStatus status;
        const char* text;
    };
    for (const Case& c :
         {Case{"old firmware", sim::HsyncMcu::OldFirmware, 0, station::HsyncStatus::OldFirmware, "OLD FW"},
          Case{"no MCU behind the tunnel", sim::HsyncMcu::None, 0, station::HsyncStatus::Timeout, "T/O ERR"},
          Case{"MCU too slow", sim::HsyncMcu::Present, 6000, station::HsyncStatus::Timeout, "T/O ERR"}}) {
        SCOPED_TRACE(c.what);
        sim::ControllerConfig cfg = quiet();
        cfg.hsync = c.mcu;
        cfg.hsyncAnswerDelayMs = c.delayMs;
        SimBench b(cfg);
        ASSERT_TRUE(b.connect());
        std::uint16_t value = 0;
        int pumped = 0;
        const auto s = station::hsyncRequest(b.pen, station::kHsyncProductId, value, [&pumped] { ++pumped; });
        EXPECT_EQ(s, c.status);
        EXPECT_STREQ(station::hsyncFailureText(s), c.text);
        if (s == station::HsyncStatus::Timeout) {
            EXPECT_GT(pumped, 0) << "the window is kept alive while waiting";
        }
    }
}

}  // namespace

namespace {

// The raw data viewer's stream: scan area, 16-bit image frames, the reader on its own thread.
TEST(DeviceLinkFrameReader, StreamsWholeImageFramesUntilStoppedOrClosed) {
    for (const Variant& v : kVariants) {
        if (v.gen != sim::Generation::R6) continue;
        SCOPED_TRACE(v.name);
        sim::ControllerConfig config = quiet(v.gen, v.touchUsage);
        config.panel.noiseSigma = 3.0;
        SimBench b(config);
        ASSERT_TRUE(b.connect());
        ASSERT_TRUE(b.touch.setScanArea());
        ASSERT_TRUE(b.touch.selectResponse(1, 0));
        controllerlink::QueuedImageFrames frames(4);
        ASSERT_TRUE(b.touch.startFrameReader(frames));
        EXPECT_FALSE(b.touch.startFrameReader(frames)) << "one reader per link";
        auto frame = std::make_unique<controllerlink::ImageFrame>();
        std::uint32_t status = 0;
        for (int n = 0; n < 2; ++n) {
            ASSERT_TRUE(frames.take(*frame, status, 10000)) << "frame " << n;
            EXPECT_EQ(status, 0u) << "every answer arrived in sequence";
        }
        // The panel's raw level everywhere on the 72 x 46 sensor, and a noise row of small values.
        EXPECT_GT(frame->cells[0][0], 1000);
        EXPECT_GT(frame->cells[45][71], 1000);
        int noisy = 0;
        for (std::size_t r = 0; r < 72; ++r) {
            EXPECT_LT(frame->cells[controllerlink::kNoiseRow][r], 100) << r;
            noisy += frame->cells[controllerlink::kNoiseRow][r] != 0 ? 1 : 0;
        }
        EXPECT_GT(noisy, 0);

        b.touch.pauseFrameReader(true);
        b.touch.stopFrameReader();
        EXPECT_FALSE(b.touch.frameReaderRunning()) << "a paused reader stops too";
        ASSERT_TRUE(b.touch.startFrameReader(frames));
        b.touch.close();
        EXPECT_FALSE(b.touch.frameReaderRunning()) << "closing the collection stops its reader";
    }
}

TEST(DeviceLinkFrameReader, AnAnswerOutOfSequenceIsToldInItsFrame) {
    SimBench b;
    ASSERT_TRUE(b.connect());
    ASSERT_TRUE(b.touch.setScanArea());
    ASSERT_TRUE(b.touch.selectResponse(1, 0));
    controllerlink::QueuedImageFrames frames(64);
    b.device->breakIndices(1);
    ASSERT_TRUE(b.touch.startFrameReader(frames));
    auto frame = std::make_unique<controllerlink::ImageFrame>();
    std::uint32_t status = 0;
    ASSERT_TRUE(frames.take(*frame, status, 10000));
    EXPECT_EQ(status, controllerlink::kFrameOutOfSequence);
    ASSERT_TRUE(frames.take(*frame, status, 10000));
    EXPECT_EQ(status, 0u) << "cleared once told";
    b.touch.stopFrameReader();
}

}  // namespace
