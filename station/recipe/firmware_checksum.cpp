#include "station/recipe/hex_checksum.h"
#include "station/recipe/recipe_loader.h"

namespace station {

std::optional<std::uint16_t> firmwareImageChecksum(const std::string& path) {
    std::uint16_t sum = 0;
    if (!computeHexChecksum(path, sum)) return std::nullopt;
    return sum;
}

}  // namespace station
