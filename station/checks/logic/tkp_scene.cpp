#include "station/checks/logic/tkp_scene.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace station::checks {
namespace {

constexpr std::size_t kFirstY = controllerlink::kStatisticsXLines;
constexpr int kBoxDepth = 40;

std::string format(const char* f, auto... v) {
    char text[128];
    std::snprintf(text, sizeof text, f, v...);
    return text;
}

TkpLine centred(std::string text, double y, int points, bool bold = false, std::uint32_t colour = kTkpText) {
    return {{std::move(text), colour, points, bold}, y};
}

void lineBoxes(const TkpCheck& w, const Surface& s, TkpScene& scene) {
    const controllerlink::LineStatistics& stats = w.statistics();
    const TkpInputs& in = w.inputs();
    const auto box = [&](std::size_t line, Box b, std::int32_t limit) {
        const std::uint32_t fill = w.signalSeen(line) ? kTkpSeenFill : tkpLevelColour(stats.line(line).average, limit);
        scene.lineBoxes.push_back({b, fill});
    };
    if (w.linesX() > 0) {
        const double side = s.width * 0.8 / w.linesX();
        for (int i = 0; i < w.linesX(); ++i)
            box(static_cast<std::size_t>(i),
                {static_cast<int>(std::lround(s.width * 0.1 + i * side)), 0, std::max(static_cast<int>(side), 1),
                 kBoxDepth},
                in.signalLimitX);
    }
    if (w.linesY() > 0) {
        const double side = s.height * 0.8 / w.linesY();
        for (int j = 0; j < w.linesY(); ++j)
            box(kFirstY + static_cast<std::size_t>(j),
                {0, static_cast<int>(std::lround(s.height * 0.1 + j * side)), kBoxDepth,
                 std::max(static_cast<int>(side), 1)},
                in.signalLimitY);
    }
}

std::string debugBlock(const TkpCheck& w) {
    const TkpScanSetting g = w.shownSetting();
    std::string text = format("Gain X : %d\n", g.gainX) + format("Gain Y : %d\n\n", g.gainY) +
                       format("Enable : %d\n", g.enable) + format("Blank  : %d\n", g.blank);
    text += "  Scan Line : " + std::to_string(w.statistics().xLines()) + " / " +
            std::to_string(w.statistics().yLines()) + "\n";
    if ((w.flags() & kTkpSaturationNoise) != 0) text += "Saturation occurred in Noise check.\n";
    if ((w.flags() & kTkpSaturationSignal) != 0) text += "Saturation occurred in Signal check.\n";
    return text;
}

}  // namespace

std::string tkpPhaseText(int phase) {
    switch (phase) {
        case TkpPenRemoval:
            return "Remove Pen and Wait";
        case TkpStartWait:
            return "WAIT for START";
        case TkpNoise:
            return "WAIT for getting Noise Level";
        case TkpSignal:
            return "DRAW diagonal line";
        default:
            return "Check done.";
    }
}

std::uint32_t tkpRemovalColour(int elapsedMs) {
    if (elapsedMs < 5000) return kTkpPhaseText;
    if (elapsedMs < 10000) return kTkpWarnText;
    return (elapsedMs / 500) % 2 == 0 ? kTkpWarnText : kTkpPhaseText;
}

std::string tkpLogRow(const controllerlink::LineStatistics& stats, std::size_t first, int lines) {
    std::string row;
    for (int n = 0; n < lines; ++n) {
        const controllerlink::LineRecord& l = stats.line(first + static_cast<std::size_t>(n));
        row += l.largest >= static_cast<double>(l.average) + 2.0 * static_cast<double>(l.deviation) ? "0 " : "- ";
    }
    return row;
}

std::uint32_t tkpLevelColour(double average, std::int32_t limit) {
    const double level = limit > 0 ? average * 255.0 / limit : 255.0;
    const auto red = static_cast<std::uint32_t>(std::clamp(level, 0.0, 255.0));
    return argb(255, red, 0, 255 - red);
}

std::optional<CheckKey> tkpButtonAt(const TkpCheck& w, Point p) {
    if (!w.inputs().debug) return std::nullopt;
    if (kTkpSetButton.contains(p)) return CheckKey::G;
    if (!w.started() && kTkpStartButton.contains(p)) return CheckKey::S;
    return std::nullopt;
}

TkpScene tkpScene(const TkpCheck& w, const Surface& s, int elapsedMs) {
    TkpScene scene;
    const double h = s.height;
    const int phase = w.phase();
    const TkpInputs& in = w.inputs();
    scene.lines.push_back(centred("TKP Pen Check", h / 4, 36, true));
    if (phase == TkpStartWait) {
        const double rest = w.startWaitRemainingMs() / 1000.0;
        scene.lines.push_back(centred(format("WAIT for START %0.1f[sec]", rest), h / 3, 28, true, kTkpPhaseText));
        const double fraction = in.startWaitMs > 0 ? static_cast<double>(w.startWaitRemainingMs()) / in.startWaitMs : 0;
        scene.bar = TkpBar{{s.width / 4, static_cast<int>(h * 2 / 3), s.width / 2, 30}, std::clamp(fraction, 0.0, 1.0)};
    } else {
        const std::uint32_t colour = phase == TkpPenRemoval ? tkpRemovalColour(elapsedMs) : kTkpPhaseText;
        scene.lines.push_back(centred(tkpPhaseText(phase), h / 3, 28, true, colour));
    }
    scene.lines.push_back(centred("[touch] or [Esc] : finish test", h / 2, 18));

    if (phase == TkpNoise && w.started()) {
        const std::uint32_t held = w.statistics().held(0);
        const int percent = in.noiseCount > 0 ? static_cast<int>(held * 100 / in.noiseCount) : 0;
        scene.lines.push_back(centred(format("%d%%", percent), h * 2 / 3 - 40, 18));
        scene.bar =
            TkpBar{{s.width / 4, static_cast<int>(h * 2 / 3), s.width / 2, 30}, std::clamp(percent / 100.0, 0.0, 1.0)};
        if (in.noiseCheckCount > 1)
            scene.lines.push_back(centred(format("%d / %d", w.noiseCheckNo() + 1, in.noiseCheckCount), h * 4 / 5, 18));
    }
    if (phase == TkpSignal) {
        if (!in.logOnly) {
            lineBoxes(w, s, scene);
        } else {
            scene.lines.push_back(centred("X : " + tkpLogRow(w.statistics(), 0, w.linesX()), h * 2 / 3, 12));
            scene.lines.push_back(centred("Y : " + tkpLogRow(w.statistics(), kFirstY, w.linesY()), h * 2 / 3 + 30, 12));
            if ((w.flags() & kTkpSaturationSignal) != 0)
                scene.lines.push_back(centred("Saturation occured!", h * 2 / 3 + 70, 18, true, kTkpWarnText));
        }
    }
    if (in.debug) {
        scene.lines.push_back(centred("!!debug_mode!!", h / 8, 18, true, kTkpWarnText));
        scene.lines.push_back(centred(format("%f[pps]", w.reportRate()), h / 8 + 30, 12));
        scene.buttons.push_back({kTkpSetButton, "set(g)"});
        if (!w.started()) scene.buttons.push_back({kTkpStartButton, "start(s)"});
        scene.debugText = SceneText{debugBlock(w), kTkpText, 12, false};
    }
    return scene;
}

}  // namespace station::checks
