#pragma once
// What the TKP window paints, as plain data: over the grey background the title, the phase
// text, the hint, the progress of the noise measurement, the line boxes of the signal phase (or
// the log-only rows) and the debug texts and buttons. Colours are ARGB; text sizes are points.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "station/checks/logic/drawing_geometry.h"
#include "station/checks/logic/drawing_scene.h"
#include "station/checks/logic/tkp_check.h"

namespace station::checks {

inline constexpr std::uint32_t kTkpText = argb(255, 0, 0, 0);
inline constexpr std::uint32_t kTkpPhaseText = argb(255, 0, 0, 200);
inline constexpr std::uint32_t kTkpWarnText = argb(255, 230, 0, 0);
inline constexpr std::uint32_t kTkpBarFill = argb(255, 60, 120, 220);
inline constexpr std::uint32_t kTkpSeenFill = argb(255, 53, 193, 53);

// The debug buttons, from the surface's top left.
inline constexpr Box kTkpSetButton{10, 38, 100, 50};
inline constexpr Box kTkpStartButton{130, 38, 100, 50};

// A text centred horizontally on the surface with its middle at `y`.
struct TkpLine {
    SceneText text;
    double y = 0;
};

struct TkpBar {
    Box frame;
    double fraction = 0;  // filled part, 0..1
};

struct TkpLineBox {
    Box box;
    std::uint32_t fill = 0;
};

struct TkpButton {
    Box box;
    std::string label;
};

struct TkpScene {
    std::vector<TkpLine> lines;
    std::optional<TkpBar> bar;
    std::vector<TkpLineBox> lineBoxes;
    std::vector<TkpButton> buttons;
    // The debug block, from the top left below the buttons; lines separated by '\n'.
    std::optional<SceneText> debugText;
};

// `elapsedMs`: how long the pen removal has waited (the blinking).
TkpScene tkpScene(const TkpCheck& w, const Surface& surface, int elapsedMs);

// The phase text ("Remove Pen and Wait" ...); the start wait's screen shows its countdown instead.
std::string tkpPhaseText(int phase);
// "Remove Pen and Wait": normal for 5 s, the second colour to 10 s, then alternating every half
// second.
std::uint32_t tkpRemovalColour(int elapsedMs);
// The log-only rows: "0 " for a line whose largest sample reaches average + 2 sigma, else "- ".
std::string tkpLogRow(const controllerlink::LineStatistics& stats, std::size_t first, int lines);
// The key a left click at `p` posts: G on "set(g)", S on "start(s)" while shown (debug mode).
std::optional<CheckKey> tkpButtonAt(const TkpCheck& w, Point p);
// Blue (nothing) to red (the limit) for a line's average.
std::uint32_t tkpLevelColour(double average, std::int32_t limit);

}  // namespace station::checks
