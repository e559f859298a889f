// Result logs come from station PCs of every age, copied by hand, cut off by a full disk.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "results/ingest.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    results::IngestContext context;
    context.stationId = "st1";
    results::readResultLog(
        in, "/logs/20240305_070809_result.log", context,
        [](results::CheckResult&& c, const std::string&) {
            // What the reader hands on is a check the store can judge: numbers in range, times in form.
            if (c.checkNo < 0 || c.retry < 0 || c.startUtc.size() != 20 || c.endUtc != c.startUtc) __builtin_trap();
        },
        [](const std::string&) {});
    return 0;
}
