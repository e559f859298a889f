#include "controllerlink/frame_assembler.h"

#include <algorithm>

namespace controllerlink {
namespace {

std::int32_t s16(std::span<const std::uint8_t, kFrameReportLength> r, std::size_t at) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(r[at] | (r[at + 1] << 8)));
}

}  // namespace

// The samples of one report: one unsigned byte each, or a signed 16-bit value each when the
// high nibble of byte 1 is set.
struct FrameAssembler::Samples {
    std::span<const std::uint8_t, kFrameReportLength> r;
    std::size_t width = 1;

    std::size_t countFrom(std::size_t from) const { return (kFrameReportLength - from) / width; }
    std::int32_t at(std::size_t from, std::size_t j) const {
        const std::size_t i = from + j * width;
        return width == 1 ? static_cast<std::int32_t>(r[i]) : s16(r, i);
    }
};

FrameAssembler::FrameAssembler(FrameSink& sink) : sink_(sink), b_(std::make_unique<Buffers>()) {}

void FrameAssembler::start(const FrameGeometry& geometry) {
    *b_ = Buffers{};
    status_ = 0;
    areasLeft_ = 0;
    areaIndex_ = 0;
    recordSequence_ = 0;
    recordIndex_ = 0;
    columnSequence_ = 0;
    columnRow_ = 0;
    columnCol_ = 0;
    setGeometry(geometry);
    imageRx_ = geometry_.firstRx;
    imageTx_ = geometry_.firstTx;
}

void FrameAssembler::setGeometry(const FrameGeometry& g) {
    geometry_ = g;
    geometry_.lastRx = std::min<std::uint32_t>(g.lastRx, kFrameRx - 1);
    geometry_.lastTx = std::min<std::uint32_t>(g.lastTx, kFrameTx - 1);
    geometry_.firstRx = std::min(g.firstRx, geometry_.lastRx);
    geometry_.firstTx = std::min(g.firstTx, geometry_.lastTx);
    geometry_.rxCount = std::clamp<std::uint32_t>(g.rxCount, 1, kFrameRx);
    // A frame of no rows would never end.
    geometry_.rowsPerRecordFrame = std::clamp<std::uint32_t>(g.rowsPerRecordFrame, 1, kMaxFrameRows);
}

void FrameAssembler::addReport(std::span<const std::uint8_t> report, bool readFailed) {
    if (readFailed) status_ |= kFrameReadFailed;
    std::array<std::uint8_t, kFrameReportLength> padded{};
    std::copy_n(report.begin(), std::min(report.size(), kFrameReportLength), padded.begin());
    const std::span<const std::uint8_t, kFrameReportLength> r(padded);
    const auto type = static_cast<std::uint8_t>(r[1] & 0x0F);
    const Samples s{r, (r[1] >> 4) == 0 ? std::size_t{1} : std::size_t{2}};
    if (type <= 3)
        image(s, type);
    else if (type == 4)
        area(s);
    else if (type == 6)
        record(r);
    else if (type == 7)
        column(r);
    // Types 5 and 8..15 carry nothing a frame is made of.
}

void FrameAssembler::image(const Samples& s, std::uint8_t type) {
    const FrameGeometry& g = geometry_;
    // Image rows, then one noise row addressed as row `rows`.
    const std::uint32_t rows = (type == 1 || type == 3) ? 6 : g.lastTx + 1;
    std::uint32_t rx = s.r[2];
    std::uint32_t tx = s.r[3];
    if (rx != imageRx_ || tx != imageTx_) status_ |= kFrameOutOfSequence;
    // Indices outside the scan area cannot be placed: wait for a report that can.
    if (rx < g.firstRx || rx > g.lastRx || tx > rows) {
        status_ |= kFrameOutOfSequence;
        return;
    }
    ImageFrame& f = b_->image;
    const std::size_t n = s.countFrom(4);
    for (std::size_t j = 0; j < n; ++j) {
        f.cells[tx == rows ? kNoiseRow : tx][rx] = s.at(4, j);
        if (rx == g.lastRx) {
            rx = g.firstRx;
            ++tx;
        } else {
            ++rx;
        }
        if (tx > rows) {
            sink_.onImageFrame(status_, f);
            status_ = 0;
            imageRx_ = g.firstRx;
            imageTx_ = g.firstTx;
            return;
        }
    }
    imageRx_ = rx;
    imageTx_ = tx;
}

void FrameAssembler::area(const Samples& s) {
    const std::uint32_t left = s.r[2];
    const std::uint32_t index = s.r[3];
    AreaFrame& f = b_->area;
    if (left == 0) {
        // An empty set is told once, until another set starts.
        if (f.areaCount != -1) {
            f.areaCount = -1;
            sink_.onAreaFrame(status_, f);
            status_ = 0;
        }
        areaIndex_ = 0;
        return;
    }
    if (index == 1) {
        areasLeft_ = left;
        f.areaCount = static_cast<std::int32_t>(left);
    }
    if (left != areasLeft_) {
        status_ |= kFrameOutOfSequence;
        areasLeft_ = left;
    }
    const std::uint32_t rx = s.r[4] & 0x7F;
    const std::uint32_t tx = s.r[5] & 0x7F;
    if (index >= 1) {
        const std::uint32_t lastRx = s.r[6] & 0x7F;
        const std::uint32_t lastTx = s.r[7] & 0x7F;
        // A rectangle outside the sensor cannot be filled: the area is dropped.
        if (rx > lastRx || tx > lastTx || lastRx >= kFrameRx || lastTx >= kFrameTx) {
            status_ |= kFrameOutOfSequence;
            areaIndex_ = 0;
            return;
        }
        const auto trimFirst = [&](std::size_t at, std::uint32_t v) { return (s.r[at] & 0x80) != 0 ? v : v + 1; };
        const auto trimLast = [&](std::size_t at, std::uint32_t v) {
            return (s.r[at] & 0x80) != 0 ? static_cast<std::int32_t>(v) : static_cast<std::int32_t>(v) - 1;
        };
        f.areas[index - 1] = {static_cast<std::int32_t>(trimFirst(4, rx)),
                              static_cast<std::int32_t>(trimFirst(5, tx)),
                              trimLast(6, lastRx),
                              trimLast(7, lastTx),
                              static_cast<std::int32_t>(rx),
                              static_cast<std::int32_t>(tx),
                              static_cast<std::int32_t>(lastRx),
                              static_cast<std::int32_t>(lastTx)};
        areaIndex_ = index;
        areaRx_ = rx;
        areaTx_ = tx;
        fillArea(s, 8);
        return;
    }
    if (areaIndex_ == 0) {
        status_ |= kFrameOutOfSequence;
        return;
    }
    const auto& a = f.areas[areaIndex_ - 1];
    if (rx != areaRx_ || tx != areaTx_) {
        status_ |= kFrameOutOfSequence;
        if (rx < static_cast<std::uint32_t>(a[4]) || rx > static_cast<std::uint32_t>(a[6]) ||
            tx < static_cast<std::uint32_t>(a[5]) || tx > static_cast<std::uint32_t>(a[7]))
            return;
        areaRx_ = rx;
        areaTx_ = tx;
    }
    fillArea(s, 6);
}

void FrameAssembler::fillArea(const Samples& s, std::size_t from) {
    AreaFrame& f = b_->area;
    const auto& a = f.areas[areaIndex_ - 1];
    const auto firstRx = static_cast<std::uint32_t>(a[4]);
    const auto lastRx = static_cast<std::uint32_t>(a[6]);
    const auto lastTx = static_cast<std::uint32_t>(a[7]);
    const std::size_t n = s.countFrom(from);
    for (std::size_t j = 0; j < n; ++j) {
        f.cells[areaTx_][areaRx_] = s.at(from, j);
        if (areaRx_ < lastRx) {
            ++areaRx_;
            continue;
        }
        areaRx_ = firstRx;
        if (++areaTx_ <= lastTx) continue;
        // The rectangle is full.
        areaIndex_ = 0;
        if (areasLeft_ > 0 && --areasLeft_ == 0) {
            sink_.onAreaFrame(status_, f);
            status_ = 0;
        }
        return;
    }
}

void FrameAssembler::record(std::span<const std::uint8_t, kFrameReportLength> r) {
    RecordFrame& f = b_->record;
    const auto post = [&](std::int32_t completion) {
        f.completion = completion;
        f.sequence = static_cast<std::int32_t>(recordSequence_);
        sink_.onRecordFrame(status_, f);
        status_ = 0;
        ++recordSequence_;
        recordIndex_ = 0;
    };
    if (r[3] == 0xFF) {
        post(0);
        return;
    }
    if (r[2] != (recordSequence_ & 0xFF) || r[3] != (recordIndex_ & 0xFF)) status_ = kFrameOutOfSequence;
    for (std::size_t k = 0; k < 5; ++k) f.records[recordIndex_][k] = s16(r, 4 + 2 * k);
    if (++recordIndex_ >= geometry_.rowsPerRecordFrame) post(1);
}

void FrameAssembler::column(std::span<const std::uint8_t, kFrameReportLength> r) {
    ColumnFrame& f = b_->column;
    if (r[2] != (columnSequence_ & 0xFF) || r[3] != (columnRow_ & 0xFF) || r[4] != columnCol_)
        status_ |= kFrameOutOfSequence;
    for (std::size_t at = 6; at + 2 <= kFrameReportLength; at += 2) {
        f.values[columnCol_ * kMaxFrameRows + columnRow_] = s16(r, at);
        if (++columnCol_ < geometry_.rxCount) continue;
        columnCol_ = 0;
        if (++columnRow_ >= geometry_.rowsPerRecordFrame) {
            f.sequence = static_cast<std::int32_t>(columnSequence_);
            sink_.onColumnFrame(status_, f);
            status_ = 0;
            ++columnSequence_;
            columnRow_ = 0;
        }
        return;
    }
}

}  // namespace controllerlink
