#include "station/checks/logic/home_key_scene.h"

#include <algorithm>
#include <cstdio>

namespace station::checks {
namespace {

constexpr int kTitlePoints = 36;
constexpr int kPhasePoints = 28;
constexpr int kHintPoints = 18;
constexpr int kTimePoints = 20;
constexpr int kPinPoints = 24;
constexpr double kPinLabelsBelow = 90;
constexpr double kBarBelow = 40;
constexpr int kBarHeight = 16;

std::uint32_t phaseColour(int phase) {
    switch (phase) {
        case HkSettling:
        case HkUntouched:
            return kHkSettleBlue;
        case HkTouch:
            return kHkTouchOrange;
        default:
            return kHkDoneGreen;
    }
}

std::uint32_t pinColour(std::int32_t goodCount, std::int32_t threshold) {
    if (goodCount == 0) return kHkUntouchGrey;
    return goodCount < threshold ? kHkTouchOrange : kHkDoneGreen;
}

}  // namespace

std::string homeKeyPhaseText(int phase) {
    switch (phase) {
        case HkSettling:
        case HkUntouched:
            return "1. Remove fingers from homekey";
        case HkTouch:
            return "2. Touch Homekey and Hold";
        default:
            return "Check done.";
    }
}

std::string homeKeyPinText(std::int32_t goodCount, std::int32_t threshold) {
    if (goodCount == 0) return "untouch";
    return goodCount < threshold ? "HOLD" : "GOOD";
}

HomeKeyScene homeKeyScene(const HomeKeyCheck& w) {
    const HomeKeyInputs& in = w.inputs();
    const Surface& s = in.surface;
    const double centre = s.left + s.width / 2.0;
    const auto at = [&](double fraction) { return PointF{centre, s.top + s.height * fraction}; };
    HomeKeyScene scene;
    scene.title = {{"Home Key Check", kHkTextBlack, kTitlePoints, true}, at(0.25)};
    scene.phase = {{homeKeyPhaseText(w.phase()), phaseColour(w.phase()), kPhasePoints, true}, at(1.0 / 3)};
    scene.hint = {{"[Esc] : forced exit from test", kHkTextBlack, kHintPoints, false}, at(0.5)};
    const double twoThirds = s.top + s.height * 2.0 / 3;

    if (w.remainingMs() != -1) {
        const double full = w.phase() == HkUntouched ? in.removeTimeMs : in.limitTimeMs;
        const double left = std::max(w.remainingMs(), 0);
        char text[64];
        std::snprintf(text, sizeof text, "%0.2f[sec] left", left / 1000.0);
        HomeKeyCountdown c;
        c.text = {{text, kHkTextBlack, kTimePoints, false}, {centre, twoThirds}};
        const int width = s.width / 2;
        c.bar = {static_cast<int>(centre) - width / 2, static_cast<int>(twoThirds + kBarBelow), width, kBarHeight};
        c.fraction = full > 0 ? std::clamp(left / full, 0.0, 1.0) : 0.0;
        scene.countdown = c;
    }

    if (w.phase() == HkTouch) {
        const int n = w.pins();
        for (int i = 0; i < n; ++i) {
            const std::int32_t good = w.results().hkGoodCount[static_cast<std::size_t>(i)];
            const double x = s.left + static_cast<double>(s.width) * (i + 1) / (n + 1);
            scene.pins.push_back(
                {{homeKeyPinText(good, in.okCountThreshold), pinColour(good, in.okCountThreshold), kPinPoints, true},
                 {x, twoThirds + kPinLabelsBelow}});
        }
    }
    return scene;
}

}  // namespace station::checks
