#include "station/checks/logic/drawing_scene.h"

#include <algorithm>
#include <cstdio>

namespace station::checks {
namespace {

std::string format(const char* pattern, double value) {
    char buf[64];
    std::snprintf(buf, sizeof buf, pattern, value);
    return buf;
}

bool fingerStep(int step) { return step >= T_MT && step <= T_DL; }

std::optional<SceneText> title(const DrawingCheck& w) {
    const int step = w.step();
    if (step < T_MT || step > P_HV) return std::nullopt;
    if (w.phase() == PhaseWaiting || w.phase() == PhaseInProgress)
        return SceneText{fingerStep(step) ? "for Finger" : "for Pen", kPromptRed, 36, true};
    if (w.phase() == PhaseJudged)
        return w.stepPassed(step) ? SceneText{"OK", kOkGreen, 36, true} : SceneText{"NG", kPromptRed, 36, true};
    return std::nullopt;
}

// The part of the square's band from one corner box to the next.
Box bandSegment(const DrawingGeometry& g, int segment) {
    const Box& tl = g.cornerBox[TL];
    const Box& tr = g.cornerBox[TR];
    const Box& br = g.cornerBox[BR];
    const Box& bl = g.cornerBox[BL];
    switch (segment) {
        case 0:
            return {tl.x, tl.y, tr.right() - tl.x, tl.h};
        case 1:
            return {tr.x, tr.y, tr.w, br.bottom() - tr.y};
        case 2:
            return {bl.x, bl.y, br.right() - bl.x, bl.h};
        default:
            return {tl.x, tl.y, tl.w, bl.bottom() - tl.y};
    }
}

void squareBoxes(const DrawingCheck& w, DrawingScene& s) {
    const DrawingGeometry& g = w.geometry();
    if (w.phase() == PhaseWaiting) {
        s.boxes.push_back({g.cornerBox[TL], kStartFill, "Start"});
        return;
    }
    const int corner = std::clamp(w.corner(), 1, 4);
    for (int seg = 0; seg < corner; ++seg) s.boxes.push_back({bandSegment(g, seg), kGoalFill, ""});
    static constexpr Corner kGoal[] = {TR, TR, BR, BL, TL};
    s.boxes.push_back({g.cornerBox[kGoal[corner]], kGoalFill, "Goal"});
}

void diagonalBoxes(const DrawingCheck& w, DrawingScene& s) {
    const DrawingGeometry& g = w.geometry();
    const bool first = w.leg() == 0;
    const Box& start = g.cornerBox[first ? TL : TR];
    const Box& goal = g.cornerBox[first ? BR : BL];
    s.boxes.push_back({start, kStartFill, "Start"});
    s.boxes.push_back({goal, kGoalFill, "Goal"});
    const Point a = first ? Point{start.right(), start.bottom()} : Point{start.x, start.bottom()};
    const Point b = first ? Point{goal.x, goal.y} : Point{goal.right(), goal.y};
    s.guide = std::make_pair(a, b);
    s.guideWidth = g.diagonalTolerance;
}

std::optional<Countdown> countdown(const DrawingCheck& w) {
    const int remaining = w.remainingMs();
    if (remaining == -1) return std::nullopt;
    const DrawingInputs& in = w.inputs();
    const double seconds = std::max(remaining, 0) / 1000.0;
    Countdown c;
    int full = 1000;
    switch (w.phase()) {
        case PhaseWaiting:
            c.text = "HOLD";
            break;
        case PhaseInProgress:
            c.text = format("%0.2f[sec] left", seconds);
            if (w.step() == INIT) {
                c.text += "\nPlease  TOUCH  down";
                full = in.initLimitMs;
            } else if (w.step() == T_MT) {
                full = in.mtouchWaitMs;
            } else if (w.step() == P_AC) {
                c.text += "\nHOLD";
            }
            break;
        case PhaseJudged:
            c.text = format("%0.1f[sec] left", seconds);
            full = w.stepPassed(w.step()) ? in.okWaitMs : in.ngWaitMs;
            break;
        default:
            return std::nullopt;
    }
    c.fraction = full <= 0 ? 0.0 : std::clamp(static_cast<double>(std::max(remaining, 0)) / full, 0.0, 1.0);
    return c;
}

}  // namespace

std::vector<GridLine> gridLines(const Surface& s, std::uint32_t rxCount, std::uint32_t txCount) {
    std::vector<GridLine> lines;
    const auto add = [&](bool vertical, std::uint32_t count, int extent) {
        for (std::uint32_t i = 1; i < count; ++i) {
            GridLine l;
            l.vertical = vertical;
            l.at = (vertical ? s.left : s.top) + static_cast<double>(extent) * i / count;
            if (i % 10 == 0) {
                l.width = 0.3;
                l.argb = argb(255, 135, 135, 135);
            } else if (i % 5 == 0) {
                l.width = 0.2;
                l.argb = argb(255, 153, 153, 153);
            } else {
                l.width = 0.1;
                l.argb = argb(255, 187, 187, 187);
            }
            lines.push_back(l);
        }
    };
    add(true, rxCount, s.width);
    add(false, txCount, s.height);
    return lines;
}

std::string instructionText(int step, int phase, bool passed, std::int32_t mtouchWaitMs) {
    if (step == INIT) return "[Enter] : go to next test\n[Esc] : escape from test";
    if (step >= DRAW_DONE) return "wait for finish";
    if (phase == PhaseEntering) return "error : unexpect state";
    if (phase == PhaseJudged) {
        if (step <= P_SQ) return passed ? "wait for next test" : "[Enter] : Go to next\n[Space] or Tap : Retry";
        return passed ? "wait for finish" : "[Enter] : Go to finish\n[Space] or Tap : Retry";
    }
    const bool waiting = phase == PhaseWaiting;
    switch (step) {
        case T_MT:
            if (mtouchWaitMs == 1000) return "touch down 10 fingers while a second";
            return format("touch down 10 fingers while %0.1f seconds", mtouchWaitMs / 1000.0);
        case T_SQ:
            return waiting ? "touch down on Start-Position" : "drawing square";
        case T_DL:
            return waiting ? "touch down on Start-Position" : "drawing diagonal";
        case P_SQ:
            return waiting ? "pen down on start position" : "drawing square";
        case P_DL:
            return waiting ? "pen down on start position" : "drawing diagonal";
        case P_AC:
            return waiting ? "\n\n\n\npen down on CENTER of targets\nand hold it" : "\n\n\n\ndon't move pen";
        default:
            return "Hover Pen and Move in target";
    }
}

DrawingScene drawingScene(const DrawingCheck& w) {
    DrawingScene s;
    const int step = w.step();
    const DrawingGeometry& g = w.geometry();
    const bool judged = step >= T_MT && step <= P_HV && w.phase() == PhaseJudged;
    s.instruction = {instructionText(step, w.phase(), judged && w.stepPassed(step), w.inputs().mtouchWaitMs),
                     kPromptRed, 18, true};
    s.title = title(w);
    const bool active = w.phase() == PhaseWaiting || w.phase() == PhaseInProgress;
    if (step == INIT) {
        s.boxes.push_back({g.actionBox, kStartFill, "Touch here\nand Start"});
    } else if (active && (step == T_SQ || step == P_SQ)) {
        squareBoxes(w, s);
    } else if (active && (step == T_DL || step == P_DL)) {
        diagonalBoxes(w, s);
    } else if (active && step == P_AC) {
        for (std::size_t i = 0; i < kAccuracyTargets; ++i)
            s.targets.push_back({g.accuracyScreen[i], w.accuracyState()[i] == 1});
    } else if (active && step == P_HV) {
        for (std::size_t i = 0; i < kHoverTargets; ++i)
            s.boxes.push_back({g.hoverTargets[i], w.hoverDone()[i] ? kGoalFill : 0u, "TARGET"});
        s.boxes.push_back({g.actionBox, kStartFill, "if touch here\nExit and NG"});
    }
    s.countdown = countdown(w);

    const TouchFrame& f = w.frame();
    for (std::size_t i = 0; i < f.kept(); ++i) {
        const ContactRecord& c = f.contacts[i];
        if (c.status != 7 && c.status != 5) continue;
        s.tags.push_back({{c.x * w.scale().touchX, c.y * w.scale().touchY},
                          w.blackInk() ? argb(255, 0, 0, 0) : contactColour(c.id),
                          std::to_string(c.id)});
    }
    if (w.inputs().customPenReport && w.pen().status == kPenHovering)
        s.hoveringPen = PointF{w.pen().x * w.scale().penX, w.pen().y * w.scale().penY};
    return s;
}

}  // namespace station::checks
