#include "sim/controller_scenario.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string_view>
#include <vector>

#include "sim/bootloader_scenario.h"

namespace sim {
namespace {

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

// Decimal, or hexadecimal with 0x; the whole text must be the number.
std::optional<long long> integer(std::string_view text, long long lo, long long hi) {
    text = trim(text);
    bool negative = false;
    if (!text.empty() && text.front() == '-') {
        negative = true;
        text.remove_prefix(1);
    }
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty() || text.size() > 18) return std::nullopt;
    long long v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v, base);
    if (ec != std::errc{} || end != text.data() + text.size()) return std::nullopt;
    if (negative) v = -v;
    if (v < lo || v > hi) return std::nullopt;
    return v;
}

std::vector<std::string_view> split(std::string_view text, char sep) {
    std::vector<std::string_view> parts;
    for (;;) {
        const auto at = text.find(sep);
        parts.push_back(trim(text.substr(0, at)));
        if (at == std::string_view::npos) return parts;
        text.remove_prefix(at + 1);
    }
}

struct Parser {
    ControllerConfig& c;
    std::string problem;  // what is wrong with the value, without the line
    int line = 0;         // of the key being read

    bool fail(std::string text) {
        problem = std::move(text);
        return false;
    }

    bool number(std::string_view v, long long lo, long long hi, long long& out) {
        const auto n = integer(v, lo, hi);
        if (!n) return fail("expected a number from " + std::to_string(lo) + " to " + std::to_string(hi));
        out = *n;
        return true;
    }
    template <typename T>
    bool assign(std::string_view v, long long lo, long long hi, T& out) {
        long long n = 0;
        if (!number(v, lo, hi, n)) return false;
        out = static_cast<T>(n);
        return true;
    }
    bool word16(std::string_view v, std::uint16_t& out) { return assign(v, 0, 0xFFFF, out); }
    static bool real(std::string_view v, double lo, double hi, double& out) {
        const std::string s(trim(v));
        const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
        return !s.empty() && ec == std::errc{} && end == s.data() + s.size() && std::isfinite(out) && out >= lo &&
               out <= hi;
    }
    bool flag(std::string_view v, bool& out) {
        const std::string s = lower(trim(v));
        if (s == "yes" || s == "on" || s == "true" || s == "1") return out = true, true;
        if (s == "no" || s == "off" || s == "false" || s == "0") return out = false, true;
        return fail("expected yes or no");
    }
    bool lines(std::string_view v, int limit, std::vector<int>& out) {
        for (std::string_view part : split(v, ',')) {
            int n = 0;
            if (!assign(part, 0, limit - 1, n)) return false;
            out.push_back(n);
        }
        return true;
    }
    // One value, or several separated by commas that successive requests take in turn.
    template <typename T>
    bool cycle(std::string_view v, long long lo, long long hi, T& single, std::vector<T>& turns) {
        std::vector<T> values;
        for (std::string_view part : split(v, ',')) {
            T n{};
            if (!assign(part, lo, hi, n)) return false;
            values.push_back(n);
        }
        single = values.front();
        turns = values.size() > 1 ? std::move(values) : std::vector<T>{};
        return true;
    }
    bool cell(std::string_view v, std::vector<Cell>& out) {
        const auto parts = split(v, ',');
        if (parts.size() != 2) return fail("expected tx,rx");
        Cell cl;
        if (!assign(parts[0], 0, kMaxTx - 1, cl.tx) || !assign(parts[1], 0, kMaxRx - 1, cl.rx)) return false;
        out.push_back(cl);
        return true;
    }
    bool pinFault(std::string_view v) {
        const auto parts = split(v, ':');
        if (parts.size() != 3) return fail("expected rx:<pin>:vdd|gnd or tx:<pin>:vdd|gnd");
        PinFault f;
        const std::string side = lower(parts[0]), rail = lower(parts[2]);
        if (side != "rx" && side != "tx") return fail("pin side must be rx or tx");
        if (rail != "vdd" && rail != "gnd") return fail("pin fault must be vdd or gnd");
        f.rx = side == "rx";
        f.vdd = rail == "vdd";
        if (!assign(parts[1], 0, (f.rx ? kRxPins : kTxPins) - 1, f.pin)) return false;
        c.panel.pinFaults.push_back(f);
        return true;
    }
    bool bytes10(std::string_view v) {
        std::vector<std::string_view> parts;
        for (std::string_view p : split(v, ' '))
            if (!p.empty()) parts.push_back(p);
        if (parts.size() != c.maintenanceVersion.size())
            return fail("expected 10 bytes in hex, e.g. 02 10 00 00 00 05 00 00 00 00");
        for (std::size_t i = 0; i < parts.size(); ++i) {
            std::uint8_t b = 0;
            const auto [end, ec] = std::from_chars(parts[i].data(), parts[i].data() + parts[i].size(), b, 16);
            if (ec != std::errc{} || end != parts[i].data() + parts[i].size() || parts[i].size() > 2)
                return fail("expected 10 bytes in hex, e.g. 02 10 00 00 00 05 00 00 00 00");
            c.maintenanceVersion[i] = b;
        }
        return true;
    }
    // "set|get BYTE... [xN]": bytes in hex, the exchange refused N times (every time without xN).
    bool refusal(std::string_view v) {
        std::vector<std::string_view> parts;
        for (std::string_view part : split(v, ' '))
            if (!part.empty()) parts.push_back(part);
        const char* usage = "expected set|get, the report's first bytes in hex and optionally xN";
        if (parts.size() < 2) return fail(usage);
        RefusedExchange rule;
        const std::string kind = lower(parts[0]);
        if (kind != "set" && kind != "get") return fail(usage);
        rule.set = kind == "set";
        for (std::size_t i = 1; i < parts.size(); ++i) {
            std::string_view part = parts[i];
            if (i + 1 == parts.size() && i > 1 && (part.front() == 'x' || part.front() == 'X')) {
                if (!assign(part.substr(1), 1, 1000000, rule.times)) return false;
                break;
            }
            if (part.size() > 2 && part[0] == '0' && (part[1] == 'x' || part[1] == 'X')) part.remove_prefix(2);
            std::uint8_t b = 0;
            const auto [end, ec] = std::from_chars(part.data(), part.data() + part.size(), b, 16);
            if (ec != std::errc{} || end != part.data() + part.size() || part.size() > 2 || rule.prefix.size() >= 64)
                return fail(usage);
            rule.prefix.push_back(b);
        }
        c.refuse.push_back(std::move(rule));
        return true;
    }
    bool setCount(std::string_view v, bool rx) {
        int n = 0;
        if (!assign(v, 1, rx ? kMaxRx : kMaxTx, n)) return false;
        const auto w = c.registerWord41;
        c.registerWord41 =
            rx ? static_cast<std::uint16_t>((w & ~0x7F00) | (n << 8)) : static_cast<std::uint16_t>((w & ~0x003F) | n);
        return true;
    }
};

using Handler = std::function<bool(Parser&, std::string_view)>;

const std::map<std::string, Handler, std::less<>>& handlers() {
    static const std::map<std::string, Handler, std::less<>> table = {
        {"model",
         [](Parser& p, std::string_view v) { return trim(v) == "controller" || p.fail("this model is 'controller'"); }},
        {"generation",
         [](Parser& p, std::string_view v) {
             const std::string s = lower(trim(v));
             if (s == "r5") return p.c.generation = Generation::R5, true;
             if (s == "r6") return p.c.generation = Generation::R6, true;
             return p.fail("expected R5 or R6");
         }},
        {"touch_usage",
         [](Parser& p, std::string_view v) {
             const auto n = integer(v, 0, 0xFFFF);
             if (!n || (*n != 0x11 && *n != 0x0B && *n != 0x01)) return p.fail("expected 0x11, 0x0B or 0x01");
             p.c.touchUsage = static_cast<std::uint16_t>(*n);
             return true;
         }},
        {"usage_page",
         [](Parser& p, std::string_view v) {
             const auto n = integer(v, 0, 0xFFFF);
             if (!n || (*n != 0xFF11 && *n != 0xFF09 && *n != 0xFF00))
                 return p.fail("expected 0xFF11, 0xFF09 or 0xFF00");
             p.c.usagePage = static_cast<std::uint16_t>(*n);
             return true;
         }},
        {"vid", [](Parser& p, std::string_view v) { return p.word16(v, p.c.vendorId); }},
        {"pid", [](Parser& p, std::string_view v) { return p.word16(v, p.c.productId); }},
        {"version", [](Parser& p, std::string_view v) { return p.word16(v, p.c.version); }},
        {"touch_fw_major", [](Parser& p, std::string_view v) { return p.word16(v, p.c.touchFirmwareMajor); }},
        {"touch_fw_minor", [](Parser& p, std::string_view v) { return p.assign(v, 0, 0xFF, p.c.touchFirmwareMinor); }},
        {"pen_max_x", [](Parser& p, std::string_view v) { return p.word16(v, p.c.penMaxX); }},
        {"pen_max_y", [](Parser& p, std::string_view v) { return p.word16(v, p.c.penMaxY); }},
        {"pen_max_pressure", [](Parser& p, std::string_view v) { return p.word16(v, p.c.penMaxPressure); }},
        {"pen_fw", [](Parser& p, std::string_view v) { return p.word16(v, p.c.penFirmware); }},
        {"mnt_version", [](Parser& p, std::string_view v) { return p.bytes10(v); }},
        {"rx_count", [](Parser& p, std::string_view v) { return p.setCount(v, true); }},
        {"tx_count", [](Parser& p, std::string_view v) { return p.setCount(v, false); }},
        {"touch_max_x", [](Parser& p, std::string_view v) { return p.word16(v, p.c.touchMaxX); }},
        {"touch_max_y", [](Parser& p, std::string_view v) { return p.word16(v, p.c.touchMaxY); }},
        {"seed", [](Parser& p, std::string_view v) { return p.assign(v, 0, 0xFFFFFFFFLL, p.c.panel.seed); }},
        {"noise",
         [](Parser& p, std::string_view v) {
             double d = 0;
             return (Parser::real(v, 0, 1000, d) && (p.c.panel.noiseSigma = d, true)) ||
                    p.fail("expected a sigma from 0 to 1000 counts");
         }},
        {"reset_delay_ms", [](Parser& p, std::string_view v) { return p.assign(v, 0, 600000, p.c.resetDelayMs); }},
        {"report_type_delay_ms",
         [](Parser& p, std::string_view v) { return p.assign(v, 0, 600000, p.c.reportTypeDelayMs); }},
        {"stuck_in_normal", [](Parser& p, std::string_view v) { return p.flag(v, p.c.stuckInNormalMode); }},
        {"tkp_line_reports", [](Parser& p, std::string_view v) { return p.flag(v, p.c.tkpLineReports); }},
        {"touch_scan_ms",
         [](Parser& p, std::string_view v) {
             if (lower(trim(v)) == "never") return p.c.touchScanAfterMs = -1, true;
             return p.assign(v, 0, 600000, p.c.touchScanAfterMs);
         }},
        {"hsync",
         [](Parser& p, std::string_view v) {
             const std::string s = lower(trim(v));
             if (s == "none") return p.c.hsync = HsyncMcu::None, true;
             if (s == "present") return p.c.hsync = HsyncMcu::Present, true;
             if (s == "old") return p.c.hsync = HsyncMcu::OldFirmware, true;
             return p.fail("expected none, present or old");
         }},
        {"hsync_pid", [](Parser& p, std::string_view v) { return p.word16(v, p.c.hsyncProductId); }},
        {"hsync_version", [](Parser& p, std::string_view v) { return p.word16(v, p.c.hsyncVersion); }},
        {"hsync_sample",
         [](Parser& p, std::string_view v) { return p.cycle(v, 0, 0xFFFF, p.c.hsyncSample, p.c.hsyncSampleCycle); }},
        {"hsync_noise",
         [](Parser& p, std::string_view v) { return p.cycle(v, -32768, 32767, p.c.hsyncNoise, p.c.hsyncNoiseCycle); }},
        {"hsync_nak", [](Parser& p, std::string_view v) { return p.assign(v, 0, 1000000, p.c.hsyncNak); }},
        {"hsync_delay_ms",
         [](Parser& p, std::string_view v) { return p.assign(v, 0, 600000, p.c.hsyncAnswerDelayMs); }},
        {"hsync_signal", [](Parser& p, std::string_view v) { return p.flag(v, p.c.hsyncSignal); }},
        {"hsync_program_exit", [](Parser& p, std::string_view v) { return p.assign(v, 0, 255, p.c.hsyncProgramExit); }},
        {"open_tx", [](Parser& p, std::string_view v) { return p.lines(v, kMaxTx, p.c.panel.openTx); }},
        {"open_rx", [](Parser& p, std::string_view v) { return p.lines(v, kMaxRx, p.c.panel.openRx); }},
        {"short", [](Parser& p, std::string_view v) { return p.cell(v, p.c.panel.shorts); }},
        {"dead", [](Parser& p, std::string_view v) { return p.cell(v, p.c.panel.dead); }},
        {"noisy", [](Parser& p, std::string_view v) { return p.cell(v, p.c.panel.noisy); }},
        {"pin_fault", [](Parser& p, std::string_view v) { return p.pinFault(v); }},
        {"zero_frames", [](Parser& p, std::string_view v) { return p.assign(v, 0, 1000000, p.c.zeroFrames); }},
        {"break_echo", [](Parser& p, std::string_view v) { return p.assign(v, 0, 1000000, p.c.breakEcho); }},
        {"break_indices", [](Parser& p, std::string_view v) { return p.assign(v, 0, 1000000, p.c.breakIndices); }},
        {"refuse", [](Parser& p, std::string_view v) { return p.refusal(v); }},
        {"hk_pins", [](Parser& p, std::string_view v) { return p.assign(v, 1, 7, p.c.homeKeyPins); }},
        {"hk_base", [](Parser& p, std::string_view v) { return p.assign(v, 0, 1000000000, p.c.homeKeyBase); }},
        {"hk_level", [](Parser& p, std::string_view v) { return p.assign(v, 0, 1000000000, p.c.homeKeyLevel); }},
        {"hk_noise",
         [](Parser& p, std::string_view v) {
             double d = 0;
             return (Parser::real(v, 0, 1000, d) && (p.c.homeKeyNoise = d, true)) ||
                    p.fail("expected a sigma from 0 to 1000 counts");
         }},
        {"hk_weak_pin", [](Parser& p, std::string_view v) { return p.assign(v, 0, 6, p.c.homeKeyWeakPin); }},
        {"hk_weak_rise", [](Parser& p, std::string_view v) { return p.assign(v, 0, 100, p.c.homeKeyWeakPercent); }},
        {"tkp_noise", [](Parser& p, std::string_view v) { return p.assign(v, 0, 4095, p.c.tkpNoise); }},
        {"tkp_signal", [](Parser& p, std::string_view v) { return p.assign(v, 0, 4095, p.c.tkpSignal); }},
        {"tkp_noisy_x", [](Parser& p, std::string_view v) { return p.assign(v, 0, 71, p.c.tkpNoisyX); }},
        {"tkp_noisy_level", [](Parser& p, std::string_view v) { return p.assign(v, 0, 4095, p.c.tkpNoisyLevel); }},
        {"tkp_sigma",
         [](Parser& p, std::string_view v) {
             double d = 0;
             return (Parser::real(v, 0, 1000, d) && (p.c.tkpNoiseSigma = d, true)) ||
                    p.fail("expected a sigma from 0 to 1000 counts");
         }},
        {"operator",
         [](Parser& p, std::string_view v) {
             std::string why;
             return parseOperatorLine(v, p.line, p.c.operatorScript, why) || p.fail(why);
         }},
    };
    return table;
}

}  // namespace

bool controllerConfigFromSection(const ScenarioSection& section, ControllerConfig& config, std::string& error) {
    Parser p{config, {}};
    for (const ScenarioEntry& e : section.entries) {
        if (const auto problem = applyBootloaderKey(config.bootloader, e.key, e.value)) {
            if (problem->empty()) continue;
            error = std::to_string(e.line) + ": bad value '" + e.value + "' for " + e.key + ": " + *problem;
            return false;
        }
        const auto it = handlers().find(e.key);
        if (it == handlers().end()) {
            error = std::to_string(e.line) + ": unknown key '" + e.key + "' for model controller";
            return false;
        }
        p.line = e.line;
        if (!it->second(p, e.value)) {
            error = e.key == "operator"
                        ? std::to_string(e.line) + ": operator: " + p.problem
                        : std::to_string(e.line) + ": bad value '" + e.value + "' for " + e.key + ": " + p.problem;
            return false;
        }
    }
    // The station decodes as many contact slots per touch report as the version announces.
    const std::uint8_t format = config.maintenanceVersion[4];
    if (maintenanceSlotsPerReport(format, 0xFF) < config.maintenanceVersion[5]) {
        int line = section.line;
        for (const ScenarioEntry& e : section.entries)
            if (e.key == "mnt_version") line = e.line;
        error = std::to_string(line) + ": bad value for mnt_version: at most " +
                std::to_string(maintenanceSlotsPerReport(format, 0xFF)) +
                " contact slots fit a touch report of format " + std::to_string(format);
        return false;
    }
    // An R6 pen query carries its firmware in one byte.
    if (config.generation == Generation::R6 && config.penFirmware > 0xFF) {
        int line = section.line;
        for (const ScenarioEntry& e : section.entries)
            if (e.key == "pen_fw") line = e.line;
        error = std::to_string(line) + ": bad value for pen_fw: an R6 pen query reports 0 to 255";
        return false;
    }
    // Short frames are F09's, on a controller behind an I2C bridge.
    const BootloaderKind ubl = config.bootloader.kind != BootloaderKind::Auto ? config.bootloader.kind
                               : config.generation == Generation::R6          ? BootloaderKind::F11
                                                                              : BootloaderKind::F09;
    if (config.touchUsage == 0x01 && ubl != BootloaderKind::F09) {
        error = std::to_string(section.line) + ": touch_usage 0x01 needs the F09 bootloader";
        return false;
    }
    // The writer looks for an F09 bootloader on pages 0xFF09 and 0xFF00 only.
    const std::uint16_t page = config.usagePage != 0                 ? config.usagePage
                               : config.generation == Generation::R6 ? 0xFF11
                                                                     : 0xFF09;
    if (ubl == BootloaderKind::F09 && page == 0xFF11) {
        error = std::to_string(section.line) + ": the F09 bootloader needs usage page 0xFF09 or 0xFF00";
        return false;
    }
    return true;
}

std::shared_ptr<VirtualDevice> makeControllerFromSection(const ScenarioSection& section, platform::Clock& clock,
                                                         std::string& error) {
    (void)clock;  // the device reads the time of the bus it is plugged into
    ControllerConfig config;
    if (!controllerConfigFromSection(section, config, error)) return nullptr;
    return std::make_shared<ControllerDevice>(std::move(config));
}

}  // namespace sim
