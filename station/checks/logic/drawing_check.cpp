#include "station/checks/logic/drawing_check.h"

#include <algorithm>
#include <cmath>

namespace station::checks {
namespace {

constexpr int kMinuteMs = 60000;
constexpr std::uint32_t kFingersNeeded = 10;
constexpr double kPenStillUnits = 80.0;
constexpr int kHoldMs = 1000;
constexpr int kIdleLimit = 10;
constexpr int kIdleAfter = 3;

}  // namespace

std::uint32_t contactColour(std::uint32_t id) {
    const std::uint32_t n = id == 0 ? 256 : id;
    // Ten hues 36 degrees apart; each further ten shifted by a 26th of that.
    const std::uint32_t tens = (n - 1) / 10;
    double hue = static_cast<double>((n - 1) % 10) * 36.0 + static_cast<double>(tens) * 36.0 / 26.0;
    hue = std::fmod(hue, 360.0);
    // Full saturation and value: one channel up, one down, one on the ramp between.
    const double h = hue / 60.0;
    const int sector = static_cast<int>(h);
    const double f = h - sector;
    double r = 0, g = 0, b = 0;
    switch (sector) {
        case 0:
            r = 1, g = f, b = 0;
            break;
        case 1:
            r = 1 - f, g = 1, b = 0;
            break;
        case 2:
            r = 0, g = 1, b = f;
            break;
        case 3:
            r = 0, g = 1 - f, b = 1;
            break;
        case 4:
            r = f, g = 0, b = 1;
            break;
        default:
            r = 1, g = 0, b = 1 - f;
            break;
    }
    const auto byte = [](double v) { return static_cast<std::uint32_t>(std::lround(v * 255.0)); };
    return 0xFF000000u | (byte(r) << 16) | (byte(g) << 8) | byte(b);
}

DrawingCheck::DrawingCheck(const DrawingInputs& inputs, DrawingCarryOver& carry, InputReaders& readers,
                           CheckWindowHost& host, platform::Clock& clock)
    : CheckWindowLogic(readers, host, clock, inputs.driverMode), in_(inputs), carry_(carry) {
    geo_ = DrawingGeometry::make(in_.surface, in_.judgeAreaPercent, in_.penMaxX, in_.penMaxY);
    scale_.setTouch(in_.surface, in_.touchMaxX, in_.touchMaxY, in_.rotate);
    if (in_.customPenReport) scale_.setPen(in_.surface, in_.penMaxX, in_.penMaxY, in_.penMaxPressure);
    if (!in_.accuracyCheck) in_.disableMask |= 1u << P_AC;
    if (!in_.hoverCheck) in_.disableMask |= 1u << P_HV;
    if (in_.skipInit) {
        step_ = T_MT;
        phase_ = PhaseWaiting;
        stepPassed_[INIT] = 1;
    }
}

DrawingCheck::~DrawingCheck() { close(); }

void DrawingCheck::onOpening() {
    // A countdown left running by the last window must not count for this one.
    stopTimer();
}

void DrawingCheck::onOpened(bool touchReader, bool /*penReader*/) {
    if (!touchReader) close();
}

std::int32_t DrawingCheck::result() const {
    for (std::size_t i = 0; i < stepPassed_.size(); ++i)
        if (stepPassed_[i] == 0) return static_cast<std::int32_t>(i + 1);
    return 0;
}

void DrawingCheck::writeResults() {
    if (in_.drawResult == nullptr) return;
    const std::int32_t r = result();
    if (r != 0) *in_.drawResult = r;
}

Point DrawingCheck::touchPoint() const {
    const ContactRecord& c = frame_.contacts[contact1_];
    return scale_.touchPoint(c.x, c.y);
}

Point DrawingCheck::penPoint() const { return scale_.penPoint(pen_.x, pen_.y); }

Point DrawingCheck::stepPoint() const { return step_ <= T_DL ? touchPoint() : penPoint(); }

bool DrawingCheck::tipDown() const {
    if (step_ <= T_DL) return (frame_.contacts[contact1_].status & kContactTouching) != 0;
    return (pen_.status & kPenTip) != 0;
}

// ---- input ----

void DrawingCheck::handleReport(ReaderCollection from, std::span<const std::uint8_t> report) {
    if (from == ReaderCollection::Touch && report[0] == 3) {
        ++inputCounter_;
        if (const auto frame = assembler_.addMaintenanceReport(report, in_.contactFormat)) {
            takeFrame(*frame);
            newData();
        }
        return;
    }
    if (from == ReaderCollection::Pen) {
        const auto sample = decodePenSample(report);
        if (!sample) return;
        pen_ = *sample;
        if ((pen_.status & kPenTip) != 0) ++inputCounter_;
        inkPen();
        newData();
    }
}

void DrawingCheck::handleRawInput(const controllerlink::RawContactRecord& record,
                                  const controllerlink::RawTouchRanges& ranges) {
    rawRanges_ = ranges;
    scale_.setTouch(in_.surface, ranges.maxX, ranges.maxY, in_.rotate);
    ++inputCounter_;
    if (const auto frame = assembler_.addRawRecord(record)) {
        takeFrame(*frame);
        newData();
    }
}

void DrawingCheck::onRawInputEnded() { scale_.setTouch(in_.surface, in_.touchMaxX, in_.touchMaxY, in_.rotate); }

void DrawingCheck::takeFrame(const TouchFrame& frame) {
    frame_ = frame;
    contact1Present_ = false;
    for (std::size_t i = 0; i < frame_.kept(); ++i) {
        if (frame_.contacts[i].id == 1) {
            contact1_ = i;
            contact1Present_ = true;
            break;
        }
    }
    inkFrame();
}

void DrawingCheck::newData() {
    evaluate();
    host().requestRepaint();
}

// ---- ink ----

void DrawingCheck::clearInk() {
    ink_.clear();
    ++inkClears_;
    lastContactAt_.clear();
    penStroke_ = false;
    // While the digitizer is read its ranges scale the touches, not the controller's.
    if (rawInputTaken() && rawRanges_) {
        scale_.setTouch(in_.surface, rawRanges_->maxX, rawRanges_->maxY, in_.rotate);
    } else {
        scale_.setTouch(in_.surface, in_.touchMaxX, in_.touchMaxY, in_.rotate);
    }
}

void DrawingCheck::inkFrame() {
    for (std::size_t i = 0; i < frame_.kept(); ++i) {
        const ContactRecord& c = frame_.contacts[i];
        if (c.status != 7 && c.status != 5) {
            lastContactAt_.erase(c.id);
            continue;
        }
        const PointF at{c.x * scale_.touchX, c.y * scale_.touchY};
        // Where the contact was, taken before its entry moves on.
        const auto found = lastContactAt_.find(c.id);
        const bool seen = found != lastContactAt_.end();
        const PointF previous = seen ? found->second : at;
        lastContactAt_[c.id] = at;
        if (ink_.size() >= kInkLimit) continue;
        InkMark m;
        m.argb = blackInk_ ? 0xFF000000u : contactColour(c.id);
        m.at = at;
        m.size = 3 + widthOffset_;
        m.width = widthOffset_ + 1.6;
        switch (contactMode_) {
            case 0:
                m.kind = InkMark::Kind::Cross;
                break;
            case 1:
                m.kind = InkMark::Kind::CrossAndCircle;
                m.size = 3;
                m.radius = widthOffset_ + 10;
                break;
            case 2:
                m.kind = InkMark::Kind::Dot;
                m.size = 3;
                break;
            default:
                m.kind = contactMode_ == 3 ? InkMark::Kind::Line : InkMark::Kind::LineAndCross;
                // A line needs where the contact was; a new one starts with nothing drawn.
                if (!seen && contactMode_ == 3) continue;
                m.from = previous;
                break;
        }
        ink_.push_back(m);
    }
}

void DrawingCheck::inkPen() {
    if (!in_.customPenReport) return;
    if (pen_.status != kPenTouching) {
        penStroke_ = false;
        return;
    }
    const PointF at{pen_.x * scale_.penX, pen_.y * scale_.penY};
    if (penStroke_ && ink_.size() < kInkLimit) {
        InkMark m;
        m.kind = InkMark::Kind::PenLine;
        m.argb = 0xFF000000u;
        m.from = penFrom_;
        m.at = at;
        m.width = pen_.pressure <= 9 ? 0.0 : scale_.penWidth * pen_.pressure;
        ink_.push_back(m);
    }
    penFrom_ = at;
    penStroke_ = true;
}

// ---- the step timer ----

int DrawingCheck::nowInMinute() { return platform::millisecondsInMinute(clock().timeOfDay()); }

int DrawingCheck::elapsed() {
    int e = nowInMinute() - carry_.stepTimerStart;
    if (e < 0) e += kMinuteMs;
    return e;
}

void DrawingCheck::runTimer() {
    if (!timerRunning()) carry_.stepTimerStart = nowInMinute();
}

// ---- the evaluation pass ----

void DrawingCheck::evaluate() {
    if (step_ < DRAW_DONE && ((in_.disableMask >> step_) & 1u) != 0) {
        stepPassed_[static_cast<std::size_t>(step_)] = 1;
        carry_.stepTimerStart = ((nowInMinute() - in_.okWaitMs) % kMinuteMs + kMinuteMs) % kMinuteMs;
        phase_ = PhaseJudged;
    }
    if (step_ == DRAW_DONE) phase_ = PhaseEntering;

    if ((step_ == T_MT || step_ == T_SQ) && phase_ < PhaseJudged && !contact1Present_)
        carry_.lastInputCounter = inputCounter_;
    if (inputCounter_ == carry_.lastInputCounter) {
        carry_.idleTicks = std::min(carry_.idleTicks + 1, kIdleLimit);
    } else {
        carry_.idleTicks = 0;
        carry_.lastInputCounter = inputCounter_;
    }

    if (step_ != carry_.lastStep) {
        clearInk();
        leg_ = 0;
        // A lift left pending by the last step does not excuse one in this step.
        liftPending_ = false;
        carry_.lastStep = step_;
    }
    if (step_ >= T_MT && step_ <= P_HV && phase_ == PhaseEntering) phase_ = PhaseWaiting;

    stepRule();
    if (step_ >= T_MT && step_ <= P_HV && phase_ == PhaseInProgress) pathChecks();
    if (step_ >= T_MT && step_ <= P_HV && phase_ == PhaseJudged) judged();
    prevPen_ = pen_;

    if (step_ == DRAW_DONE && phase_ == PhaseEntering) {
        for (int s = T_MT; s <= P_HV; ++s)
            if (stepPassed_[static_cast<std::size_t>(s)] == 0) failExitFlag_ = true;
        finishedFlag_ = true;
    }
}

void DrawingCheck::stepRule() {
    switch (step_) {
        case INIT:
            initRule();
            break;
        case T_MT:
            if (fresh()) multiTouchRule();
            break;
        case T_SQ:
        case P_SQ:
            if (fresh()) squareRule();
            break;
        case T_DL:
        case P_DL:
            if (fresh()) diagonalRule();
            break;
        case P_AC:
            accuracyRule();
            break;
        case P_HV:
            hoverRule();
            break;
        default:
            break;
    }
}

void DrawingCheck::initRule() {
    const int limit = initLimitOff_ ? 0 : in_.initLimitMs;
    // The start box, like the exit box it becomes in the hover step, has its edges outside.
    const bool onStart = geo_.actionBox.strictlyContains(touchPoint());
    const auto start = [this] {
        stepPassed_[INIT] = 1;
        step_ = T_MT;
        phase_ = PhaseWaiting;
    };
    if (phase_ == PhaseEntering) {
        if (limit == 0) {
            if (onStart) start();
        } else {
            stopTimer();
            phase_ = PhaseWaiting;
        }
    } else if (phase_ == PhaseWaiting) {
        if (inputPresent()) {
            if (onStart) start();
        } else {
            phase_ = PhaseInProgress;
        }
    } else if (phase_ == PhaseInProgress) {
        if (inputPresent()) {
            // The operator is there: no more time limit in this window.
            initLimitOff_ = true;
            stopTimer();
            remainingMs_ = -1;
            phase_ = PhaseEntering;
        } else {
            runTimer();
            remainingMs_ = limit - elapsed();
            if (remainingMs_ <= 0) postKey(CheckKey::Esc);
        }
    }
}

void DrawingCheck::multiTouchRule() {
    if (phase_ == PhaseWaiting) {
        phase_ = PhaseInProgress;
    } else if (phase_ == PhaseInProgress) {
        if (frame_.count < kFingersNeeded) {
            stopTimer();
        } else {
            runTimer();
            remainingMs_ = in_.mtouchWaitMs - elapsed();
            if (remainingMs_ <= 0) pass(nullptr);
        }
    }
}

void DrawingCheck::squareRule() {
    const Point p = stepPoint();
    if (phase_ == PhaseWaiting) {
        corner_ = 0;
        if (geo_.cornerBox[TL].contains(p)) {
            phase_ = PhaseInProgress;
            liftPending_ = false;
        }
        return;
    }
    if (phase_ != PhaseInProgress) return;
    if (leg_ == 0) {
        if (!geo_.startZone.contains(p)) {
            leg_ = 1;
            corner_ = 1;
        }
        return;
    }
    if (corner_ >= 2 && liftPending_ && tipDown()) {
        liftPending_ = false;
        // Put down again where it was lifted: in the box of the corner last reached.
        if (!geo_.cornerBox[static_cast<std::size_t>(corner_ - 1)].contains(p)) {
            fail(step_ == T_SQ ? "_tmp1.png" : "_tmp4.png");
            return;
        }
    }
    switch (corner_) {
        case 1:
            if (geo_.cornerBox[TR].contains(p)) corner_ = 2;
            break;
        case 2:
            if (geo_.cornerBox[BR].contains(p)) corner_ = 3;
            break;
        case 3:
            if (geo_.cornerBox[BL].contains(p)) corner_ = 4;
            break;
        case 4:
            if (geo_.cornerBox[TL].contains(p)) pass(step_ == T_SQ ? "_tmp1.png" : "_tmp4.png");
            break;
        default:
            break;
    }
}

void DrawingCheck::diagonalRule() {
    const Point p = stepPoint();
    if (phase_ == PhaseWaiting) {
        if (geo_.cornerBox[leg_ == 0 ? TL : TR].contains(p)) phase_ = PhaseInProgress;
    } else if (phase_ == PhaseInProgress) {
        if (leg_ == 0) {
            if (geo_.cornerBox[BR].contains(p)) {
                // The stroke may be lifted before the second diagonal.
                leg_ = 1;
                phase_ = PhaseWaiting;
            }
        } else if (geo_.cornerBox[BL].contains(p)) {
            pass(step_ == T_DL ? "_tmp2.png" : "_tmp5.png");
        }
    }
}

void DrawingCheck::accuracyRule() {
    if (phase_ == PhaseWaiting) {
        const bool down = (pen_.status & kPenTip) != 0;
        const double moved =
            std::hypot(static_cast<double>(pen_.x) - prevPen_.x, static_cast<double>(pen_.y) - prevPen_.y);
        bool onTarget = false;
        for (std::size_t i = 0; i < kAccuracyTargets; ++i)
            if (accuracyState_[i] != 1 && geo_.inAccuracyRegion(i, penPoint())) onTarget = true;
        if (down && moved <= kPenStillUnits && onTarget) {
            runTimer();
            remainingMs_ = elapsed();
            if (remainingMs_ >= kHoldMs) {
                // The second of keeping still counts from here.
                stopTimer();
                phase_ = PhaseInProgress;
            }
        } else {
            stopTimer();
        }
    } else if (phase_ == PhaseInProgress) {
        runTimer();
        remainingMs_ = kHoldMs - elapsed();
        if (remainingMs_ > 0) return;
        for (int& s : accuracyState_)
            if (s == -1) s = 1;
        stopTimer();
        if (std::all_of(accuracyState_.begin(), accuracyState_.end(), [](int s) { return s == 1; })) {
            pass("_tmp6.png");
        } else {
            phase_ = PhaseWaiting;
        }
    }
}

void DrawingCheck::hoverRule() {
    const bool counting = in_.hoverNgCount != 0;
    if (phase_ == PhaseWaiting) {
        // Without HOVER_NG_COUNT the counter is off, whatever an earlier window left in it.
        carry_.hoverNgCounter = counting ? in_.hoverNgCount : -1;
        frame_ = TouchFrame{};
        contact1Present_ = false;
        phase_ = PhaseInProgress;
        return;
    }
    if (phase_ != PhaseInProgress) return;
    const Point p = penPoint();
    bool over = false;
    for (std::size_t i = 0; i < kHoverTargets; ++i)
        if (!hoverDone_[i] && geo_.hoverTargets[i].contains(p)) over = true;
    const bool wasRunning = timerRunning();
    if (pen_.status == kPenHovering && over) {
        runTimer();
        remainingMs_ = kHoldMs - elapsed();
        if (remainingMs_ <= 0) {
            for (std::size_t i = 0; i < kHoverTargets; ++i)
                if (geo_.hoverTargets[i].contains(p)) hoverDone_[i] = true;
            // The next target takes its own second.
            stopTimer();
            if (counting) carry_.hoverNgCounter = in_.hoverNgCount;
            if (std::all_of(hoverDone_.begin(), hoverDone_.end(), [](bool d) { return d; })) pass("_tmp7.png");
        }
    } else {
        stopTimer();
        if (pen_.status == 0 && over && wasRunning) {
            if (carry_.hoverNgCounter != -1) --carry_.hoverNgCounter;
        } else if (!over && counting) {
            carry_.hoverNgCounter = in_.hoverNgCount;
        }
    }
    // Also right after the last target: the counter run out or a touch on the exit box fails it.
    if (carry_.hoverNgCounter == 0 || geo_.actionBox.strictlyContains(touchPoint())) fail("_tmp7.png");
}

void DrawingCheck::pathChecks() {
    const Point p = stepPoint();
    const bool square = step_ == T_SQ || step_ == P_SQ;
    const auto inAnyCorner = [&] {
        return std::any_of(geo_.cornerBox.begin(), geo_.cornerBox.end(), [&](const Box& b) { return b.contains(p); });
    };
    // A failure on the way is saved under the step's own number.
    static const char* const kOwn[] = {"_tmp0.png", "_tmp1.png", "_tmp2.png", "_tmp3.png",
                                       "_tmp4.png", "_tmp5.png", "_tmp6.png", "_tmp7.png"};
    const char* own = kOwn[step_];

    if (step_ == T_SQ || step_ == T_DL) {
        if (!tipDown()) {
            if (step_ == T_SQ && inAnyCorner()) {
                liftPending_ = true;
            } else {
                fail(own);
                return;
            }
        } else if (!contact1Present_) {
            fail(own);
            return;
        }
    } else if (step_ == P_SQ || step_ == P_DL || step_ == P_AC) {
        if (!tipDown() && !liftPending_) {
            if (step_ == P_SQ && inAnyCorner()) {
                liftPending_ = true;
            } else {
                fail(own);
                return;
            }
        }
    }

    if (step_ == P_AC) {
        bool any = false;
        for (std::size_t i = 0; i < kAccuracyTargets; ++i) {
            if (accuracyState_[i] == 1) continue;
            const double d = std::hypot(pen_.x - geo_.accuracyPen[i].x, pen_.y - geo_.accuracyPen[i].y);
            accuracyState_[i] = d <= in_.accuracyRadius ? -1 : 0;
            any = any || accuracyState_[i] == -1;
        }
        if (!any) {
            fail(own);
            return;
        }
    }

    if (square) {
        // The corners the stroke must not touch on its way to the next one.
        static constexpr bool kForbidden[5][4] = {
            {false, false, false, false},  // still in the start zone
            {true, false, true, true},     // heading for top right
            {true, false, false, true},    // heading for bottom right
            {true, true, false, false},    // heading for bottom left
            {false, true, true, false},    // heading back to top left
        };
        const std::size_t c = static_cast<std::size_t>(std::clamp(corner_, 0, 4));
        for (std::size_t b = 0; b < 4; ++b) {
            if (kForbidden[c][b] && geo_.cornerBox[b].contains(p)) {
                fail(own);
                return;
            }
        }
        if (!liftPending_ && geo_.outsideBand(p)) {
            fail(own);
            return;
        }
    }

    if (step_ == T_DL || step_ == P_DL) {
        const Box& tl = geo_.cornerBox[TL];
        const Box& tr = geo_.cornerBox[TR];
        const Box& br = geo_.cornerBox[BR];
        const Box& bl = geo_.cornerBox[BL];
        const Point a = leg_ == 0 ? Point{tl.right(), tl.bottom()} : Point{tr.x, tr.bottom()};
        const Point b = leg_ == 0 ? Point{br.x, br.y} : Point{bl.right(), bl.y};
        const int allowed = geo_.diagonalTolerance / 2;  // whole pixels
        if (diagonalDistance(a, b, p) > allowed) {
            fail(own);
            return;
        }
    }
}

void DrawingCheck::judged() {
    const std::size_t s = static_cast<std::size_t>(step_);
    if (stepPassed_[s] != 0) {
        if (inputPresent()) {
            stopTimer();
            return;
        }
        runTimer();
        remainingMs_ = in_.okWaitMs - elapsed();
        if (remainingMs_ <= 0) advance();
        return;
    }
    if (inputPresent()) {
        stopTimer();
        if (retryArm_ == 0) retryArm_ = 1;  // a tap
        return;
    }
    if (retryArm_ == -1) {
        retryArm_ = 0;
    } else if (retryArm_ == 1) {
        postKey(CheckKey::Space);
        retryArm_ = 2;
    } else {
        runTimer();
        remainingMs_ = in_.ngWaitMs - elapsed();
        if (remainingMs_ <= 0) failExitFlag_ = true;
    }
}

void DrawingCheck::advance() {
    ++step_;
    if (step_ == P_SQ && in_.skipPenDrawing) {
        for (int s = P_SQ; s <= P_HV; ++s) stepPassed_[static_cast<std::size_t>(s)] = 1;
        step_ = DRAW_DONE;
    }
    if (step_ == P_AC && !in_.accuracyCheck) {
        stepPassed_[P_AC] = 1;
        step_ = P_HV;
    }
    if (step_ == P_HV && !in_.hoverCheck) {
        stepPassed_[P_HV] = 1;
        step_ = DRAW_DONE;
    }
    phase_ = step_ == DRAW_DONE ? PhaseEntering : PhaseWaiting;
    remainingMs_ = -1;
    stopTimer();
}

void DrawingCheck::pass(const char* name) {
    stepPassed_[static_cast<std::size_t>(step_)] = 1;
    phase_ = PhaseJudged;
    if (name != nullptr) snapshot(name);
}

void DrawingCheck::fail(const char* name) {
    stepPassed_[static_cast<std::size_t>(step_)] = 0;
    phase_ = PhaseJudged;
    leg_ = 0;
    snapshot(name);
}

void DrawingCheck::snapshot(const char* name) { host().saveSnapshot(name); }

// ---- keys ----

void DrawingCheck::handleKey(CheckKey key) {
    switch (key) {
        case CheckKey::Enter:
            if (step_ == INIT) {
                step_ = T_MT;
                leg_ = 0;
                clearInk();
                phase_ = std::min(phase_ + 1, static_cast<int>(PhaseJudged));
            } else if (step_ >= T_MT && step_ <= P_HV && stepPassed_[static_cast<std::size_t>(step_)] == 0) {
                leg_ = 0;
                ++step_;
                phase_ = step_ == DRAW_DONE ? PhaseEntering : PhaseWaiting;
            }
            break;
        case CheckKey::Space:
            if (phase_ == PhaseJudged && step_ >= T_MT && step_ <= P_HV &&
                stepPassed_[static_cast<std::size_t>(step_)] == 0) {
                phase_ = PhaseWaiting;
                clearInk();
                remainingMs_ = -1;
                retryArm_ = -1;
                if (step_ == P_AC) accuracyState_.fill(0);
                if (step_ == P_HV) hoverDone_.fill(false);
            }
            break;
        case CheckKey::B:
            blackInk_ = !blackInk_;
            clearInk();
            break;
        case CheckKey::C:
            clearInk();
            break;
        case CheckKey::D:
            contactMode_ = (contactMode_ + 1) % 5;
            clearInk();
            break;
        case CheckKey::Plus:
            widthOffset_ = std::min(widthOffset_ + 0.5, 10.0);
            break;
        case CheckKey::Minus:
            widthOffset_ = std::max(widthOffset_ - 0.5, 0.0);
            break;
        default:
            return;
    }
    host().requestRepaint();
}

}  // namespace station::checks
