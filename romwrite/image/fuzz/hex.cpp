// The writer's HEX loader on arbitrary file content: it must never read or write outside its
// buffers, and whatever it accepts must be a consistent image.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "romwrite/image/firmware_image.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    static romwrite::FirmwareImage image;
    std::string error;
    intelhex::HexFault fault;
    if (romwrite::loadHexImageText(image, text, "fw_0A52_0103.hex", error, &fault)) {
        if (image.start != romwrite::kImageStart || image.size == 0 || image.size % romwrite::kImageBlock != 0 ||
            image.size > romwrite::kImageCapacity ||
            image.checksum != romwrite::imageChecksum(image.bytes.data(), image.size) || !error.empty())
            std::abort();
    } else if (image.valid) {
        std::abort();
    }

    // The lenient line-end mode walks the same text on its own.
    intelhex::HexRecordReader reader(text, intelhex::HexLineEnds::CrLfOrLf);
    intelhex::HexDataRecord record;
    while (reader.nextData(record))
        if (record.bytes.size() > 255) std::abort();
    return 0;
}
