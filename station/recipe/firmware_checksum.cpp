#include "station/recipe/recipe_loader.h"
#include "station/sequence/hex_checksum.h"

namespace station {

std::optional<std::uint16_t> firmwareImageChecksum(const std::string& path) {
    std::uint16_t sum = 0;
    if (!computeHexChecksum(path, sum)) return std::nullopt;
    return sum;
}

}  // namespace station
