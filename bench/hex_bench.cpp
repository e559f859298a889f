// Loading a whole-flash HEX image (0x2C000 bytes at 0x8000), as the writer does before every
// job and the station does at every recipe load. Compare with bench/hex_vs_objcopy.sh.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "romwrite/image/firmware_image.h"
#include "station/recipe/hex_checksum.h"

namespace {

// 32-byte records with extended linear address records, CR LF, as linkers write them.
std::string wholeFlashHex() {
    static const char* digits = "0123456789ABCDEF";
    std::string text;
    auto put = [&](std::uint8_t b, unsigned& sum) {
        text += digits[b >> 4];
        text += digits[b & 15];
        sum += b;
    };
    auto rec = [&](std::uint8_t type, std::uint16_t address, const std::uint8_t* data, std::uint8_t n) {
        unsigned sum = 0;
        text += ':';
        put(n, sum);
        put(static_cast<std::uint8_t>(address >> 8), sum);
        put(static_cast<std::uint8_t>(address), sum);
        put(type, sum);
        for (int k = 0; k < n; ++k) put(data[k], sum);
        put(static_cast<std::uint8_t>(-sum & 0xFF), sum);
        text += "\r\n";
    };
    std::uint32_t x = 0x2C000, upper = 0;
    for (std::uint32_t a = 0x8000; a < 0x8000 + 0x2C000; a += 32) {
        if (a >> 16 != upper) {
            upper = a >> 16;
            const std::uint8_t u[2] = {static_cast<std::uint8_t>(upper >> 8), static_cast<std::uint8_t>(upper)};
            rec(4, 0, u, 2);
        }
        std::uint8_t data[32];
        for (auto& b : data) {
            x ^= x << 13;
            x ^= x >> 17;
            x ^= x << 5;
            b = static_cast<std::uint8_t>(x);
        }
        rec(0, static_cast<std::uint16_t>(a), data, 32);
    }
    rec(1, 0, nullptr, 0);
    return text;
}

const std::string& hexText() {
    static const std::string text = wholeFlashHex();
    return text;
}

const std::string& hexFile() {
    static const std::string path = [] {
        const auto p =
            std::filesystem::temp_directory_path() / ("vorlick_bench_" + std::to_string(::getpid()) + "_0A52_0103.hex");
        std::ofstream(p, std::ios::binary) << hexText();
        return p.string();
    }();
    return path;
}

void BM_LoadHexImageText(benchmark::State& state) {
    romwrite::FirmwareImage image;
    std::string error;
    for (auto _ : state) {
        if (!romwrite::loadHexImageText(image, hexText(), "fw_0A52_0103.hex", error))
            state.SkipWithError("load failed");
        benchmark::DoNotOptimize(image.checksum);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * hexText().size()));
}
BENCHMARK(BM_LoadHexImageText)->Unit(benchmark::kMicrosecond);

void BM_LoadHexImageFile(benchmark::State& state) {
    romwrite::FirmwareImage image;
    std::string error;
    for (auto _ : state) {
        if (!romwrite::loadHexImage(image, hexFile(), error)) state.SkipWithError("load failed");
        benchmark::DoNotOptimize(image.checksum);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * hexText().size()));
}
BENCHMARK(BM_LoadHexImageFile)->Unit(benchmark::kMicrosecond);

void BM_StationHexChecksumFile(benchmark::State& state) {
    for (auto _ : state) {
        std::uint16_t sum = 0;
        if (!station::computeHexChecksum(hexFile(), sum)) state.SkipWithError("checksum failed");
        benchmark::DoNotOptimize(sum);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * hexText().size()));
}
BENCHMARK(BM_StationHexChecksumFile)->Unit(benchmark::kMicrosecond);

}  // namespace
