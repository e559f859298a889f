// vorlick-diag hex FILE: what the writer and the station make of a firmware HEX file.
// vorlick-diag checksum FILE: the station's checksum alone, as a recipe's CHECKSUM holds it.
#include <cstdio>
#include <string>
#include <vector>

#include "romwrite/image/firmware_image.h"
#include "station/recipe/hex_checksum.h"
#include "tools/diag_commands.h"

namespace diag {
namespace {

// The station's checksum of the file; false, said on stderr as `command`, when it has none.
bool stationChecksumOf(const char* command, const std::string& path, std::uint16_t& sum) {
    platform::Failure readError;
    if (!station::computeHexChecksum(path, sum, &readError)) {
        std::fprintf(stderr, "vorlick-diag %s: %s: the station cannot checksum this file\n", command, path.c_str());
        return false;
    }
    // The station sums a file it cannot read as an empty image; that is no checksum of this one.
    if (!readError.reason.empty()) {
        std::fprintf(stderr, "vorlick-diag %s: %s: the station cannot read this file (%s)\n", command, path.c_str(),
                     readError.reason.c_str());
        return false;
    }
    return true;
}

}  // namespace

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
        // The writer shows no text for a malformed record, and one text for every file it did
        // not read; the engineer wants to know which record, or why.
        std::string text = error.empty() ? fault.text() : error;
        if (!error.empty() && !fault.what.empty()) text += " (" + fault.what + ")";
        std::fprintf(stderr, "vorlick-diag hex: %s: %s\n", path.c_str(), text.c_str());
        return 1;
    }
    std::uint16_t stationChecksum = 0;
    if (!stationChecksumOf("hex", path, stationChecksum)) return 1;
    std::printf("start=0x%X size=0x%X checksum=0x%04X lockedPid=0x%04X fileVersion=0x%04X encCapable=%d\n", image.start,
                image.size, image.checksum, image.lockedPid, image.fileVersion, image.encCapable ? 1 : 0);
    std::printf("stationChecksum=0x%04X\n", stationChecksum);
    return 0;
}

int runChecksum(const std::vector<std::string>& args) {
    if (args.size() != 1 || args[0].starts_with('-')) {
        std::fprintf(stderr, "usage: vorlick-diag checksum FILE\n");
        return 2;
    }
    std::uint16_t sum = 0;
    if (!stationChecksumOf("checksum", args[0], sum)) return 1;
    std::printf("stationChecksum=0x%04X\n", sum);
    return 0;
}

}  // namespace diag
