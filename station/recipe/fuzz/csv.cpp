// libFuzzer target: the reference/gap and threshold table readers on arbitrary file content.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "station/recipe/threshold_tables.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static auto a = std::make_unique<station::Grid>();
    static auto b = std::make_unique<station::Grid>();
    const std::string_view content(reinterpret_cast<const char*>(data), size);
    station::readBlockTable(content, "Reference", *a);
    station::readBlockTable(content, "Vertical", *b);
    station::readThresholdTable(content, *a, *b);
    return 0;
}
