#include "sim/scenario_models.h"

#include <charconv>
#include <map>
#include <sstream>

#include "controllerlink/vendor_ids.h"
#include "hidlink/descriptor.h"
#include "sim/controller_scenario.h"
#include "sim/table_device.h"

namespace sim {
namespace {

constexpr ScenarioModel kModels[] = {
    {"table", makeTableFromSection},
    {"controller", makeControllerFromSection},
};

std::vector<std::string> words(std::string_view text) {
    std::vector<std::string> out;
    std::istringstream in{std::string(text)};
    for (std::string w; in >> w;) out.push_back(w);
    return out;
}

std::string at(const ScenarioEntry& e, const std::string& what) { return std::to_string(e.line) + ": " + what; }

}  // namespace

std::span<const ScenarioModel> scenarioModels() { return kModels; }

const ScenarioModel* findScenarioModel(std::string_view name) {
    for (const auto& m : kModels)
        if (m.name == name) return &m;
    return nullptr;
}

bool parseScenarioNumber(std::string_view text, std::uint64_t max, std::uint64_t& out) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    if (text.empty()) return false;
    std::uint64_t v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v, base);
    if (ec != std::errc{} || end != text.data() + text.size() || v > max) return false;
    out = v;
    return true;
}

bool parseHexBytes(std::string_view text, std::vector<std::uint8_t>& out) {
    out.clear();
    for (const auto& w : words(text)) {
        if (w.size() % 2 != 0) return false;
        for (std::size_t i = 0; i < w.size(); i += 2) {
            std::uint8_t b = 0;
            const auto [end, ec] = std::from_chars(w.data() + i, w.data() + i + 2, b, 16);
            if (ec != std::errc{} || end != w.data() + i + 2) return false;
            out.push_back(b);
        }
    }
    return !out.empty();
}

std::shared_ptr<VirtualDevice> makeTableFromSection(const ScenarioSection& section, platform::Clock&,
                                                    std::string& error) {
    UsbIdentity usb{static_cast<std::uint16_t>(controllerlink::VID_PRIMARY), 0, 0};
    std::vector<std::vector<CollectionSpec>> ifaces;
    struct Answer {
        std::size_t iface;
        std::vector<std::uint8_t> bytes;
        const ScenarioEntry* entry;
    };
    std::vector<Answer> answers;
    std::uint64_t n = 0;

    for (const ScenarioEntry& e : section.entries) {
        const auto w = words(e.value);
        if (e.key == "vid") {
            if (e.value == "primary")
                usb.vendorId = static_cast<std::uint16_t>(controllerlink::VID_PRIMARY);
            else if (e.value == "secondary")
                usb.vendorId = static_cast<std::uint16_t>(controllerlink::VID_SECONDARY);
            else if (parseScenarioNumber(e.value, 0xFFFF, n))
                usb.vendorId = static_cast<std::uint16_t>(n);
            else
                return error = at(e, "vid must be primary, secondary or a number up to 0xFFFF, not '" + e.value + "'"),
                       nullptr;
        } else if (e.key == "pid" || e.key == "version") {
            if (!parseScenarioNumber(e.value, 0xFFFF, n))
                return error = at(e, e.key + " must be a number up to 0xFFFF, not '" + e.value + "'"), nullptr;
            (e.key == "pid" ? usb.productId : usb.version) = static_cast<std::uint16_t>(n);
        } else if (e.key == "collection") {
            std::uint64_t iface = 0, page = 0, usage = 0;
            if (w.size() != 3 || !parseScenarioNumber(w[0], 255, iface) || !parseScenarioNumber(w[1], 0xFFFF, page) ||
                !parseScenarioNumber(w[2], 0xFFFF, usage))
                return error = at(e, "collection wants INTERFACE USAGE_PAGE USAGE, got '" + e.value + "'"), nullptr;
            // Interfaces are numbered in order, as USB numbers them.
            if (iface == ifaces.size())
                ifaces.emplace_back();
            else if (ifaces.empty() || iface != ifaces.size() - 1)
                return error = at(e, "interface " + std::to_string(iface) + " out of order (next is " +
                                         std::to_string(ifaces.size()) + ")"),
                       nullptr;
            ifaces.back().push_back({static_cast<std::uint16_t>(page), static_cast<std::uint16_t>(usage), {}});
        } else if (e.key == "report") {
            static const std::map<std::string, ReportSpec::Kind> kinds = {
                {"input", ReportSpec::Input}, {"output", ReportSpec::Output}, {"feature", ReportSpec::Feature}};
            std::uint64_t id = 0, length = 0;
            if (w.size() != 3 || !kinds.contains(w[0]) || !parseScenarioNumber(w[1], 255, id) ||
                !parseScenarioNumber(w[2], hidlink::kMaxReportBytes + 1, length) || length < 2)
                return error = at(e, "report wants input|output|feature ID LENGTH (2.." +
                                         std::to_string(hidlink::kMaxReportBytes + 1) + " bytes with the id), got '" +
                                         e.value + "'"),
                       nullptr;
            if (ifaces.empty()) return error = at(e, "report before any collection"), nullptr;
            const ReportSpec spec{kinds.at(w[0]), static_cast<std::uint8_t>(id), static_cast<std::uint16_t>(length)};
            // What a host would refuse: an id declared twice for one kind on an interface, or
            // numbered and unnumbered reports mixed.
            for (const auto& c : ifaces.back())
                for (const auto& r : c.reports) {
                    if (r.kind == spec.kind && r.id == spec.id)
                        return error = at(e, w[0] + " report " + std::to_string(id) + " declared twice on interface " +
                                                 std::to_string(ifaces.size() - 1)),
                               nullptr;
                    if ((r.id == 0) != (spec.id == 0))
                        return error = at(e, "interface " + std::to_string(ifaces.size() - 1) +
                                                 " mixes report id 0 with numbered reports"),
                               nullptr;
                }
            ifaces.back().back().reports.push_back(spec);
        } else if (e.key == "answer") {
            std::uint64_t iface = 0;
            std::vector<std::uint8_t> bytes;
            const auto space = e.value.find_first_of(" \t");
            if (space == std::string::npos || !parseScenarioNumber(e.value.substr(0, space), 255, iface) ||
                !parseHexBytes(std::string_view(e.value).substr(space), bytes))
                return error = at(e, "answer wants INTERFACE HEX-BYTES (report id first), got '" + e.value + "'"),
                       nullptr;
            answers.push_back({static_cast<std::size_t>(iface), std::move(bytes), &e});
        } else {
            return error = at(e, "unknown key '" + e.key + "' for model table"), nullptr;
        }
    }
    if (ifaces.empty()) return error = std::to_string(section.line) + ": the device has no collection", nullptr;

    std::vector<std::map<std::uint8_t, std::uint16_t>> featureLengths(ifaces.size());
    for (std::size_t i = 0; i < ifaces.size(); ++i)
        for (const auto& c : ifaces[i])
            for (const auto& r : c.reports)
                if (r.kind == ReportSpec::Feature) featureLengths[i][r.id] = r.length;
    for (const auto& a : answers) {
        if (a.iface >= ifaces.size()) return error = at(*a.entry, "no interface " + std::to_string(a.iface)), nullptr;
        auto it = featureLengths[a.iface].find(a.bytes[0]);
        if (it == featureLengths[a.iface].end())
            return error = at(*a.entry, "interface " + std::to_string(a.iface) + " has no feature report " +
                                            std::to_string(a.bytes[0])),
                   nullptr;
        if (a.bytes.size() > it->second)
            return error = at(*a.entry, "answer of " + std::to_string(a.bytes.size()) + " bytes, feature report " +
                                            std::to_string(a.bytes[0]) + " has " + std::to_string(it->second)),
                   nullptr;
    }
    auto dev = std::make_shared<TableDevice>(usb, ifaces);
    for (std::size_t i = 0; i < ifaces.size(); ++i) {
        std::string why;
        if (!hidlink::parseReportDescriptor(dev->reportDescriptor(i), &why))
            return error = std::to_string(section.line) + ": interface " + std::to_string(i) +
                           " gives an unusable report descriptor: " + why,
                   nullptr;
    }
    for (auto& a : answers) dev->setAnswer(a.iface, std::move(a.bytes));
    return dev;
}

std::shared_ptr<VirtualDevice> makeDefaultController(platform::Clock&) {
    return std::make_shared<ControllerDevice>(ControllerConfig{});
}

}  // namespace sim
