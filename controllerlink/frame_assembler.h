#pragma once
// Assembles the sensor frames the controller streams through its maintenance answer (report 9,
// 64 bytes) while the raw data viewer polls it: image frames (with their noise row), area
// frames, record frames and column frames. Every buffer is fixed and made once; a report only
// writes into them, and each completed frame goes to the sink with the status word, which is
// then cleared. Indices a report carries are checked against the buffers before they are used.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

namespace controllerlink {

inline constexpr std::size_t kFrameReportLength = 64;
inline constexpr std::size_t kFrameRx = 72;
inline constexpr std::size_t kFrameTx = 46;
inline constexpr std::size_t kNoiseRow = 46;  // the image frame's extra row
inline constexpr std::size_t kAreaRecords = 255;
inline constexpr std::size_t kMaxFrameRows = 2000;

// Frame status word bits.
inline constexpr std::uint32_t kFrameReadFailed = 1;     // a poll failed since the last frame
inline constexpr std::uint32_t kFrameOutOfSequence = 2;  // a report's indices were not the expected ones

// Where the controller scans (its scan area), how many Rx columns a column frame row has and
// how many records or rows make one record or column frame.
struct FrameGeometry {
    std::uint32_t firstRx = 0;
    std::uint32_t firstTx = 0;
    std::uint32_t lastRx = kFrameRx - 1;
    std::uint32_t lastTx = kFrameTx - 1;
    std::uint32_t rxCount = kFrameRx;
    std::uint32_t rowsPerRecordFrame = 1;
};

struct ImageFrame {
    // Row = Tx index, cell = Rx index; row 46 is the noise row.
    std::array<std::array<std::int32_t, kFrameRx>, kFrameTx + 1> cells{};
};

struct AreaFrame {
    // Written only inside the areas' rectangles.
    std::array<std::array<std::int32_t, kFrameRx>, kFrameTx> cells{};
    // The number of areas the current set announced; -1 once an empty set was posted.
    std::int32_t areaCount = 0;
    // Area index 1..255 at [index - 1]: first Rx, first Tx, last Rx, last Tx as the edge flags
    // trim them, then the same four as the controller sent them.
    std::array<std::array<std::int32_t, 8>, kAreaRecords> areas{};
};

struct RecordFrame {
    std::int32_t completion = 0;  // 1 complete, 0 ended by an end marker
    std::int32_t sequence = 0;
    std::array<std::array<std::int32_t, 5>, kMaxFrameRows> records{};
};

struct ColumnFrame {
    std::int32_t sequence = 0;
    // Column c, row r at [c * kMaxFrameRows + r].
    std::array<std::int32_t, kFrameRx * kMaxFrameRows> values{};
};

// Receives each completed frame. The frame is the assembler's own buffer and is overwritten by
// the next reports: a receiver that keeps it copies it before returning.
class FrameSink {
public:
    virtual ~FrameSink() = default;
    virtual void onImageFrame(std::uint32_t status, const ImageFrame& frame) = 0;
    virtual void onAreaFrame(std::uint32_t status, const AreaFrame& frame) = 0;
    virtual void onRecordFrame(std::uint32_t status, const RecordFrame& frame) = 0;
    virtual void onColumnFrame(std::uint32_t status, const ColumnFrame& frame) = 0;
};

class FrameAssembler {
public:
    explicit FrameAssembler(FrameSink& sink);
    FrameSink& sink() const { return sink_; }

    // Clears every buffer, the status word and the sequence counters, and expects the first
    // image sample at the scan area's first Rx and first Tx.
    void start(const FrameGeometry& geometry);
    // A new scan area or frame size (the owner pauses the reader around it). Bounds are held
    // to the buffers; the frame in progress continues from where it is.
    void setGeometry(const FrameGeometry& geometry);
    const FrameGeometry& geometry() const { return geometry_; }

    // One maintenance answer, report id first (at most the first 64 bytes are used). A failed
    // poll passes the buffer it still holds with `readFailed` set.
    void addReport(std::span<const std::uint8_t> report, bool readFailed);
    std::uint32_t status() const { return status_; }

private:
    struct Buffers {
        ImageFrame image;
        AreaFrame area;
        RecordFrame record;
        ColumnFrame column;
    };
    struct Samples;

    void image(const Samples& s, std::uint8_t type);
    void area(const Samples& s);
    void record(std::span<const std::uint8_t, kFrameReportLength> r);
    void column(std::span<const std::uint8_t, kFrameReportLength> r);
    void fillArea(const Samples& s, std::size_t from);

    FrameSink& sink_;
    std::unique_ptr<Buffers> b_;
    FrameGeometry geometry_;
    std::uint32_t status_ = 0;
    // Image frames: where the next sample is expected.
    std::uint32_t imageRx_ = 0;
    std::uint32_t imageTx_ = 0;
    // Area frames: the areas still to come, the open area (0: none) and its cursor.
    std::uint32_t areasLeft_ = 0;
    std::uint32_t areaIndex_ = 0;
    std::uint32_t areaRx_ = 0;
    std::uint32_t areaTx_ = 0;
    // Record and column frames.
    std::uint32_t recordSequence_ = 0;
    std::uint32_t recordIndex_ = 0;
    std::uint32_t columnSequence_ = 0;
    std::uint32_t columnRow_ = 0;
    std::uint32_t columnCol_ = 0;
};

}  // namespace controllerlink
