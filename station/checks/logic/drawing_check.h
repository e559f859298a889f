#pragma once
// The drawing check: on the device under test the operator touches the start box, holds ten
// fingers, draws the square and the diagonals with a finger and with the EMR pen, holds the pen
// on five targets and hovers it over three. Each step is judged OK or NG on the spot; the first
// step that did not pass goes into drawResult (1 INIT .. 8 P_HV, 0 when all passed).
#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "station/checks/logic/check_window.h"
#include "station/checks/logic/drawing_geometry.h"
#include "station/checks/logic/touch_input.h"

namespace station::checks {

enum DrawStep : int { INIT = 0, T_MT = 1, T_SQ = 2, T_DL = 3, P_SQ = 4, P_DL = 5, P_AC = 6, P_HV = 7, DRAW_DONE = 8 };

// 0 entering, 1 waiting to start, 2 in progress, 3 judged.
enum StepPhase : int { PhaseEntering = 0, PhaseWaiting = 1, PhaseInProgress = 2, PhaseJudged = 3 };

// What the runner hands the window: the recipe's drawing keys and the controller's ranges.
struct DrawingInputs {
    Surface surface;
    std::uint32_t rxCount = 0, txCount = 0;
    std::uint32_t touchMaxX = 0, touchMaxY = 0;
    ContactFormat contactFormat;
    // The custom pen report is on: pen data is shown and scaled only then.
    bool customPenReport = false;
    std::uint32_t penMaxX = 0, penMaxY = 0, penMaxPressure = 0;
    bool rotate = false;
    bool driverMode = false;
    std::int32_t mtouchWaitMs = 1000, okWaitMs = 1000, ngWaitMs = 3000, initLimitMs = 0;
    bool skipPenDrawing = false, accuracyCheck = false, hoverCheck = false;
    std::int32_t hoverNgCount = 0;
    std::int32_t accuracyRadius = 200;  // pen units
    double judgeAreaPercent = 7.5;
    // Bit n skips step n (bits 1..5 from the recipe's DRAW_DISABLE keys).
    std::uint32_t disableMask = 0;
    // DRAW_DISABLE_INT: the window starts at T_MT with INIT passed.
    bool skipInit = false;
    // Receives the result on close; null: nothing is recorded (the menu's drawing check).
    std::int32_t* drawResult = nullptr;
};

// What outlives one drawing window and is met again by the next.
struct DrawingCarryOver {
    int idleTicks = 0;  // 0..10
    std::uint8_t lastInputCounter = 0;
    int lastStep = -1;
    int stepTimerStart = -1;  // milliseconds within the minute; -1 stopped
    std::int32_t hoverNgCounter = -1;
};

// One mark of the ink layer, in pixels.
struct InkMark {
    enum class Kind : std::uint8_t { Cross, CrossAndCircle, Dot, Line, LineAndCross, PenLine };
    Kind kind = Kind::Cross;
    std::uint32_t argb = 0;
    PointF at;          // the contact's position (a line's end)
    PointF from;        // a line's start
    double size = 0;    // a cross's half size
    double radius = 0;  // a circle's radius
    double width = 0;   // a line's width
};

class DrawingCheck final : public CheckWindowLogic {
public:
    static constexpr std::size_t kInkLimit = 200000;

    DrawingCheck(const DrawingInputs& inputs, DrawingCarryOver& carry, InputReaders& readers, CheckWindowHost& host,
                 platform::Clock& clock);
    ~DrawingCheck() override;

    const DrawingInputs& inputs() const { return in_; }
    const DrawingGeometry& geometry() const { return geo_; }
    int step() const { return step_; }
    int phase() const { return phase_; }
    bool stepPassed(int s) const { return stepPassed_.at(static_cast<std::size_t>(s)) != 0; }
    int leg() const { return leg_; }
    int corner() const { return corner_; }
    bool liftPending() const { return liftPending_; }
    bool finished() const { return finishedFlag_; }
    bool failExit() const { return failExitFlag_; }
    int retryArm() const { return retryArm_; }
    int remainingMs() const { return remainingMs_; }
    const std::array<int, kAccuracyTargets>& accuracyState() const { return accuracyState_; }
    const std::array<bool, kHoverTargets>& hoverDone() const { return hoverDone_; }
    std::int32_t hoverNgCounter() const { return carry_.hoverNgCounter; }
    const TouchFrame& frame() const { return frame_; }
    const PenSample& pen() const { return pen_; }
    Point touchPoint() const;
    Point penPoint() const;
    const InputScale& scale() const { return scale_; }

    // The ink: marks since the last clearing; `inkClears` counts the clearings.
    const std::vector<InkMark>& ink() const { return ink_; }
    std::uint32_t inkClears() const { return inkClears_; }
    bool blackInk() const { return blackInk_; }
    int contactMode() const { return contactMode_; }
    double widthOffset() const { return widthOffset_; }

    // The result as it would be written now (0 when every step passed).
    std::int32_t result() const;

private:
    bool wantsPenReader() const override { return in_.customPenReport; }
    void onOpening() override;
    void onOpened(bool touchReader, bool penReader) override;
    void evaluate() override;
    void handleReport(ReaderCollection from, std::span<const std::uint8_t> report) override;
    void handleRawInput(const controllerlink::RawContactRecord& record,
                        const controllerlink::RawTouchRanges& ranges) override;
    void onRawInputEnded() override;
    void handleKey(CheckKey key) override;
    bool closeRequested() const override { return finishedFlag_ || failExitFlag_; }
    void writeResults() override;

    void takeFrame(const TouchFrame& frame);
    void newData();
    void inkFrame();
    void inkPen();
    void clearInk();

    // The step timer, in milliseconds within the minute.
    int nowInMinute();
    int elapsed();
    void runTimer();
    void stopTimer() { carry_.stepTimerStart = -1; }
    bool timerRunning() const { return carry_.stepTimerStart >= 0; }

    bool fresh() const { return carry_.idleTicks == 0; }
    bool inputPresent() const { return carry_.idleTicks < 3; }
    bool tipDown() const;
    Point stepPoint() const;

    void stepRule();
    void initRule();
    void multiTouchRule();
    void squareRule();
    void diagonalRule();
    void accuracyRule();
    void hoverRule();
    void pathChecks();
    void judged();
    void advance();
    void pass(const char* snapshot);
    void fail(const char* snapshot);
    void snapshot(const char* name);

    DrawingInputs in_;
    DrawingCarryOver& carry_;
    DrawingGeometry geo_;
    InputScale scale_;
    FrameAssembler assembler_;
    std::optional<controllerlink::RawTouchRanges> rawRanges_;

    int step_ = INIT;
    int phase_ = PhaseEntering;
    std::array<std::int32_t, 8> stepPassed_{};
    int leg_ = 0;
    int corner_ = 0;
    bool liftPending_ = false;
    bool finishedFlag_ = false;
    bool failExitFlag_ = false;
    int retryArm_ = -1;
    int remainingMs_ = -1;
    bool initLimitOff_ = false;
    std::array<int, kAccuracyTargets> accuracyState_{};
    std::array<bool, kHoverTargets> hoverDone_{};

    TouchFrame frame_;
    std::size_t contact1_ = 0;
    bool contact1Present_ = false;
    PenSample pen_;
    PenSample prevPen_;
    std::uint8_t inputCounter_ = 0;

    std::vector<InkMark> ink_;
    std::uint32_t inkClears_ = 0;
    std::map<std::uint32_t, PointF> lastContactAt_;
    bool penStroke_ = false;
    PointF penFrom_;
    bool blackInk_ = false;
    int contactMode_ = 0;
    double widthOffset_ = 0;
};

// The hue of contact identifier n (0 taken as 256), fully saturated, as ARGB.
std::uint32_t contactColour(std::uint32_t id);

}  // namespace station::checks
