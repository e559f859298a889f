// libFuzzer target: standard input of the headless station, split into lines (first byte: the
// line limit) and each line read as a command.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "platform/line_reader.h"
#include "station/window/headless/headless_command.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::size_t limit = data[0];
    platform::LineSplitter splitter(limit);
    std::vector<platform::LineSplitter::Item> items;
    const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    // Fed in two pieces, so lines cross a read.
    splitter.feed(bytes.substr(0, bytes.size() / 2), items);
    splitter.feed(bytes.substr(bytes.size() / 2), items);
    splitter.finish(items);
    for (const auto& item : items) {
        if (item.text.size() > limit) std::abort();  // the limit holds
        const station::ParsedLine parsed = station::parseHeadlessCommand(item.text);
        if (parsed.command && !parsed.error.empty()) std::abort();  // a command or an error, not both
    }
    return 0;
}
