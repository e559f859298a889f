#pragma once
// The sensor grid's ruling, the same in both viewers: every 10th line darker and longer, every
// 5th a little, the others light.
#include <cstdint>

namespace station::viewers {

struct GridLineStyle {
    std::uint32_t colour = 0;  // 0xAARRGGBB
    int startOffset = 0;       // pixels from the area's edge where the line starts
};

// Line number n (0-based along its axis).
GridLineStyle gridLineStyle(int n);

// A rectangle in pixels.
struct Rect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool contains(int px, int py) const { return px >= x && px < x + width && py >= y && py < y + height; }
    bool operator==(const Rect&) const = default;
};

}  // namespace station::viewers
