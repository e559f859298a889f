#pragma once
// Scenario files describe what vorlick-sim serves: one [device] section per simulated device
// (its model, identity, panel and faults). The parser keeps every entry with its line number so
// a model can report the exact line it rejects.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace sim {

struct ScenarioEntry {
    std::string key;
    std::string value;
    int line = 0;
};

struct ScenarioSection {
    std::string name;  // "device", ...
    int line = 0;
    std::vector<ScenarioEntry> entries;

    // The last value given for `key`, if any.
    std::optional<std::string> find(std::string_view key) const {
        std::optional<std::string> v;
        for (const auto& e : entries)
            if (e.key == key) v = e.value;
        return v;
    }
};

}  // namespace sim

namespace platform {
class Clock;
}

namespace sim {

class VirtualBus;

// The sections of a scenario text, in order. The lines of an [operator] section join the
// [device] section before it as `operator` entries, each line whole. Nothing, and
// "<name>:<line>: <what>" in `error`, for a line that is neither a [section], a `key = value`
// nor a # comment, or an [operator] without its [device].
std::optional<std::vector<ScenarioSection>> parseScenario(std::string_view text, const std::string& name,
                                                          std::string& error);

// Builds every [device] section with the model its `model` key names and plugs the devices into
// `bus` in file order; the transport keys (plugged, latency_ms, refuse_nth, refuse_all) apply to
// any model. Nothing is plugged in unless the whole file is good.
bool loadScenario(std::string_view text, const std::string& name, VirtualBus& bus, platform::Clock& clock,
                  std::string& error);

// Larger than any scenario a person writes: a table model with a few hundred answers of 64
// bytes each is some 100 KB. Keeps a wrong path (a disk image) out.
inline constexpr std::size_t kMaxScenarioBytes = 1u << 20;

// The scenario's text. Only a regular file within kMaxScenarioBytes is read, and the open never
// waits, so a FIFO or a device given by mistake is refused at once with its reason.
bool readScenarioFile(const std::string& path, std::string& text, std::string& error);
// readScenarioFile, then loadScenario.
bool loadScenarioFile(const std::string& path, VirtualBus& bus, platform::Clock& clock, std::string& error);

}  // namespace sim
