#pragma once
// The raw data viewer without its window: seven per-cell tables fed by streamed image frames
// (or, at opening, by the last raw judgement), their running statistics, the noise per Rx
// line, the status and statistics texts, the operator's keys and the CSV dump. Every table and
// text is made when the viewer is made; handling a frame allocates nothing.
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "controllerlink/frame_assembler.h"
#include "controllerlink/sensor_grid.h"
#include "platform/clock.h"
#include "platform/tick_counter.h"
#include "station/recipe/recipe_settings.h"
#include "station/recipe/threshold_tables.h"
#include "station/sequence/judgement_maps.h"
#include "station/viewers/logic/fixed_text.h"
#include "station/viewers/logic/viewer_device.h"

namespace station::viewers {

using controllerlink::Grid;
using controllerlink::kGridRx;
using controllerlink::kGridTx;

// The seven tables, in the order of their views.
enum class RawView : int { Raw = 0, Average, Sigma, Diff, Upper, Lower, Error };
inline constexpr int kRawViews = 7;
// "[1.Raw]" .. "[7.Error]".
std::string_view rawViewLabel(RawView view);

struct CellPosition {
    int tx = -1;  // -1: the record is still empty
    int rx = -1;
    bool operator==(const CellPosition&) const = default;
};

// Minimum and maximum of the last frame, and of everything since the last clear.
struct StatisticsRecord {
    double currentMin = 0.0;
    double currentMax = 0.0;
    CellPosition currentMinAt;
    CellPosition currentMaxAt;
    double totalMin = 0.0;
    double totalMax = 0.0;
    CellPosition totalMinAt;
    CellPosition totalMaxAt;

    void clear() { *this = StatisticsRecord{}; }
    // `restart`: the first cell of a frame, where the current minimum and maximum start over.
    void add(double value, int tx, int rx, bool restart);
};

// The largest value of one noise array and its Rx line (-1: empty).
struct WorstRecord {
    double value = 0.0;
    int line = -1;
};

struct NoiseArrays {
    std::array<double, kGridRx> current{};
    std::array<double, kGridRx> average{};
    std::array<double, kGridRx> worst{};
    WorstRecord currentWorst;  // of this frame's current noise
    WorstRecord totalWorst;    // since the last clear
    WorstRecord averageWorst;  // of this frame's average noise
};

// What a statistics text can show: the four tables the label cycles over, the error counts and
// the noise's worst values.
enum class StatisticsSource { Raw, Average, Sigma, Diff, Error, Noise };
using StatisticsText = FixedText<256>;

// Keys the viewer takes before the window's own handling.
enum class RawKey { Enter, Space, E, R, S, T };

struct RawViewerInputs {
    ViewerDevice& device;
    // The last raw judgement: rawAverage, its diff and upper/lower maps.
    const Grid& lastRaw;
    const Grid& lastDiff;
    const IntGrid& upperMap;
    const IntGrid& lowerMap;
    // Its ReferenceTable, UpperTable and LowerTable; "RELOAD CSV" reads them again.
    RecipeSettings& recipe;
    // RAW_CHECK set and a recipe loaded: the diff, margin and error views make sense.
    bool marginsAvailable = false;
    // Where the frame reader hands its frames; the front end passes each to handleFrame on its
    // own thread.
    controllerlink::FrameSink& frameSink;
    platform::Clock& clock;
    // Times the frames for the frame rate; the Clock's milliseconds are too coarse at 60 fps.
    platform::TickCounter& ticks;
    TableFileAccess tableAccess;
    // Folder of the CSV dumps (the working directory).
    std::string dumpFolder = ".";
};

class RawViewer {
public:
    explicit RawViewer(RawViewerInputs inputs);
    // Closing while streaming ends the reader this viewer started: its sink goes with the window.
    ~RawViewer();
    RawViewer(const RawViewer&) = delete;
    RawViewer& operator=(const RawViewer&) = delete;

    // Buttons.
    void start();
    void stop();
    void clear();
    void reloadCsv();
    // WM_IMAGE_FRAME: a frame from the reader with its status word.
    void handleFrame(std::uint32_t status, const controllerlink::ImageFrame& frame);
    // The up/down control beside the statistics label.
    void stepLabel(int delta);
    // A key; true when the viewer took it. `inRangeField`: the focus is on the range minimum or
    // maximum field.
    bool key(RawKey key, bool inRangeField = false);
    // Space: writes the selected view's CSV dump (the reader paused meanwhile); false when it
    // could not be written (the status bar says so).
    bool dump();

    // Controls.
    void setView(RawView view) { view_ = view; }
    RawView view() const { return view_; }
    bool viewEnabled(RawView view) const;
    void setAutoRange(bool on) { autoRange_ = on; }
    bool autoRange() const { return autoRange_; }
    // The range fields; Enter in either repaints with them.
    void setManualRange(double minimum, double maximum) {
        manualMin_ = minimum;
        manualMax_ = maximum;
    }
    double manualMin() const { return manualMin_; }
    double manualMax() const { return manualMax_; }
    bool startEnabled() const { return startEnabled_; }
    bool stopEnabled() const { return stopEnabled_; }
    bool errorCross() const { return errorCross_; }
    bool tooltipRelay() const { return tooltipRelay_; }
    int labelIndex() const { return labelIndex_; }
    std::string_view labelText() const { return rawViewLabel(static_cast<RawView>(labelIndex_)); }

    // Texts.
    std::string_view statusText() const { return status_.view(); }
    std::string_view statisticsText() const { return statistics_.view(); }
    std::string_view frameRateText() const { return frameRate_.view(); }
    // The statistics text of any source (the field shows the label's one).
    void formatStatistics(StatisticsSource source, StatisticsText& text) const;
    // Path of the last dump written.
    const std::string& lastDumpPath() const { return lastDumpPath_; }

    // Data.
    const Grid& table(RawView view) const { return tables_->grids[static_cast<int>(view)]; }
    const StatisticsRecord& statistics(RawView view) const { return tables_->stats[static_cast<int>(view)]; }
    const NoiseArrays& noise() const { return tables_->noise; }
    bool hasData() const { return hasData_; }
    bool firstFrame() const { return firstFrame_; }
    std::uint32_t rxCount() const { return rx_; }
    std::uint32_t txCount() const { return tx_; }
    const Grid& reference() const { return in_.recipe.ReferenceTable; }
    const Grid& upper() const { return in_.recipe.UpperTable; }
    const Grid& lower() const { return in_.recipe.LowerTable; }
    // What the last "RELOAD CSV" found wrong with the table files; the status bar tells them too.
    const std::vector<std::string>& reloadMessages() const { return reloadMessages_; }

    // The CSV dump of the selected view, as "\n"-ended lines.
    std::string dumpText() const;
    // "log%02d%02d%02d%02d%02d.csv": month, day, hour, minute, second of local time.
    static std::string dumpFileName(const platform::TimeOfDay& t);

private:
    struct Tables {
        std::array<Grid, kRawViews> grids{};
        std::array<StatisticsRecord, kRawViews> stats{};
        NoiseArrays noise;
    };
    Grid& grid(RawView v) { return tables_->grids[static_cast<int>(v)]; }
    StatisticsRecord& stat(RawView v) { return tables_->stats[static_cast<int>(v)]; }
    void fillFromLastCheck();
    void clearTables();
    void refreshStatisticsText();

    RawViewerInputs in_;
    std::unique_ptr<Tables> tables_;
    std::uint32_t rx_ = 0;
    std::uint32_t tx_ = 0;
    RawView view_ = RawView::Raw;
    int labelIndex_ = 0;
    bool autoRange_ = true;
    double manualMin_ = -1000.0;
    double manualMax_ = 1000.0;
    bool startEnabled_ = true;
    bool stopEnabled_ = false;
    bool streamed_ = false;  // "Ave" and "Sigma" are enabled once streaming started
    bool readerStarted_ = false;
    bool firstFrame_ = true;
    bool hasData_ = true;
    bool errorCross_ = false;
    bool tooltipRelay_ = true;
    std::uint64_t lastFrameUs_ = 0;
    // Wide enough for the table files' messages after "RELOAD CSV", paths included.
    FixedText<1024> status_;
    StatisticsText statistics_;
    FixedText<32> frameRate_;
    std::string lastDumpPath_;
    std::vector<std::string> reloadMessages_;
};

}  // namespace station::viewers
