#include "tools/diag_commands.h"

namespace diag {

int runList(const std::vector<std::string>& args);
int runDevice(const std::vector<std::string>& args);
int runHex(const std::vector<std::string>& args);
int runChecksum(const std::vector<std::string>& args);
int runRecipe(const std::vector<std::string>& args);

namespace {

// The controller commands are also reachable without the "device" word.
template <const char* Op>
int deviceOp(const std::vector<std::string>& args) {
    std::vector<std::string> all{Op};
    all.insert(all.end(), args.begin(), args.end());
    return runDevice(all);
}

constexpr char kRegisters[] = "registers", kVersion[] = "version", kQuery[] = "query", kRaw[] = "raw", kCal[] = "cal",
               kActual[] = "actual", kSd[] = "sd", kPincheck[] = "pincheck", kHsync[] = "hsync", kStream[] = "stream",
               kWatch[] = "watch", kLines[] = "lines";

}  // namespace

std::vector<Command> allCommands() {
    return {
        {"list", "list the HID collections the backend sees [--maker]", runList},
        {"device",
         "one controller command: registers, version, query, raw|cal|actual|sd, pincheck, hsync, stream, watch, lines",
         runDevice},
        {"registers", "the controller's register image (= device registers)", deviceOp<kRegisters>},
        {"version", "the maintenance version (= device version)", deviceOp<kVersion>},
        {"query", "touch and pen queries (= device query)", deviceOp<kQuery>},
        {"raw", "averaged raw frame as CSV --frames N --retry M", deviceOp<kRaw>},
        {"cal", "averaged calibration frame as CSV --frames N --retry M", deviceOp<kCal>},
        {"actual", "averaged actual-data frame as CSV --frames N --retry M", deviceOp<kActual>},
        {"sd", "mean and standard deviation grids as CSV --frames N --retry M", deviceOp<kSd>},
        {"pincheck", "pin check --wait W --threshold T", deviceOp<kPincheck>},
        {"hsync", "Hsync MCU: info|sample|noise|direct", deviceOp<kHsync>},
        {"stream", "live image frames as CSV, with their status word [--count N]", deviceOp<kStream>},
        {"watch", "live input reports, decoded [--pen] [--count N]", deviceOp<kWatch>},
        {"lines", "live line statistics of the TKP pen [--window N] [--count N]", deviceOp<kLines>},
        {"hex", "show the image the writer and the station read from a HEX FILE", runHex},
        {"checksum", "the station's checksum of a HEX FILE (a recipe's CHECKSUM)", runChecksum},
        {"recipe", "load a recipe and print its messages [--dump] FILE", runRecipe},
    };
}

}  // namespace diag
