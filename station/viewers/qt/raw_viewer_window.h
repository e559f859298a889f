#pragma once
// The raw data viewer's window: the colour map of the selected table, its colour bar, the noise
// chart, the buttons, view radio buttons, range fields, statistics and status texts, all painted
// from the RawViewer logic. Frames from the reader thread arrive through a FramePoster; the
// operator's keys reach the logic before any control of the window sees them.
#include <QDialog>
#include <QString>
#include <array>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/probe_file.h"
#include "platform/tick_counter.h"
#include "station/viewers/logic/raw_map.h"
#include "station/viewers/logic/raw_viewer.h"
#include "station/viewers/qt/frame_poster.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QStatusBar;

namespace station::viewers {

// Everything the window opens with; the frame sink is its own.
struct RawViewerSetup {
    ViewerDevice& device;
    const Grid& lastRaw;
    const Grid& lastDiff;
    const IntGrid& upperMap;
    const IntGrid& lowerMap;
    RecipeSettings& recipe;
    bool marginsAvailable = false;
    platform::Clock& clock;
    platform::TickCounter& ticks;
    TableFileAccess tableAccess;
    std::string dumpFolder = ".";
    // The station's message list: what "RELOAD CSV" found wrong goes there as after a recipe
    // load (the status bar tells it too).
    std::function<void(std::string_view)> appendMessage;
};

class RawMapArea;
class TextField;
class UpDownControl;
class ColourBarArea;
class NoiseArea;

class RawViewerWindow final : public QDialog {
    Q_OBJECT
public:
    explicit RawViewerWindow(const RawViewerSetup& setup, QWidget* parent = nullptr);
    ~RawViewerWindow() override;

    struct Controls {
        QPushButton* start = nullptr;
        QPushButton* stop = nullptr;
        QPushButton* clear = nullptr;
        QPushButton* reload = nullptr;
        std::array<QRadioButton*, kRawViews> views{};
        QCheckBox* autoRange = nullptr;
        TextField* frameRate = nullptr;
        QLabel* statisticsLabel = nullptr;
        UpDownControl* labelStep = nullptr;
        TextField* statistics = nullptr;
        QLineEdit* rangeMin = nullptr;
        QLineEdit* rangeMax = nullptr;
        TextField* minLabel = nullptr;
        TextField* maxLabel = nullptr;
        ColourBarArea* colourBar = nullptr;
        RawMapArea* map = nullptr;
        NoiseArea* noise = nullptr;
        QStatusBar* status = nullptr;
    };
    const Controls& controls() const { return c_; }
    const RawViewer& viewer() const { return *viewer_; }
    RawViewer& viewer() { return *viewer_; }
    // The frames the window has handled since it opened.
    std::uint64_t framesHandled() const { return framesHandled_; }
    // The tip the pointer's last move showed (empty: none), as the tooltip shows it.
    const QString& lastTooltip() const { return lastTooltip_; }
    // Where cell (tx, rx) of the map is on the screen.
    QPoint cellOnScreen(int tx, int rx) const;

    // The tooltip of a pointer move over the map or the noise chart, at a point of that area.
    void pointerMoved(QWidget& area, const QPoint& at, const QPoint& global);
    // Takes every frame the reader has posted; allocates nothing of its own.
    void takeFrames();
    // Frames the reader handed over, and those that found the ring full.
    std::uint64_t framesPosted() const { return poster_.posted(); }
    std::uint64_t framesDropped() const { return poster_.dropped(); }
    // Frames that came with a non-zero status word.
    std::uint64_t framesRefused() const { return framesRefused_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Where the window and its controls are, once shown, moved or resized.
    void showEvent(QShowEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void buildControls();
    // Every control from the logic; the areas repainted.
    void showState();
    void repaintAreas();
    bool handleKey(QObject* watched, int key, Qt::KeyboardModifiers modifiers);
    void applyRange();
    void scheduleProbe();
    void writeProbe();

    FramePoster poster_;
    std::unique_ptr<RawViewer> viewer_;
    std::unique_ptr<controllerlink::ImageFrame> frame_;
    Controls c_;
    std::uint64_t framesHandled_ = 0;
    std::uint64_t framesRefused_ = 0;
    std::function<void(std::string_view)> appendMessage_;
    // The status bar's text as the logic last gave it: compared in place on every frame.
    FixedText<1024> shownStatus_;
    QString lastTooltip_;
    TooltipText tip_;
    std::unique_ptr<platform::ProbeFile> probe_;
    bool probeScheduled_ = false;
};

}  // namespace station::viewers
