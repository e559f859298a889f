#pragma once
// Intel HEX text of an image, for the writer's command-line tests.
#include <cstdio>
#include <fstream>
#include <string>

#include "romwrite/image/firmware_image.h"

namespace romwrite::testing {

inline std::string hexText(const FirmwareImage& img) {
    std::string out;
    auto record = [&out](std::uint8_t type, std::uint16_t address, const std::uint8_t* data, std::size_t n) {
        unsigned sum = static_cast<unsigned>(n) + (address >> 8) + (address & 0xFF) + type;
        char buf[16];
        std::snprintf(buf, sizeof buf, ":%02X%04X%02X", static_cast<unsigned>(n), address, type);
        out += buf;
        for (std::size_t i = 0; i < n; ++i) {
            std::snprintf(buf, sizeof buf, "%02X", data[i]);
            out += buf;
            sum += data[i];
        }
        std::snprintf(buf, sizeof buf, "%02X\r\n", (0x100 - (sum & 0xFF)) & 0xFF);
        out += buf;
    };
    std::uint32_t upper = 0;
    for (std::uint32_t k = 0; k < img.size; k += 16) {
        const std::uint32_t abs = img.start + k;
        if ((abs >> 16) != upper) {
            upper = abs >> 16;
            const std::uint8_t ext[2] = {static_cast<std::uint8_t>(upper >> 8), static_cast<std::uint8_t>(upper)};
            record(4, 0, ext, 2);
        }
        record(0, static_cast<std::uint16_t>(abs & 0xFFFF), img.bytes.data() + k, 16);
    }
    record(1, 0, nullptr, 0);
    return out;
}

inline void writeHexFile(const std::string& path, const FirmwareImage& img) {
    std::ofstream(path, std::ios::binary) << hexText(img);
}

}  // namespace romwrite::testing
