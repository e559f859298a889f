#include "romwrite/image/firmware_image.h"

#include <algorithm>
#include <array>

#include "platform/file_reader.h"

namespace romwrite {

namespace {

// Up to four hex digits, stopping at the first character that is not one.
std::uint32_t leadingHex(std::string_view digits) {
    std::uint32_t v = 0;
    for (char c : digits.substr(0, 4)) {
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else if (c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else
            break;
        v = v << 4 | static_cast<std::uint32_t>(d);
    }
    return v;
}

}  // namespace

std::uint32_t imageChecksum(const std::uint8_t* bytes, std::size_t size) {
    std::uint32_t sum = 0;
    for (std::size_t k = 0; k < size; ++k) sum += bytes[k];
    return sum & 0xFFFF;
}

bool parseImageName(std::string_view path, std::uint32_t& lockedPid, std::uint32_t& fileVersion) {
    if (path.starts_with('"')) {
        path.remove_prefix(1);
        const auto close = path.rfind('"');
        if (close != std::string_view::npos) path = path.substr(0, close);
    }
    // The rule counts characters from the end of the name; a UTF-8 path holds some in several
    // bytes, so find where each of the last 14 characters starts.
    std::array<std::size_t, 14> at{};  // at[k]: first byte of the character 14 - k from the end
    std::size_t found = 0;
    for (std::size_t i = path.size(); i > 0 && found < at.size(); --i)
        if ((static_cast<unsigned char>(path[i - 1]) & 0xC0) != 0x80) at[at.size() - ++found] = i - 1;
    if (found < at.size() || path[at[0]] != '_' || path[at[5]] != '_') return false;
    // A character that is not a hex digit ends the number, a multi-byte one included.
    lockedPid = leadingHex(path.substr(at[1], 4));
    fileVersion = leadingHex(path.substr(at[6], 4));
    return lockedPid != 0 && fileVersion != 0;
}

bool loadHexImageText(FirmwareImage& image, std::string_view text, std::string_view path, std::string& errorText,
                      intelhex::HexFault* fault) {
    image.valid = false;
    image.bytes.assign(kImageCapacity, 0xFF);

    intelhex::HexRecordReader reader(text);
    intelhex::HexPlacement placement;
    intelhex::HexDataRecord record;
    while (reader.nextData(record)) {
        const std::uint64_t offset = placement.place(record);
        // Bytes between the image's end and this bound only grow the size, which is refused
        // below with a reason; bytes further out fail the file at once.
        constexpr std::uint64_t kWorkArea = 0x30000;
        if (!record.bytes.empty() && offset + record.bytes.size() > kWorkArea) {
            if (fault) *fault = intelhex::HexFault{reader.recordLine(), "data outside the image area"};
            return false;
        }
        for (std::size_t j = 0; j < record.bytes.size(); ++j)
            if (offset + j < kImageCapacity) image.bytes[offset + j] = record.bytes[j];
    }
    if (reader.failed()) {
        if (fault) *fault = reader.fault();
        return false;
    }

    const std::uint64_t end = placement.blockEnd();
    if (end >= kImageCapacity) {
        errorText = "File size error.";
        return false;
    }
    if (!placement.haveFirst() || placement.first() != kImageStart) {
        errorText = "Start address error.";
        return false;
    }
    // A file cut short (a copy that stopped, a full disk) still parses up to its last whole
    // record; only the end-of-file record tells it was written to the end.
    if (!reader.sawEndOfFile()) {
        if (fault) *fault = intelhex::HexFault{0, "no end-of-file record"};
        return false;
    }
    image.start = kImageStart;
    image.size = static_cast<std::uint32_t>(end + 1);
    image.checksum = imageChecksum(image.bytes.data(), image.size);
    image.lockedPid = 0;
    image.fileVersion = 0;
    image.encCapable = parseImageName(path, image.lockedPid, image.fileVersion);
    image.valid = true;
    return true;
}

bool loadHexImage(FirmwareImage& image, const std::string& path, std::string& errorText, intelhex::HexFault* fault) {
    image.valid = false;
    std::string text;
    platform::Failure readError;
    if (!platform::readRegularFile(path, kMaxHexFileBytes, text, &readError)) {
        errorText = "No such file.";
        if (fault) *fault = intelhex::HexFault{0, readError.reason};
        return false;
    }
    return loadHexImageText(image, text, path, errorText, fault);
}

}  // namespace romwrite
