#include "station/viewers/logic/grid_lines.h"

#include <cmath>
#include <limits>

#include "station/viewers/logic/fixed_text.h"

namespace station::viewers {

GridLineStyle gridLineStyle(int n) {
    if (n % 10 == 0) return {0xFF999999u, 30};
    if (n % 5 == 0) return {0xFFBBBBBBu, 35};
    return {0xFFCCCCCCu, 40};
}

int wholeNumber(double value) {
    if (std::isnan(value)) return 0;
    const double r = std::round(value);
    if (r >= static_cast<double>(std::numeric_limits<int>::max())) return std::numeric_limits<int>::max();
    if (r <= static_cast<double>(std::numeric_limits<int>::min())) return std::numeric_limits<int>::min();
    return static_cast<int>(r);
}

}  // namespace station::viewers
