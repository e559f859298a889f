#include "station/recipe/hex_checksum.h"

#include <vector>

#include "intelhex/hex_reader.h"

namespace station {

namespace {

// Room for any image a recipe names; data further out than this cannot be summed honestly.
constexpr std::uint64_t kWorkArea = 0x60000;

}  // namespace

bool computeHexChecksumOfText(std::string_view text, std::uint16_t& hexChecksum) {
    std::vector<std::uint8_t> work(kWorkArea, 0xFF);
    // Between records the station skips every byte, NUL included; the writer is stricter.
    intelhex::HexRecordReader reader(text, intelhex::HexLineEnds::CrLf, intelhex::HexNulBytes::SkipBetweenRecords);
    intelhex::HexPlacement placement;
    intelhex::HexDataRecord record;
    while (reader.nextData(record)) {
        const std::uint64_t offset = placement.place(record);
        for (std::size_t j = 0; j < record.bytes.size(); ++j)
            if (offset + j < kWorkArea) work[offset + j] = record.bytes[j];
    }
    if (reader.failed()) return false;

    const std::uint64_t end = placement.blockEnd();
    // Data that did not fit were not stored; a sum without them would be a wrong checksum.
    if (end >= kWorkArea) return false;
    std::uint32_t sum = 0;
    for (std::uint64_t k = 0; k <= end; ++k) sum += work[k];
    hexChecksum = static_cast<std::uint16_t>(sum & 0xFFFF);
    return true;
}

bool computeHexChecksum(const std::string& hexFile, std::uint16_t& hexChecksum, platform::Failure* readError) {
    std::string text;
    // An image that cannot be read checksums as empty: the check then ends as a mismatch.
    platform::readRegularFile(hexFile, kMaxStationHexBytes, text, readError);
    return computeHexChecksumOfText(text, hexChecksum);
}

}  // namespace station
