// vorlick-hsync-prog: a stand-in for the Hsync MCU's outside programmer, for demos and tests
// with the simulator. The station runs it as "PROGRAM IMAGE -auto -reset" in its folder and
// knows only its exit code (0 = written). It reads the image's version word and programs the
// MCU of a simulated controller with it over the simulator's control channel, so the MCU
// answers the new version afterwards; the scenario's hsync_program_exit chooses a failure.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "intelhex/hex_reader.h"
#include "sim/sim_control.h"

namespace {

// The MCU's firmware version: the word at this image address, high byte first.
constexpr std::uint32_t kVersionAddress = 0x00C4;
// An MCU image is small; anything far larger is not one.
constexpr std::streamsize kMaxImageBytes = 4 << 20;

constexpr int kExitUsage = 2;
constexpr int kExitImage = 3;
constexpr int kExitSimulator = 4;

int usage(std::FILE* to = stderr) {
    std::fputs(
        "usage: vorlick-hsync-prog IMAGE.hex -auto -reset\n"
        "Programs the Hsync MCU of a simulated controller (VORLICK_HID=sim:<socket>; the device\n"
        "VORLICK_HSYNC_DEVICE, else the first one on the bus) with the image's version word at\n"
        "0x00C4 (high byte first). Exit status: 0 written; the scenario's hsync_program_exit;\n"
        "2 usage; 3 the image cannot be read or has no version word; 4 the simulator refused.\n",
        to);
    return kExitUsage;
}

std::optional<std::uint16_t> versionWord(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::string text(static_cast<std::size_t>(kMaxImageBytes) + 1, '\0');
    in.read(text.data(), kMaxImageBytes + 1);
    if (in.gcount() > kMaxImageBytes) return std::nullopt;
    text.resize(static_cast<std::size_t>(in.gcount()));
    intelhex::HexRecordReader reader(text, intelhex::HexLineEnds::CrLfOrLf);
    intelhex::HexDataRecord record;
    std::optional<std::uint8_t> high, low;
    while (reader.nextData(record)) {
        for (std::size_t i = 0; i < record.bytes.size(); ++i) {
            const std::uint64_t address = std::uint64_t{record.absolute} + i;
            if (address == kVersionAddress) high = record.bytes[i];
            if (address == kVersionAddress + 1) low = record.bytes[i];
        }
    }
    if (reader.failed() || !high || !low) return std::nullopt;
    return static_cast<std::uint16_t>(*high << 8 | *low);
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 1 && args[0] == "--help") return usage(stdout), 0;
    if (args.size() == 1 && args[0] == "--version") {
        std::printf("vorlick-hsync-prog %s\n", VORLICK_VERSION_STRING);
        return 0;
    }
    if (args.size() != 3 || args[1] != "-auto" || args[2] != "-reset") return usage();

    const std::optional<std::uint16_t> version = versionWord(args[0]);
    if (!version) {
        std::fprintf(stderr, "vorlick-hsync-prog: %s is no readable HEX image with a version word at 0x%04X\n",
                     args[0].c_str(), kVersionAddress);
        return kExitImage;
    }
    const char* hid = std::getenv("VORLICK_HID");
    const std::string_view backend = hid != nullptr ? hid : "";
    if (!backend.starts_with("sim:") || backend.size() == 4) {
        std::fputs("vorlick-hsync-prog: VORLICK_HID does not name a simulator (sim:<socket>)\n", stderr);
        return kExitSimulator;
    }
    sim::SimControl ctl{std::string(backend.substr(4))};
    std::uint32_t device = 0;
    if (const char* chosen = std::getenv("VORLICK_HSYNC_DEVICE"); chosen != nullptr && *chosen != '\0') {
        char* end = nullptr;
        const unsigned long n = std::strtoul(chosen, &end, 0);
        if (*end != '\0' || n > 0xFFFFFFFFUL) return usage();
        device = static_cast<std::uint32_t>(n);
    } else {
        std::vector<hidlink::simwire::DeviceState> devices;
        if (!ctl.list(devices)) {
            std::fprintf(stderr, "vorlick-hsync-prog: %s\n", ctl.error().c_str());
            return kExitSimulator;
        }
        bool found = false;
        for (const auto& d : devices)
            if (d.present && !found) device = d.deviceId, found = true;
        if (!found) {
            std::fputs("vorlick-hsync-prog: no device on the simulated bus\n", stderr);
            return kExitSimulator;
        }
    }
    std::uint32_t exitCode = 0;
    if (!ctl.programHsync(device, *version, exitCode)) {
        std::fprintf(stderr, "vorlick-hsync-prog: %s\n", ctl.error().c_str());
        return kExitSimulator;
    }
    if (exitCode != 0) {
        std::fprintf(stderr, "vorlick-hsync-prog: the MCU of device %u was not written (code %u)\n", device, exitCode);
        return static_cast<int>(exitCode & 0xFF);
    }
    std::fprintf(stderr, "vorlick-hsync-prog: device %u: Hsync MCU firmware 0x%04X written\n", device, *version);
    return 0;
}
