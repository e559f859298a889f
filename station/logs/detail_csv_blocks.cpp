#include "station/logs/detail_csv_blocks.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

namespace station {

void appendf(std::string& out, const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    if (length > 0) {
        const std::size_t at = out.size();
        out.resize(at + static_cast<std::size_t>(length) + 1);
        std::vsnprintf(out.data() + at, static_cast<std::size_t>(length) + 1, format, again);
        out.resize(at + static_cast<std::size_t>(length));
    }
    va_end(again);
}

void appendMatrix(std::string& out, const std::string& title, const controllerlink::Grid& values, std::uint32_t txCount,
                  std::uint32_t rxCount) {
    using controllerlink::kGridRx;
    using controllerlink::kGridTx;
    const std::uint32_t rows = std::min<std::uint32_t>(txCount, kGridTx);
    const std::uint32_t columns = std::min<std::uint32_t>(rxCount, kGridRx);
    out += title;
    for (int x = 0; x < kGridRx; ++x) appendf(out, ",X%d", x);
    out += '\n';
    for (int y = 0; y < kGridTx; ++y) {
        appendf(out, "Y%d", y);
        for (int x = 0; x < kGridRx; ++x) {
            if (static_cast<std::uint32_t>(y) < rows && static_cast<std::uint32_t>(x) < columns)
                appendf(out, ",%.2f", values[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)]);
            else
                out += ",0";
        }
        out += '\n';
    }
}

}  // namespace station
