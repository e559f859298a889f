// --json record files are appended line by line and may end in a cut-off line or hold anything.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "results/ingest.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    results::IngestContext context;
    context.stationId = "st1";
    results::readCheckRecords(
        in, "checks.jsonl", context,
        [](results::CheckResult&& c, const std::string&) {
            if (c.checkNo < 0 || c.retry < 0 || c.elapsedMs < 0 || c.startUtc.size() != 20 || c.endUtc.size() != 20 ||
                c.logFolder.empty())
                __builtin_trap();
        },
        [](const std::string&) {});
    return 0;
}
