#include "station/window/panel/panel_look.h"

#include "station/window/panel/panel_text.h"

namespace station {
namespace {

constexpr std::uint32_t kRed = 0xFFFF0000;
constexpr std::uint32_t kBlack = 0xFF000000;
constexpr std::uint32_t kDarkGrey = 0xFF323232;
constexpr std::uint32_t kBlue = 0xFF0000FF;
constexpr std::uint32_t kGreen = 0xFF00FF00;
constexpr std::uint32_t kWhite = 0xFFFFFFFF;
constexpr std::uint32_t kLampBoxArmed = 0xFFC8C8C8;
constexpr std::uint32_t kLampBoxIdle = 0xFFF0F0F0;

}  // namespace

PanelLook panelLook(const Station& s) {
    const std::string_view text = panelStateText(s);
    if (s.recipe.recipeFailed) return {text, kRed, 28};
    if (!s.recipe.recipeLoaded) return {text, text == "NO DEVICE" ? kRed : kBlack, 22};
    if (s.records.unseenFailure) return {text, kRed, 28};
    if (s.flags.logOpen == 0) return {text, kBlack, 22};
    switch (s.state) {
        case StationState::Writing:
        case StationState::Connect:
        case StationState::Checking:
            return {text, kDarkGrey, 22};
        case StationState::NoTest:
            return {text, kBlue, 35};
        case StationState::Error:
            return {text, kRed, 38};
        case StationState::Ok:
            return {text, kGreen, 50};
        case StationState::Ng:
            return {text, kRed, 50};
        default:
            return {text, kBlack, 38};
    }
}

TrgLamp::Look TrgLamp::paint(bool logOpen, bool triggered) {
    if (level_ > kTop) {
        level_ = kTop;
        down_ = true;
    } else if (level_ < kBottom) {
        level_ = kBottom;
        down_ = false;
    }
    Look look;
    look.boxArgb = logOpen ? kLampBoxArmed : kLampBoxIdle;
    if (!logOpen)
        look.textArgb = kWhite;
    else if (triggered)
        look.textArgb = kRed;
    else
        look.textArgb = 0xFF000000u | (static_cast<std::uint32_t>(level_) * 0x010101u);
    level_ += down_ ? -kStep : kStep;
    return look;
}

}  // namespace station
