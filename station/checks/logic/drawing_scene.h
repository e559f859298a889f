#pragma once
// What the drawing window paints, as plain data: the grid the ink layer starts from, and over a
// copy of the ink the prompt, the step's title, its boxes, targets and guide line, the
// countdown bar and each contact's tag. Colours are ARGB; text sizes are points.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "station/checks/logic/drawing_check.h"

namespace station::checks {

inline constexpr std::uint32_t argb(std::uint32_t a, std::uint32_t r, std::uint32_t g, std::uint32_t b) {
    return (a << 24) | (r << 16) | (g << 8) | b;
}

inline constexpr std::uint32_t kBackgroundGrey = argb(255, 220, 220, 220);
inline constexpr std::uint32_t kPromptRed = argb(150, 250, 0, 0);
inline constexpr std::uint32_t kOkGreen = argb(200, 53, 193, 53);
inline constexpr std::uint32_t kStartFill = argb(80, 255, 0, 0);
inline constexpr std::uint32_t kGoalFill = argb(80, 255, 193, 0);
inline constexpr std::uint32_t kCountdownWhite = argb(180, 255, 255, 255);
inline constexpr std::uint32_t kTargetGreen = argb(255, 0, 160, 0);
inline constexpr std::uint32_t kTargetRed = argb(255, 230, 0, 0);
inline constexpr std::uint32_t kTagText = argb(255, 255, 255, 255);
inline constexpr const char* kFontFamily = "Century Gothic";

struct GridLine {
    bool vertical = false;
    double at = 0;  // x of a vertical line, y of a horizontal one
    double width = 0;
    std::uint32_t argb = 0;
};

// The sensor grid: rxCount - 1 vertical and txCount - 1 horizontal lines at equal spacing.
std::vector<GridLine> gridLines(const Surface& s, std::uint32_t rxCount, std::uint32_t txCount);

struct SceneText {
    std::string text;
    std::uint32_t argb = 0;
    int points = 0;
    bool bold = false;
};

struct SceneBox {
    Box box;
    std::uint32_t fill = 0;  // 0: outline only
    std::string label;
};

// An accuracy target: a cross of 100-pixel bars 2 pixels thick, a 16-pixel disc, a 30-pixel
// circle and "TARGET", green once done.
struct SceneTarget {
    PointF centre;
    bool done = false;
};

struct ContactTag {
    PointF at;
    std::uint32_t argb = 0;
    std::string id;  // white, 10 pt
};

struct Countdown {
    double fraction = 0;  // of the full bar, 0..1
    std::string text;
};

struct DrawingScene {
    SceneText instruction;           // centred, 18 pt bold red
    std::optional<SceneText> title;  // at a quarter of the height, 36 pt bold
    std::vector<SceneBox> boxes;
    // During a diagonal: its line from start to goal, light amber, diagonalTolerance wide.
    std::optional<std::pair<Point, Point>> guide;
    int guideWidth = 0;
    std::vector<SceneTarget> targets;
    std::optional<Countdown> countdown;
    std::vector<ContactTag> tags;
    // A hovering pen's 8 x 8 circle.
    std::optional<PointF> hoveringPen;
};

DrawingScene drawingScene(const DrawingCheck& w);

// The instruction text of a step and phase (failed: the step stands judged NG).
std::string instructionText(int step, int phase, bool passed, std::int32_t mtouchWaitMs);

}  // namespace station::checks
