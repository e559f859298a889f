#include "sim/scenario.h"

#include <cctype>
#include <memory>

#include "hidlink/sim_protocol.h"
#include "platform/file_reader.h"
#include "sim/scenario_models.h"
#include "sim/virtual_bus.h"

namespace sim {
namespace {

std::string_view trim(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
    return s;
}

struct Transport {
    bool plugged = true;
    TransportFaults faults;
    std::string openRefused;
};

// Takes the keys every model shares out of the section. Error: "<line>: what".
bool takeTransportKeys(ScenarioSection& s, Transport& t, std::string& model, std::string& error) {
    std::vector<ScenarioEntry> rest;
    int modelLine = 0;
    for (auto& e : s.entries) {
        std::uint64_t n = 0;
        const auto bad = [&](const std::string& want) {
            error = std::to_string(e.line) + ": " + e.key + " must be " + want + ", not '" + e.value + "'";
            return false;
        };
        if (e.key == "model") {
            // Two models in one section is a slip (a pasted block), not a choice.
            if (modelLine != 0)
                return error = std::to_string(e.line) + ": model is given twice (first on line " +
                               std::to_string(modelLine) + ")",
                       false;
            model = e.value;
            modelLine = e.line;
        } else if (e.key == "plugged" || e.key == "refuse_all") {
            if (e.value != "0" && e.value != "1") return bad("0 or 1");
            (e.key == "plugged" ? t.plugged : t.faults.refuseAll) = e.value == "1";
        } else if (e.key == "latency_ms") {
            if (!parseScenarioNumber(e.value, hidlink::simwire::kMaxLatencyMs, n))
                return bad("a number of milliseconds up to " + std::to_string(hidlink::simwire::kMaxLatencyMs));
            t.faults.latencyMs = static_cast<std::uint32_t>(n);
        } else if (e.key == "open_refused") {
            if (e.value.empty()) return bad("the reason an open fails with");
            t.openRefused = e.value;
        } else if (e.key == "refuse_nth") {
            if (!parseScenarioNumber(e.value, UINT64_MAX, n)) return bad("a number (0 = off)");
            t.faults.refuseNth = n;
        } else {
            rest.push_back(std::move(e));
        }
    }
    s.entries = std::move(rest);
    return true;
}

}  // namespace

std::optional<std::vector<ScenarioSection>> parseScenario(std::string_view text, const std::string& name,
                                                          std::string& error) {
    std::vector<ScenarioSection> sections;
    bool operatorLines = false;
    int lineNo = 0;
    while (!text.empty()) {
        ++lineNo;
        const auto nl = text.find('\n');
        std::string_view line = text.substr(0, nl);
        text = nl == std::string_view::npos ? std::string_view{} : text.substr(nl + 1);
        if (const auto hash = line.find('#'); hash != std::string_view::npos) line = line.substr(0, hash);
        line = trim(line);  // also drops the CR of a CR LF file
        if (line.empty()) continue;
        const auto where = name + ":" + std::to_string(lineNo) + ": ";
        if (line.front() == '[') {
            if (line.back() != ']' || line.size() < 3) {
                error = where + "a section header is [name]";
                return std::nullopt;
            }
            const std::string section(trim(line.substr(1, line.size() - 2)));
            // An [operator] section belongs to the [device] before it: its lines join that section.
            operatorLines = section == "operator";
            if (operatorLines && (sections.empty() || sections.back().name != "device")) {
                error = where + "[operator] belongs to the [device] before it, and there is none";
                return std::nullopt;
            }
            if (!operatorLines) sections.push_back({section, lineNo, {}});
            continue;
        }
        // An operator's lines are rules and timeline entries, not keys: kept whole for the model.
        if (operatorLines) {
            sections.back().entries.push_back({"operator", std::string(line), lineNo});
            continue;
        }
        const auto eq = line.find('=');
        if (eq == std::string_view::npos || trim(line.substr(0, eq)).empty()) {
            error = where + "expected [section] or key = value, got '" + std::string(line) + "'";
            return std::nullopt;
        }
        if (sections.empty()) {
            error = where + "key outside any section";
            return std::nullopt;
        }
        sections.back().entries.push_back(
            {std::string(trim(line.substr(0, eq))), std::string(trim(line.substr(eq + 1))), lineNo});
    }
    return sections;
}

bool loadScenario(std::string_view text, const std::string& name, VirtualBus& bus, platform::Clock& clock,
                  std::string& error) {
    auto sections = parseScenario(text, name, error);
    if (!sections) return false;
    struct Built {
        std::shared_ptr<VirtualDevice> device;
        Transport transport;
    };
    std::vector<Built> built;
    for (auto& s : *sections) {
        const auto where = name + ":" + std::to_string(s.line) + ": ";
        if (s.name != "device") {
            error = where + "unknown section [" + s.name + "] (only [device] and [operator])";
            return false;
        }
        Transport t;
        std::string model, why;
        if (!takeTransportKeys(s, t, model, why)) {
            error = name + ":" + why;
            return false;
        }
        const ScenarioModel* m = findScenarioModel(model);
        if (m == nullptr) {
            std::string known;
            for (const auto& k : scenarioModels()) known += (known.empty() ? "" : ", ") + std::string(k.name);
            error = where + (model.empty() ? "the device has no model" : "unknown model '" + model + "'") +
                    " (known: " + known + ")";
            return false;
        }
        auto dev = m->make(s, clock, why);
        if (!dev) {
            // Factories name the line first; fall back to the section's line.
            const bool hasLine = !why.empty() && std::isdigit(static_cast<unsigned char>(why.front()));
            error = hasLine ? name + ":" + why : where + why;
            return false;
        }
        built.push_back({std::move(dev), t});
    }
    if (built.empty()) {
        error = name + ": no [device] section";
        return false;
    }
    for (auto& b : built) {
        const int id = bus.addDevice(b.device);
        bus.setFaults(id, b.transport.faults);
        bus.setOpenRefused(id, b.transport.openRefused);
        if (!b.transport.plugged) bus.unplug(id);
    }
    return true;
}

bool readScenarioFile(const std::string& path, std::string& text, std::string& error) {
    platform::Failure why;
    if (platform::readRegularFile(path, kMaxScenarioBytes, text, &why)) return true;
    error = "cannot read scenario " + why.text();
    return false;
}

bool loadScenarioFile(const std::string& path, VirtualBus& bus, platform::Clock& clock, std::string& error) {
    std::string text;
    return readScenarioFile(path, text, error) && loadScenario(text, path, bus, clock, error);
}

}  // namespace sim
