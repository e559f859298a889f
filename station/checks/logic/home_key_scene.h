#pragma once
// What the home key window paints over its grey background, as plain data: the title, the
// phase's instruction in the phase's colour, the Esc hint, the time left with its bar and, while
// the key is held, each pin's state. Positions are pixels of the surface; texts are centred on them.
#include <optional>
#include <string>
#include <vector>

#include "station/checks/logic/drawing_scene.h"
#include "station/checks/logic/home_key_check.h"

namespace station::checks {

inline constexpr std::uint32_t kHkSettleBlue = argb(255, 30, 90, 200);
inline constexpr std::uint32_t kHkTouchOrange = argb(255, 230, 120, 0);
inline constexpr std::uint32_t kHkDoneGreen = argb(255, 40, 160, 40);
inline constexpr std::uint32_t kHkTextBlack = argb(255, 0, 0, 0);
inline constexpr std::uint32_t kHkUntouchGrey = argb(255, 120, 120, 120);
inline constexpr std::uint32_t kHkBarFill = argb(255, 90, 90, 90);

struct PlacedText {
    SceneText text;
    PointF at;  // the text's centre
};

struct HomeKeyCountdown {
    PlacedText text;
    Box bar;              // the bar at full length
    double fraction = 0;  // of the full bar, 0..1
};

struct HomeKeyScene {
    PlacedText title;
    PlacedText phase;
    PlacedText hint;
    std::optional<HomeKeyCountdown> countdown;
    std::vector<PlacedText> pins;
};

HomeKeyScene homeKeyScene(const HomeKeyCheck& w);

// The instruction of a phase, as the window shows it.
std::string homeKeyPhaseText(int phase);
// A pin's label in the touch phase: "untouch", "HOLD" or "GOOD".
std::string homeKeyPinText(std::int32_t goodCount, std::int32_t threshold);

}  // namespace station::checks
