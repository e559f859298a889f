#pragma once
// How the status panel paints the station's word, and the small "TRG" lamp in its corner.
// Plain values (colours as 0xAARRGGBB, sizes in points) so every painter draws the same.
#include <cstdint>
#include <string_view>

#include "station/recipe/recipe_settings.h"
#include "station/window/panel/panel_text.h"

namespace station {

struct PanelLook {
    std::string_view text;
    std::uint32_t argb = 0;
    int pointSize = 0;
};

// The word, its colour and its size for this repaint.
PanelLook panelLook(const RecipeSettings& recipe, const PanelState& panel);

// The lamp keeps its grey level between repaints: it falls from 255 to 200 and climbs back by
// 10 per repaint while the station waits for its trigger.
class TrgLamp {
public:
    struct Look {
        std::uint32_t boxArgb = 0;
        std::uint32_t textArgb = 0;
    };
    static constexpr int kTop = 255;
    static constexpr int kBottom = 200;
    static constexpr int kStep = 10;

    // The colours of one repaint; the grey level moves on with every repaint.
    Look paint(bool logOpen, bool triggered);
    int level() const { return level_; }

private:
    int level_ = kTop;
    bool down_ = true;
};

}  // namespace station
