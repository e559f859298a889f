#include "controllerlink/frame_assembler.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

using controllerlink::FrameAssembler;
using controllerlink::FrameGeometry;
using controllerlink::kFrameOutOfSequence;
using controllerlink::kFrameReadFailed;
using controllerlink::kNoiseRow;
using Report = std::vector<std::uint8_t>;

// Keeps a copy of every frame, as a receiver must.
struct Frames final : controllerlink::FrameSink {
    std::vector<std::uint32_t> imageStatus, areaStatus, recordStatus, columnStatus;
    std::vector<std::unique_ptr<controllerlink::ImageFrame>> images;
    std::vector<std::unique_ptr<controllerlink::AreaFrame>> areas;
    std::vector<std::unique_ptr<controllerlink::RecordFrame>> records;
    std::vector<std::unique_ptr<controllerlink::ColumnFrame>> columns;
    void onImageFrame(std::uint32_t s, const controllerlink::ImageFrame& f) override {
        imageStatus.push_back(s);
        images.push_back(std::make_unique<controllerlink::ImageFrame>(f));
    }
    void onAreaFrame(std::uint32_t s, const controllerlink::AreaFrame& f) override {
        areaStatus.push_back(s);
        areas.push_back(std::make_unique<controllerlink::AreaFrame>(f));
    }
    void onRecordFrame(std::uint32_t s, const controllerlink::RecordFrame& f) override {
        recordStatus.push_back(s);
        records.push_back(std::make_unique<controllerlink::RecordFrame>(f));
    }
    void onColumnFrame(std::uint32_t s, const controllerlink::ColumnFrame& f) override {
        columnStatus.push_back(s);
        columns.push_back(std::make_unique<controllerlink::ColumnFrame>(f));
    }
};

// A maintenance answer: id 9, type (and width nibble), two index bytes, then samples.
Report answer(std::uint8_t typeByte, std::uint8_t b2, std::uint8_t b3, const std::vector<int>& samples,
              std::size_t from = 4, const std::vector<std::uint8_t>& extra = {}) {
    Report r(64, 0);
    r[0] = 9;
    r[1] = typeByte;
    r[2] = b2;
    r[3] = b3;
    for (std::size_t i = 0; i < extra.size(); ++i) r[4 + i] = extra[i];
    const bool wide = (typeByte >> 4) != 0;
    for (std::size_t j = 0; j < samples.size(); ++j) {
        const std::size_t at = from + j * (wide ? 2 : 1);
        if (at + (wide ? 2 : 1) > r.size()) break;
        r[at] = static_cast<std::uint8_t>(samples[j] & 0xFF);
        if (wide) r[at + 1] = static_cast<std::uint8_t>((samples[j] >> 8) & 0xFF);
    }
    return r;
}

std::vector<int> counting(int from, int n) {
    std::vector<int> v;
    for (int i = 0; i < n; ++i) v.push_back(from + i);
    return v;
}

TEST(FrameAssembler, ImageFrames) {
    struct Case {
        const char* name;
        FrameGeometry geometry;
        std::vector<std::pair<Report, bool>> reports;  // report, read failed
        std::size_t frames;
        std::uint32_t status;                                          // of the first frame
        std::vector<std::tuple<std::size_t, std::size_t, int>> cells;  // row, rx, value of the first frame
    };
    // A 4 x 2 scan area: 8 image samples, then the 4 of the noise row.
    const FrameGeometry small{0, 0, 3, 1, 4, 1};
    // The whole sensor in 16-bit samples: 30 per report.
    const FrameGeometry whole{};
    const Case cases[] = {
        {"8-bit frame in one report, noise row last",
         small,
         {{answer(0x00, 0, 0, counting(1, 12)), false}},
         1,
         0,
         {{0, 0, 1}, {0, 3, 4}, {1, 0, 5}, {kNoiseRow, 0, 9}, {kNoiseRow, 3, 12}}},
        {"16-bit samples are signed",
         small,
         {{answer(0x10, 0, 0, {-5, 300, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}), false}},
         1,
         0,
         {{0, 0, -5}, {0, 1, 300}}},
        {"a skipped report is flagged and the frame goes on from the indices received",
         whole,
         {{answer(0x10, 0, 0, counting(0, 30)), false}, {answer(0x10, 60, 0, counting(500, 30)), false}},
         0,
         0,
         {}},
        {"type 1 has six rows before its noise row",
         FrameGeometry{0, 0, 1, 45, 2, 1},
         {{answer(0x01, 0, 0, counting(1, 14)), false}},
         1,
         0,
         {{5, 1, 12}, {kNoiseRow, 0, 13}, {kNoiseRow, 1, 14}}},
        {"a failed poll is told with the frame its stale answer completes",
         small,
         {{answer(0x00, 0, 0, counting(1, 12)), true}},
         1,
         kFrameReadFailed,
         {{1, 0, 5}}},
        {"indices off the sensor are not written",
         small,
         {{answer(0x00, 200, 0, counting(1, 60)), false}, {answer(0x00, 0, 0, counting(1, 12)), false}},
         1,
         kFrameOutOfSequence,
         {{0, 0, 1}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Frames sink;
        FrameAssembler a(sink);
        a.start(c.geometry);
        for (const auto& [r, failed] : c.reports) a.addReport(r, failed);
        ASSERT_EQ(sink.images.size(), c.frames);
        if (c.frames == 0) continue;
        EXPECT_EQ(sink.imageStatus[0], c.status);
        for (const auto& [row, rx, v] : c.cells) EXPECT_EQ(sink.images[0]->cells[row][rx], v) << row << "," << rx;
        EXPECT_EQ(a.status(), 0u) << "cleared after the post";
    }
}

TEST(FrameAssembler, ASkippedImageReportIsFlaggedInTheFrameItCompletes) {
    Frames sink;
    FrameAssembler a(sink);
    a.start(FrameGeometry{});
    // 72 x 46 + 72 noise samples at 30 per report; the report starting at Rx 60 of row 0 is lost.
    std::uint32_t rx = 0;
    std::uint32_t tx = 0;
    int sent = 0;
    while (sink.images.empty() && sent < 200) {
        const bool lost = sent == 2;
        if (!lost)
            a.addReport(answer(0x10, static_cast<std::uint8_t>(rx), static_cast<std::uint8_t>(tx),
                               counting(static_cast<int>(tx * 72 + rx), 30)),
                        false);
        ++sent;
        rx += 30;
        while (rx >= 72) rx -= 72, ++tx;
    }
    ASSERT_EQ(sink.images.size(), 1u);
    EXPECT_EQ(sink.imageStatus[0], kFrameOutOfSequence);
    EXPECT_EQ(sink.images[0]->cells[1][18], 72 + 18) << "resumed at the indices the report carried";
    EXPECT_EQ(sink.images[0]->cells[0][60], 0) << "the lost samples stay as they were";
    EXPECT_EQ(sink.images[0]->cells[kNoiseRow][71], 46 * 72 + 71);
}

// Area k at (rx, tx)..(lastRx, lastTx) with edge flags in bit 7.
Report areaOpen(std::uint8_t left, std::uint8_t index, std::uint8_t rx, std::uint8_t tx, std::uint8_t lastRx,
                std::uint8_t lastTx, const std::vector<int>& samples) {
    return answer(0x04, left, index, samples, 8, {rx, tx, lastRx, lastTx});
}

TEST(FrameAssembler, AreaFrames) {
    Frames sink;
    FrameAssembler a(sink);
    a.start(FrameGeometry{});
    a.addReport(answer(0x04, 0, 0, {}), false);
    a.addReport(answer(0x04, 0, 0, {}), false);
    ASSERT_EQ(sink.areas.size(), 1u) << "an empty set is told once";
    EXPECT_EQ(sink.areas[0]->areaCount, -1);

    // Two areas: a 2 x 2 one with its first Rx kept (bit 7), then a 40 x 1 one of 16-bit samples
    // over two reports.
    a.addReport(areaOpen(2, 1, 0x80 | 10, 5, 11, 6, {1, 2, 3, 4}), false);
    a.addReport(answer(0x14, 1, 2, counting(100, 28), 8, {20, 30, 59, 30}), false);
    EXPECT_EQ(sink.areas.size(), 1u) << "nothing until the last area is full";
    // Bytes 4 and 5 carry the next sample's Rx and Tx, byte 2 the areas left.
    a.addReport(answer(0x14, 1, 0, counting(128, 29), 6, {48, 30}), false);
    ASSERT_EQ(sink.areas.size(), 2u);
    const auto& f = *sink.areas[1];
    EXPECT_EQ(sink.areaStatus[1], 0u);
    EXPECT_EQ(f.areaCount, 2);
    EXPECT_EQ(f.cells[5][10], 1);
    EXPECT_EQ(f.cells[6][11], 4);
    EXPECT_EQ(f.cells[30][59], 139);
    EXPECT_EQ(f.cells[30][60], 0) << "past the rectangle";
    EXPECT_EQ(f.areas[0], (std::array<std::int32_t, 8>{10, 6, 10, 5, 10, 5, 11, 6}));
    EXPECT_EQ(f.areas[1], (std::array<std::int32_t, 8>{21, 31, 58, 29, 20, 30, 59, 30}));

    a.addReport(answer(0x04, 0, 0, {}), false);
    EXPECT_EQ(sink.areas.size(), 3u) << "an empty set after a set is told again";
    // A continuation with the wrong count, and a rectangle off the sensor.
    a.addReport(areaOpen(1, 1, 0, 0, 0, 0, {}), false);
    a.addReport(areaOpen(1, 3, 0, 0, 100, 0, {1}), false);
    EXPECT_EQ(a.status() & kFrameOutOfSequence, kFrameOutOfSequence);
}

TEST(FrameAssembler, RecordAndColumnFrames) {
    Frames sink;
    FrameAssembler a(sink);
    a.start(FrameGeometry{0, 0, 71, 45, 3, 2});
    const auto rec = [](std::uint8_t seq, std::uint8_t index, int base) {
        return answer(0x16, seq, index, counting(base, 5));
    };
    a.addReport(rec(0, 0, 10), false);
    a.addReport(rec(0, 1, 20), false);
    ASSERT_EQ(sink.records.size(), 1u);
    EXPECT_EQ(sink.records[0]->completion, 1);
    EXPECT_EQ(sink.records[0]->sequence, 0);
    EXPECT_EQ(sink.records[0]->records[1], (std::array<std::int32_t, 5>{20, 21, 22, 23, 24}));
    a.addReport(rec(7, 0, 30), false);  // sequence 1 expected
    a.addReport(answer(0x06, 1, 0xFF, {}), false);
    ASSERT_EQ(sink.records.size(), 2u);
    EXPECT_EQ(sink.recordStatus[1], kFrameOutOfSequence);
    EXPECT_EQ(sink.records[1]->completion, 0) << "ended by the marker";
    EXPECT_EQ(sink.records[1]->records[0][0], 30) << "filled where expected, no resynchronisation";

    // Columns: three per row, the rest of a report unused once a row is full.
    const auto col = [](std::uint8_t seq, std::uint8_t row, const std::vector<int>& v) {
        return answer(0x17, seq, row, v, 6, {0});
    };
    a.addReport(col(0, 0, {1, 2, 3, 99}), false);
    a.addReport(col(0, 1, {4, 5, 6}), false);
    ASSERT_EQ(sink.columns.size(), 1u);
    const auto& c = *sink.columns[0];
    EXPECT_EQ(sink.columnStatus[0], 0u);
    EXPECT_EQ(c.values[0 * controllerlink::kMaxFrameRows + 0], 1);
    EXPECT_EQ(c.values[2 * controllerlink::kMaxFrameRows + 1], 6);
    EXPECT_EQ(c.values[3 * controllerlink::kMaxFrameRows + 0], 0) << "past the row's columns";
    a.addReport(col(5, 0, {1, 2, 3}), false);
    EXPECT_EQ(a.status(), kFrameOutOfSequence);
}

}  // namespace
