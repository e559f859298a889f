// vorlick-diag hex FILE: what the writer and the station make of a firmware HEX file.
#include <cstdio>
#include <string>
#include <vector>

#include "romwrite/image/firmware_image.h"
#include "station/recipe/hex_checksum.h"
#include "tools/diag_commands.h"

namespace diag {

int runHex(const std::vector<std::string>& args) {
    if (args.size() != 1 || args[0].starts_with('-')) {
        std::fprintf(stderr, "usage: vorlick-diag hex FILE\n");
        return 2;
    }
    const std::string& path = args[0];
    romwrite::FirmwareImage image;
    std::string error;
    intelhex::HexFault fault;
    if (!romwrite::loadHexImage(image, path, error, &fault)) {
        // The writer shows no text for a malformed record; the engineer wants to know which.
        std::fprintf(stderr, "vorlick-diag hex: %s: %s\n", path.c_str(),
                     (error.empty() ? fault.text() : error).c_str());
        return 1;
    }
    std::uint16_t stationChecksum = 0;
    if (!station::computeHexChecksum(path, stationChecksum)) {
        std::fprintf(stderr, "vorlick-diag hex: %s: the station cannot checksum this file\n", path.c_str());
        return 1;
    }
    std::printf("start=0x%X size=0x%X checksum=0x%04X lockedPid=0x%04X fileVersion=0x%04X encCapable=%d\n", image.start,
                image.size, image.checksum, image.lockedPid, image.fileVersion, image.encCapable ? 1 : 0);
    std::printf("stationChecksum=0x%04X\n", stationChecksum);
    return 0;
}

}  // namespace diag
