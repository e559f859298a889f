#pragma once
// Scenario files describe what vorlick-sim serves: one [device] section per simulated device
// (its model, identity, panel and faults). The parser keeps every entry with its line number so
// a model can report the exact line it rejects.
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
