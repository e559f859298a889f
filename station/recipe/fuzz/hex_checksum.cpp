// The station's HEX checksum on arbitrary file content; where the writer accepts the file, the
// two must agree, or the recipe's CHECKSUM would never match what the writer shows.
#include "station/recipe/hex_checksum.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "romwrite/image/firmware_image.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::uint16_t stationSum = 0;
    const bool stationOk = station::computeHexChecksumOfText(text, stationSum);

    static romwrite::FirmwareImage image;
    std::string error;
    if (romwrite::loadHexImageText(image, text, "image.hex", error) && (!stationOk || stationSum != image.checksum))
        std::abort();
    return 0;
}
