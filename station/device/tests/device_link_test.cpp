#include "station/device/device_link.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>

#include "station/device/tests/device_bench.h"

namespace {

using testfx::answer9;
using testfx::Bytes;

// The two register answers: part 0 carries bytes 0..59, part 1 bytes 60..91 and the extra
// values; register word 41 sits at image bytes 82..83.
void queueRegisters(testfx::ScriptedController& dev, std::uint16_t word41, std::uint8_t autoCalByte = 0) {
    Bytes part0 = answer9(0x15, {0, 0});
    for (std::size_t i = 0; i < 60; ++i) part0[4 + i] = static_cast<std::uint8_t>(i);
    Bytes part1 = answer9(0x15, {1, 0});
    for (std::size_t i = 0; i < 32; ++i) part1[4 + i] = static_cast<std::uint8_t>(60 + i);
    part1[4 + 22] = static_cast<std::uint8_t>(word41 & 0xFF);
    part1[4 + 23] = static_cast<std::uint8_t>(word41 >> 8);
    part1[40] = 0x11;
    part1[41] = 0x80, part1[42] = 0x07;  // 1920
    part1[43] = 0x38, part1[44] = 0x04;  // 1080
    part1[45] = autoCalByte;
    part1[46] = 0x34, part1[47] = 0x12;
    part1[50] = 4;
    part1[51] = 0x51;
    dev.queue(9, part0);
    dev.queue(9, part1);
}

// The answers of one frame of rx × tx cells, 30 samples each, row by row. Cells past the frame
// carry a marker that must never reach the sums.
std::vector<Bytes> frameAnswers(std::size_t rx, std::size_t tx, std::uint8_t type,
                                const std::function<std::int16_t(std::size_t, std::size_t)>& cell) {
    std::vector<Bytes> out;
    std::size_t r = 0, t = 0;
    while (t < tx) {
        Bytes a = answer9(type, {static_cast<std::uint8_t>(r), static_cast<std::uint8_t>(t)});
        for (std::size_t k = 0; k < 30; ++k) {
            const std::int16_t v = t < tx ? cell(t, r) : std::int16_t{0x7777};
            a[4 + 2 * k] = static_cast<std::uint8_t>(v & 0xFF);
            a[5 + 2 * k] = static_cast<std::uint8_t>((v >> 8) & 0xFF);
            if (t < tx && ++r == rx) r = 0, ++t;
        }
        out.push_back(a);
    }
    return out;
}

void queueFrame(testfx::ScriptedController& dev, const std::vector<Bytes>& answers) {
    for (const auto& a : answers) dev.queue(9, a);
}

// The maintenance commands (report 9 sets) the controller received, as [command, b2, b3].
std::vector<Bytes> selects(const testfx::ScriptedController& dev) {
    std::vector<Bytes> out;
    for (const auto& s : dev.sets())
        if (s[0] == 9 && s[1] == 1) out.push_back({s[2], s[3]});
    return out;
}

TEST(DeviceLinkRegisters, ReadFillsTheImageAndTheValuesDerivedFromIt) {
    testfx::Bench b;
    queueRegisters(*b.device, 0x4828, 0);
    ASSERT_TRUE(b.touch.readRegisters());
    EXPECT_EQ(b.touch.registers()[0], 0);
    EXPECT_EQ(b.touch.registers()[59], 59);
    EXPECT_EQ(b.touch.registers()[91], 91);
    EXPECT_EQ(b.touch.rxCount(), 72u);
    EXPECT_EQ(b.touch.txCount(), 40u);
    EXPECT_EQ(b.touch.readout().extraInfo0, 0x11u);
    EXPECT_EQ(b.touch.readout().touchMaxX, 1920u);
    EXPECT_EQ(b.touch.readout().touchMaxY, 1080u);
    EXPECT_EQ(b.touch.readout().autoCalibration, 1u);
    EXPECT_EQ(b.touch.readout().frameWord46, 0x1234u);
    EXPECT_EQ(b.touch.rowsPerRecordFrame(), 4u);
    EXPECT_EQ(b.touch.readout().extraInfo51, 0x51u);
    // 0x15 selected, then the type of construction (16) restored.
    EXPECT_EQ(selects(*b.device), (std::vector<Bytes>{{1, 5}, {1, 0}}));
    EXPECT_EQ(b.touch.responseType(), 16);
}

TEST(DeviceLinkRegisters, LineCountsNeverExceedTheGrid) {
    struct Case {
        std::uint16_t word41;
        std::uint32_t rx, tx;
    };
    for (const Case& c : {Case{0x4828, 72, 40}, Case{0x7F3F, 72, 46}, Case{0x202E, 32, 46}, Case{0x8F05, 15, 5}}) {
        testfx::Bench b;
        queueRegisters(*b.device, c.word41, 1);
        ASSERT_TRUE(b.touch.readRegisters());
        EXPECT_EQ(b.touch.rxCount(), c.rx) << std::hex << c.word41;
        EXPECT_EQ(b.touch.txCount(), c.tx) << std::hex << c.word41;
        EXPECT_EQ(b.touch.readout().autoCalibration, 0u);
    }
}

TEST(DeviceLinkRegisters, SecondAnswerOfPartZeroFailsAndRestoresTheResponseType) {
    testfx::Bench b;
    ASSERT_TRUE(b.touch.selectResponse(0, 0x0B));
    b.device->queue(9, answer9(0x15, {0}));
    b.device->queue(9, answer9(0x15, {0}));
    EXPECT_FALSE(b.touch.readRegisters());
    EXPECT_EQ(b.touch.responseType(), 0x0B);
    EXPECT_EQ(selects(*b.device).back(), (Bytes{0, 0x0B}));
    EXPECT_EQ(b.touch.rxCount(), 72u) << "counts come only from a whole answer";
}

TEST(DeviceLinkRegisters, RefusedAnswerStillRestoresAndAFailedRestoreFails) {
    {
        testfx::Bench b;  // no answers queued: the first get is refused
        EXPECT_FALSE(b.touch.readRegisters());
        EXPECT_EQ(selects(*b.device), (std::vector<Bytes>{{1, 5}, {1, 0}}));
        EXPECT_EQ(b.touch.responseType(), 16);
    }
    {
        testfx::Bench b;
        queueRegisters(*b.device, 0x4828);
        b.bus.setFaults(b.deviceId, {0, 4, false});  // select, two answers, then the restore
        EXPECT_FALSE(b.touch.readRegisters());
        EXPECT_EQ(b.touch.responseType(), 0x15);
        EXPECT_EQ(b.touch.txCount(), 40u) << "what was read stays";
    }
}

TEST(DeviceLinkRegisters, WriteSendsTheImageInTwoParts) {
    testfx::Bench b;
    for (std::size_t i = 0; i < station::kRegisterBytes; ++i)
        b.touch.setRegisterByte(i, static_cast<std::uint8_t>(i + 1));
    ASSERT_TRUE(b.touch.writeRegisters());
    const auto sets = b.device->sets();
    ASSERT_EQ(sets.size(), 2u);
    EXPECT_EQ(Bytes(sets[0].begin(), sets[0].begin() + 4), (Bytes{9, 2, 0, 0}));
    EXPECT_EQ(sets[0][4], 1);
    EXPECT_EQ(sets[0][63], 60);
    EXPECT_EQ(Bytes(sets[1].begin(), sets[1].begin() + 4), (Bytes{9, 2, 1, 0}));
    EXPECT_EQ(sets[1][4], 61);
    EXPECT_EQ(sets[1][35], 92);

    b.bus.setFaults(b.deviceId, {0, 1, false});
    EXPECT_FALSE(b.touch.writeRegisters());
    EXPECT_EQ(b.device->sets().size(), 2u) << "the second part is not sent after a refused first";
}

class AveragedRead : public ::testing::Test {
protected:
    AveragedRead() { b.touch.setLineCounts(4, 3); }
    testfx::Bench b;
};

TEST_F(AveragedRead, AveragesFramesAndSetsTheRegistersBeforeEach) {
    queueFrame(*b.device, frameAnswers(4, 3, 0x0B, [](auto t, auto r) { return std::int16_t(10 * t + r + 1); }));
    queueFrame(*b.device, frameAnswers(4, 3, 0x0B, [](auto t, auto r) { return std::int16_t(10 * t + r + 3); }));
    b.touch.setRegisterWord(12, 0xFFFF);
    const station::AveragedFrame f = b.touch.readRawAverage(2, 5, 1);
    ASSERT_TRUE(f.complete);
    EXPECT_DOUBLE_EQ(f.average[0][0], 2.0);
    EXPECT_DOUBLE_EQ(f.average[2][3], 25.0);
    EXPECT_DOUBLE_EQ(f.average[0][4], 0.0) << "the 0x7777 padding stays out";
    EXPECT_DOUBLE_EQ(f.average[3][0], 0.0);
    EXPECT_EQ(f.retries, 0u);
    EXPECT_FALSE(f.outOfRetries);
    EXPECT_EQ(b.touch.registerWord(12), 0);
    EXPECT_EQ(b.touch.registerWord(17), 2) << "floor mode 1";
    // Per frame: register write (two parts), then the frame response type.
    std::vector<Bytes> kinds;
    for (const auto& s : b.device->sets()) kinds.push_back({s[1], s[2], s[3]});
    EXPECT_EQ(kinds, (std::vector<Bytes>{{2, 0, 0}, {2, 1, 0}, {1, 0, 0x0B}, {2, 0, 0}, {2, 1, 0}, {1, 0, 0x0B}}));
    EXPECT_EQ(b.touch.responseType(), 0x0B);
}

TEST_F(AveragedRead, FramesThatNeverStartScanningEndAfterTheRetryLimit) {
    // The first eight samples are zero, the other four 5: each rejected frame adds 5 to them.
    b.device->generate(9, [] {
        return frameAnswers(4, 3, 0x0B, [](auto t, auto r) { return std::int16_t(t * 4 + r < 8 ? 0 : 5); })[0];
    });
    const station::AveragedFrame f = b.touch.readRawAverage(8, 3, 0);
    ASSERT_TRUE(f.complete);
    EXPECT_EQ(f.retries, 3u);
    EXPECT_TRUE(f.outOfRetries);
    EXPECT_DOUBLE_EQ(f.average[2][3], 15.0) << "divided by 1";
    EXPECT_DOUBLE_EQ(f.average[0][0], 0.0);
    EXPECT_EQ(b.device->getsOf(9), 3u);
}

TEST_F(AveragedRead, RetryLimitZeroStillEnds) {
    b.device->generate(9, [] { return frameAnswers(4, 3, 0x0B, [](auto, auto) { return std::int16_t(0); })[0]; });
    const station::AveragedFrame f = b.touch.readCalAverage(2, 0, 0);
    ASSERT_TRUE(f.complete);
    EXPECT_EQ(f.retries, 1u);
    EXPECT_TRUE(f.outOfRetries);
}

TEST_F(AveragedRead, RejectedFramesDivideByTheFramesCounted) {
    const auto good = frameAnswers(4, 3, 0x0B, [](auto, auto) { return std::int16_t(9); });
    const auto blank = frameAnswers(4, 3, 0x0B, [](auto t, auto r) { return std::int16_t(t * 4 + r < 8 ? 0 : 3); });
    queueFrame(*b.device, good);
    queueFrame(*b.device, blank);
    queueFrame(*b.device, good);
    queueFrame(*b.device, blank);
    const station::AveragedFrame f = b.touch.readRawAverage(5, 2, 0);
    ASSERT_TRUE(f.complete);
    EXPECT_DOUBLE_EQ(f.average[0][0], 9.0);
    EXPECT_DOUBLE_EQ(f.average[2][3], (9 + 3 + 9 + 3) / 2.0);
    EXPECT_EQ(f.retries, 2u);
}

TEST_F(AveragedRead, FrameAcrossRowsOfTheWholeWidth) {
    b.touch.setLineCounts(72, 2);
    const auto answers = frameAnswers(72, 2, 0x0B, [](auto t, auto r) { return std::int16_t(t * 100 + r); });
    ASSERT_EQ(answers.size(), 5u);
    EXPECT_EQ(answers[2][2], 60);
    queueFrame(*b.device, answers);
    const station::AveragedFrame f = b.touch.readRawAverage(1, 1, 0);
    ASSERT_TRUE(f.complete);
    EXPECT_DOUBLE_EQ(f.average[0][71], 71.0);
    EXPECT_DOUBLE_EQ(f.average[1][0], 100.0);
    EXPECT_DOUBLE_EQ(f.average[1][71], 171.0);
    EXPECT_DOUBLE_EQ(f.average[2][0], 0.0);
}

TEST_F(AveragedRead, NegativeSamplesAreSigned) {
    queueFrame(*b.device, frameAnswers(4, 3, 0x0B, [](auto, auto r) { return std::int16_t(r == 0 ? -300 : 1); }));
    const station::AveragedFrame f = b.touch.readRawAverage(1, 1, 0);
    ASSERT_TRUE(f.complete);
    EXPECT_DOUBLE_EQ(f.average[1][0], -300.0);
}

TEST_F(AveragedRead, UnexpectedAnswersFailAndKeepWhatWasAdded) {
    struct Case {
        const char* what;
        std::size_t answer;  // which answer of the frame is broken
        std::size_t byte;
        std::uint8_t value;
    };
    b.touch.setLineCounts(40, 2);  // three answers per frame
    for (const Case& c : {Case{"type nibble", 1, 1, 0x0A}, Case{"Rx index", 1, 2, 31}, Case{"Tx index", 2, 3, 0}}) {
        SCOPED_TRACE(c.what);
        testfx::Bench fresh;
        fresh.touch.setLineCounts(40, 2);
        auto answers = frameAnswers(40, 2, 0x0B, [](auto, auto) { return std::int16_t(7); });
        answers[c.answer][c.byte] = c.value;
        queueFrame(*fresh.device, answers);
        const station::AveragedFrame f = fresh.touch.readRawAverage(1, 1, 0);
        EXPECT_FALSE(f.complete);
        EXPECT_DOUBLE_EQ(f.average[0][0], 7.0) << "the first answer's samples stay";
    }
}

// A refused register write would leave the controller sending the frames it sent before (raw
// frames for a calibration read), so it fails the read like a refused response select.
TEST_F(AveragedRead, RefusedRegisterWriteOrSelectFailsTheRead) {
    for (std::uint64_t nth : {1, 2, 3}) {  // register part 0, part 1, the response select
        SCOPED_TRACE(nth);
        testfx::Bench fresh;
        fresh.touch.setLineCounts(4, 3);
        queueFrame(*fresh.device, frameAnswers(4, 3, 0x0B, [](auto, auto) { return std::int16_t(4); }));
        fresh.bus.setFaults(fresh.deviceId, {0, nth, false});
        EXPECT_FALSE(fresh.touch.readCalAverage(1, 1, 0).complete);
        EXPECT_EQ(fresh.device->getsOf(9), 0u) << "no frame is read after the refusal";
        EXPECT_NE(fresh.touch.lastError().find(fresh.touch.info().path), std::string::npos) << fresh.touch.lastError();
    }
}

// The link keeps why an operation failed, for the engineer's tools and the station's stderr.
TEST(DeviceLinkLastError, NamesTheNodeOrTheAnswerThatDidNotFit) {
    struct Case {
        const char* name;
        std::function<bool(testfx::Bench&)> run;
        const char* reason;  // with "@" standing for the touch collection's node
    };
    const Case cases[] = {
        {"refused set",
         [](testfx::Bench& b) {
             b.bus.setFaults(b.deviceId, {0, 1, false});
             return b.touch.setReportType(1);
         },
         "@: set feature 3 refused"},
        {"refused get", [](testfx::Bench& b) { return b.touch.readTouchQuery().has_value(); },
         "@: get feature 4 refused"},
        {"wrong register part",
         [](testfx::Bench& b) {
             b.device->queue(9, answer9(0x15, {1, 0}));
             return b.touch.readRegisters();
         },
         "unexpected maintenance answer: type 0x5 part 1/0 (wanted type 0x5 part 0)"},
        {"wrong frame index",
         [](testfx::Bench& b) {
             b.touch.setLineCounts(4, 3);
             b.device->queue(9, answer9(0x0B, {2, 0}));
             return b.touch.readRawAverage(1, 1, 0).complete;
         },
         "unexpected frame answer: type 0xB Rx 2 Tx 0 (wanted type 0xB Rx 0 Tx 0)"},
        {"closed link",
         [](testfx::Bench& b) {
             b.touch.close();
             return b.touch.readTouchQuery().has_value();
         },
         "no collection is open under key 1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testfx::Bench b;
        const std::string node = b.touch.info().path;
        ASSERT_FALSE(node.empty());
        ASSERT_FALSE(c.run(b));
        std::string want = c.reason;
        if (want[0] == '@') want = node + want.substr(1);
        EXPECT_EQ(b.touch.lastError(), want);
    }
}

TEST_F(AveragedRead, CountsBeyondTheGridReadTheGridOnly) {
    b.touch.setLineCounts(200, 60);
    queueFrame(*b.device, frameAnswers(72, 46, 0x0B, [](auto t, auto r) { return std::int16_t(t + r); }));
    const station::AveragedFrame f = b.touch.readRawAverage(1, 1, 0);
    ASSERT_TRUE(f.complete);
    EXPECT_DOUBLE_EQ(f.average[45][71], 116.0);
}

TEST_F(AveragedRead, NoLinesMeansNoRead) {
    b.touch.setLineCounts(0, b.touch.txCount());
    EXPECT_FALSE(b.touch.readRawAverage(1, 1, 0).complete);
    EXPECT_TRUE(b.device->sets().empty());
}

TEST_F(AveragedRead, ZeroFramesLeavesZerosNotNaN) {
    const station::DeviationFrame f = b.touch.readStandardDeviation(0, 1, 0);
    ASSERT_TRUE(f.complete);
    EXPECT_EQ(f.mean[0][0], 0.0);
    EXPECT_EQ(f.sigma[0][0], 0.0);
    EXPECT_TRUE(b.device->sets().empty());
}

TEST_F(AveragedRead, ActualReadKeepsOtherRegisterBitsAndChoosesItsResponseType) {
    for (bool useCalF : {false, true}) {
        SCOPED_TRACE(useCalF);
        testfx::Bench fresh;
        fresh.touch.setLineCounts(4, 3);
        const std::uint8_t type = useCalF ? 0x12 : 0x0B;
        queueFrame(*fresh.device, frameAnswers(4, 3, type, [](auto, auto) { return std::int16_t(6); }));
        fresh.touch.setRegisterWord(12, 0x0F0F);
        fresh.touch.setRegisterWord(17, 0x01FF);
        const station::AveragedFrame f = fresh.touch.readActualAverage(1, 1, useCalF);
        ASSERT_TRUE(f.complete);
        EXPECT_EQ(fresh.touch.registerWord(12), 0x0F0B);
        EXPECT_EQ(fresh.touch.registerWord(17), 0x015F);
        EXPECT_EQ(fresh.touch.responseType(), type);
        EXPECT_DOUBLE_EQ(f.average[1][1], 6.0);
    }
}

TEST_F(AveragedRead, CalibrationReadAsksForCalibrationFrames) {
    queueFrame(*b.device, frameAnswers(4, 3, 0x0B, [](auto, auto) { return std::int16_t(2); }));
    const station::AveragedFrame f = b.touch.readCalAverage(1, 1, 0);
    ASSERT_TRUE(f.complete);
    EXPECT_EQ(b.touch.registerWord(12), 8);
    EXPECT_EQ(b.touch.registerWord(17), 0);
    EXPECT_DOUBLE_EQ(f.average[2][3], 2.0);
}

TEST_F(AveragedRead, StandardDeviationOfKnownFrames) {
    // Cell (0,0) sees 2, 4, 4, 4, 5, 5, 7, 9: mean 5, sigma 2 (population).
    for (int v : {2, 4, 4, 4, 5, 5, 7, 9})
        queueFrame(*b.device,
                   frameAnswers(4, 3, 0x0B, [v](auto t, auto r) { return std::int16_t(t + r == 0 ? v : 100); }));
    const station::DeviationFrame f = b.touch.readStandardDeviation(8, 1, 0);
    ASSERT_TRUE(f.complete);
    EXPECT_DOUBLE_EQ(f.mean[0][0], 5.0);
    EXPECT_DOUBLE_EQ(f.sigma[0][0], 2.0);
    EXPECT_DOUBLE_EQ(f.mean[2][3], 100.0);
    EXPECT_EQ(f.sigma[2][3], 0.0) << "a flat cell is exactly 0, never NaN";
}

TEST_F(AveragedRead, StandardDeviationWhenRetriesRanOutUsesTheCountedFrames) {
    queueFrame(*b.device, frameAnswers(4, 3, 0x0B, [](auto, auto) { return std::int16_t(6); }));
    b.device->generate(9, [] {
        return frameAnswers(4, 3, 0x0B, [](auto t, auto r) { return std::int16_t(t * 4 + r < 8 ? 0 : 6); })[0];
    });
    const station::DeviationFrame f = b.touch.readStandardDeviation(4, 1, 0);
    ASSERT_TRUE(f.complete);
    EXPECT_TRUE(f.outOfRetries);
    EXPECT_EQ(f.retries, 1u);
    EXPECT_DOUBLE_EQ(f.mean[2][3], 12.0);
    EXPECT_DOUBLE_EQ(f.mean[0][0], 6.0);
    EXPECT_DOUBLE_EQ(f.sigma[0][0], 0.0);
    // 6 and 6 over n = 1: 72 - 144 would be negative; sigma is 0, never NaN.
    EXPECT_FALSE(std::isnan(f.sigma[2][3]));
}

TEST(DeviceLinkPinCheck, BitmapsGiveStatesAndCounters) {
    testfx::Bench b;
    Bytes a = answer9(0x18);
    a[3] = 0x01;       // Rx 0 Vdd
    a[3 + 8] = 0x80;   // Rx 71 Vdd
    a[12 + 8] = 0x80;  // Rx 71 Gnd
    a[21 + 1] = 0x04;  // Tx 10 Vdd
    a[27 + 5] = 0x80;  // Tx 47 Gnd
    b.device->queue(9, a);
    b.device->queue(9, a);
    const auto pins = b.touch.runPinCheck(0x0123, 0x0456);
    ASSERT_TRUE(pins);
    const Bytes cmd = b.device->sets().at(0);
    EXPECT_EQ(Bytes(cmd.begin(), cmd.begin() + 10), (Bytes{9, 2, 7, 0, 0x23, 0x01, 0, 0, 0x56, 0x04}));
    EXPECT_EQ(b.touch.responseType(), 0x18);
    auto state = [](const station::PinResult& p) { return std::tuple(p.state, p.vddFault, p.gndFault); };
    EXPECT_EQ(state(pins->rxPins[0]), std::tuple(3u, 1u, 0u));
    EXPECT_EQ(state(pins->rxPins[1]), std::tuple(2u, 0u, 0u));
    EXPECT_EQ(state(pins->rxPins[71]), std::tuple(3u, 1u, 1u));
    EXPECT_EQ(state(pins->txPins[10]), std::tuple(3u, 1u, 0u));
    EXPECT_EQ(state(pins->txPins[47]), std::tuple(3u, 0u, 1u));
    EXPECT_EQ(state(pins->txPins[0]), std::tuple(2u, 0u, 0u));
    EXPECT_EQ(pins->faultCounters, (std::array<std::uint32_t, 4>{2, 1, 1, 1}));
    // Each pin check counts its own faults.
    const auto again = b.touch.runPinCheck(1, 1);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->faultCounters, (std::array<std::uint32_t, 4>{2, 1, 1, 1}));

    b.device->queue(9, answer9(0x15));
    EXPECT_FALSE(b.touch.runPinCheck(1, 1)) << "wrong type nibble";
}

TEST(DeviceLinkCalibrationTable, ReadsTwentyTwoAnswersByWordOffset) {
    testfx::Bench b;
    for (std::size_t off = 0; off < 660; off += 30) {
        Bytes a =
            answer9(0x19, {static_cast<std::uint8_t>((off * 2) & 0xFF), static_cast<std::uint8_t>((off * 2) >> 8)});
        for (std::size_t i = 0; i < 30; ++i) a[4 + 2 * i] = static_cast<std::uint8_t>(off + i), a[5 + 2 * i] = 0x10;
        b.device->queue(9, a);
    }
    const station::CalibrationTable table = b.touch.readCalibrationTable();
    ASSERT_TRUE(table.complete());
    EXPECT_EQ(table.words[1], 0x1001);
    EXPECT_EQ(table.words[659], 0x1000 + (659 & 0xFF));
    EXPECT_EQ(selects(*b.device), (std::vector<Bytes>{{1, 9}}));

    b.device->queue(9, answer9(0x19, {0, 0}));
    b.device->queue(9, answer9(0x19, {0, 0}));  // repeats offset 0
    const station::CalibrationTable broken = b.touch.readCalibrationTable();
    EXPECT_FALSE(broken.complete());
    EXPECT_EQ(broken.received, 30u) << "what arrived before the mismatch is handed back";
}

TEST(DeviceLinkCommands, SmallCommandsSendTheirBytesAndKeepTheirState) {
    testfx::Bench b;
    b.touch.setLineCounts(64, 36);
    ASSERT_TRUE(b.touch.calibrationControl(1));
    EXPECT_EQ(b.touch.readout().autoCalibration, 0u);
    ASSERT_TRUE(b.touch.calibrationControl(2));
    EXPECT_EQ(b.touch.readout().autoCalibration, 2u);
    ASSERT_TRUE(b.touch.selectResponse(0x21, 0x3C));
    EXPECT_EQ(b.touch.responseType(), 0x1C) << "(high * 16 + low nibble) mod 256";
    ASSERT_TRUE(b.touch.setScanArea());
    EXPECT_EQ(b.touch.scanArea(), (std::array<std::uint32_t, 4>{0, 0, 63, 35}));
    ASSERT_TRUE(b.touch.setReportType(1));
    ASSERT_TRUE(b.touch.writeBlock6());
    std::array<std::uint16_t, 72> x{};
    for (std::size_t i = 0; i < x.size(); ++i) x[i] = static_cast<std::uint16_t>(0x100 + i);
    std::array<std::uint16_t, 46> y{};
    y[45] = 0xBEEF;
    ASSERT_TRUE(b.touch.writeXLut(x));
    ASSERT_TRUE(b.touch.writeYLut(y));
    const auto s = b.device->sets();
    ASSERT_EQ(s.size(), 11u);
    EXPECT_EQ(Bytes(s[0].begin(), s[0].begin() + 3), (Bytes{9, 0, 1}));
    EXPECT_EQ(Bytes(s[3].begin(), s[3].begin() + 8), (Bytes{9, 2, 0x0D, 0, 0, 0, 64, 36}));
    EXPECT_EQ(Bytes(s[4].begin(), s[4].begin() + 2), (Bytes{3, 1}));
    EXPECT_EQ(s[4].size(), 64u);
    EXPECT_EQ(Bytes(s[5].begin(), s[5].begin() + 5), (Bytes{9, 2, 6, 0, 0}));
    EXPECT_EQ(Bytes(s[8].begin(), s[8].begin() + 6), (Bytes{9, 2, 9, 2, 60, 1})) << "X items 60..71";
    EXPECT_EQ(s[8][4 + 2 * 11], 71);
    EXPECT_EQ(Bytes(s[10].begin(), s[10].begin() + 4), (Bytes{9, 2, 0x0A, 1}));
    EXPECT_EQ(s[10][4 + 2 * 15], 0xEF) << "Y item 45 last in part 1";

    b.bus.setFaults(b.deviceId, {0, 2, false});
    EXPECT_FALSE(b.touch.writeXLut(x));
    EXPECT_EQ(b.device->sets().size(), 12u) << "stops at the refused part";
}

TEST(DeviceLinkCommands, MaintenanceVersionAndTouchQuery) {
    testfx::Bench b;
    b.device->queue(9, answer9(0x00, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}));
    EXPECT_EQ(b.touch.readMaintenanceVersion(), (station::MaintenanceVersion{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}))
        << "the type nibble is not checked";
    EXPECT_EQ(selects(*b.device).back(), (Bytes{0, 0x0A}));

    Bytes q(16);
    for (std::size_t i = 0; i < 16; ++i) q[i] = static_cast<std::uint8_t>(i);
    q[0] = 4;
    b.device->queue(4, q);
    const auto query = b.touch.readTouchQuery();
    ASSERT_TRUE(query);
    EXPECT_EQ(query->bytes[0], 1);
    EXPECT_EQ(query->bytes[12], 13);
    EXPECT_EQ(query->firmwareMajor, 0x0C0B);
    EXPECT_EQ(query->firmwareMinor, 13);
}

TEST(DeviceLinkPen, PenQueryLayoutsByGeneration) {
    struct Case {
        const char* what;
        controllerlink::ControllerGeneration gen;
        Bytes answer;
        std::uint32_t x, y, pressure, firmware;
    };
    const std::vector<Case> cases = {
        {"R6 big-endian",
         controllerlink::ControllerGeneration::R6,
         {5, 0, 0x12, 0x34, 0x0A, 0xBC, 0x10, 0x00, 0x03},
         0x1234,
         0x0ABC,
         0x1000,
         0x0300},
        {"R6 without version",
         controllerlink::ControllerGeneration::R6,
         {5, 0, 0x12, 0x34, 0x0A, 0xBC, 0x10, 0x00, 0x00},
         0x1234,
         0x0ABC,
         0x1000,
         controllerlink::VID_PRIMARY},
        {"R5 little-endian",
         controllerlink::ControllerGeneration::R5,
         {5, 0x34, 0x12, 0xBC, 0x0A, 0x00, 0x10, 0x21, 0x01},
         0x1234,
         0x0ABC,
         0x1000,
         0x0121},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        testfx::Bench b;
        b.device->queue(5, c.answer);
        const auto query = b.pen.readPenQuery(c.gen);
        ASSERT_TRUE(query);
        EXPECT_EQ(query->maxX, c.x);
        EXPECT_EQ(query->maxY, c.y);
        EXPECT_EQ(query->maxPressure, c.pressure);
        EXPECT_EQ(query->firmware, c.firmware);
    }
}

TEST(DeviceLinkPen, PenOperationsAddressThePenCollection) {
    testfx::Bench b(testfx::wrappedCollections());  // the wrapper tag tells the collection
    ASSERT_TRUE(b.pen.setPenReportType(1));
    ASSERT_TRUE(b.pen.startPenMaintenance());
    ASSERT_TRUE(b.pen.setPenScan(0x11, 0x22, 0x35, 0x02));
    ASSERT_TRUE(b.pen.stopPenMaintenance());
    const auto s = b.device->sets();
    ASSERT_EQ(s.size(), 5u);
    for (const auto& r : s) EXPECT_EQ(r[0], 0xBA);
    auto body = [](const Bytes& w, std::size_t n) {
        return Bytes(w.begin() + 3, w.begin() + 3 + static_cast<long>(n));
    };
    EXPECT_EQ(s[0][2], 64);
    EXPECT_EQ(body(s[0], 2), (Bytes{11, 1}));
    EXPECT_EQ(s[1][2], 66);
    EXPECT_EQ(body(s[1], 3), (Bytes{0x10, 0x81, 0x01}));
    EXPECT_EQ(body(s[2], 11), (Bytes{0x10, 0x81, 0xA4, 0x25, 0x01, 0, 0, 0, 0x11, 0x22, 0}));
    EXPECT_EQ(body(s[3], 3), (Bytes{0x10, 0x90, 0}));
    EXPECT_EQ(body(s[4], 3), (Bytes{0x10, 0x81, 0x02}));
}

TEST(DeviceLinkPen, StoppingPenMaintenanceClearsTheStatisticsOnlyWhenBothReportsWereTaken) {
    struct Case {
        const char* what;
        std::uint64_t refuse;  // which set is refused, 0 none
        bool ok;
        std::size_t sets;
        bool cleared;
    };
    const std::vector<std::uint8_t> lineReport = {15, 72, 0, 1, 0x10, 0x00};
    for (const Case& c : {Case{"both taken", 0, true, 2, true}, Case{"stop refused", 1, false, 0, false},
                          Case{"leave refused", 2, false, 1, false}}) {
        SCOPED_TRACE(c.what);
        testfx::Bench b;
        station::DeviceLink pen(b.table, controllerlink::PEN_KEY, b.clock);
        ASSERT_TRUE(pen.resetLineStatistics(4));
        ASSERT_TRUE(pen.addLineReport(lineReport));
        b.bus.setFaults(b.deviceId, {0, c.refuse, false});
        EXPECT_EQ(pen.stopPenMaintenance(), c.ok);
        EXPECT_EQ(b.device->sets().size(), c.sets);
        EXPECT_EQ(pen.lineStatistics().held(0) == 0, c.cleared);
        EXPECT_EQ(pen.lineStatistics().collecting(), !c.cleared);
    }
}

TEST(DeviceLinkPen, HsyncDirectReadsFourAddresses) {
    testfx::Bench b;
    // Each answer carries the address it was asked for back in payload bytes 4..5 and
    // values address + i from payload byte 6.
    std::vector<std::uint16_t> asked;
    for (std::uint32_t addr : {0x4004u, 0x501Cu, 0x11C0u, 0x21FCu}) {
        Bytes a(64, 0);
        a[0] = 0x10;
        for (std::size_t i = 0; i < 5; ++i) {
            const std::uint32_t v = addr * 0x10000u + static_cast<std::uint32_t>(i);
            for (std::size_t k = 0; k < 4; ++k) a[2 + 6 + 4 * i + k] = static_cast<std::uint8_t>(v >> (8 * k));
        }
        b.device->queue(0x10, a);
    }
    const auto direct = b.pen.readHsyncDirect();
    ASSERT_TRUE(direct);
    EXPECT_EQ((*direct)[0], 0x40040000u);
    EXPECT_EQ((*direct)[3], 0x40040003u);
    EXPECT_EQ((*direct)[4], 0x501C0000u);
    EXPECT_EQ((*direct)[8], 0x501C0004u);
    EXPECT_EQ((*direct)[9], 0x11C00000u);
    EXPECT_EQ((*direct)[11], 0x21FC0001u);
    for (const auto& s : b.device->sets()) asked.push_back(static_cast<std::uint16_t>(s[6] | (s[7] << 8)));
    EXPECT_EQ(asked, (std::vector<std::uint16_t>{0x4004, 0x501C, 0x11C0, 0x21FC}));
    EXPECT_EQ(b.device->sets().at(0).size(), 64u);
    EXPECT_EQ(b.device->sets().at(0)[1], 0x02);

    b.device->queue(0x10, Bytes(64, 0));  // only one answer: the second transfer is refused
    EXPECT_FALSE(b.pen.readHsyncDirect());
}

}  // namespace
