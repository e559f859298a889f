#include "sim/bootloader_scenario.h"

#include <cstdint>
#include <sstream>
#include <vector>

#include "sim/scenario_models.h"

namespace sim {
namespace {

std::vector<std::string> words(std::string_view text) {
    std::vector<std::string> out;
    std::istringstream in{std::string(text)};
    for (std::string w; in >> w;) out.push_back(w);
    return out;
}

std::string lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

template <typename T>
bool number(const std::string& text, std::uint64_t max, T& out) {
    std::uint64_t v = 0;
    if (!parseScenarioNumber(text, max, v)) return false;
    out = static_cast<T>(v);
    return true;
}

// "N [TIMES]", "CODE [TIMES]" or "N STATUS [TIMES]": a fault at a block or a command.
std::string fault(BootloaderConfig& c, BootloaderFault::What what, bool atBlock, std::string_view value) {
    const auto w = words(value);
    const bool withStatus = what == BootloaderFault::What::Status;
    const bool repeatable = what != BootloaderFault::What::Unplug;
    const std::size_t fixed = withStatus ? 2 : 1;
    const std::string shape =
        std::string(atBlock ? "BLOCK" : "COMMAND") + (withStatus ? " STATUS" : "") + (repeatable ? " [TIMES]" : "");
    if (w.size() < fixed || w.size() > fixed + (repeatable ? 1 : 0)) return "expected " + shape;
    BootloaderFault f;
    f.what = what;
    f.atBlock = atBlock;
    if (atBlock ? !number(w[0], 0x2C000, f.block) : !number(w[0], 0xFF, f.command))
        return atBlock ? "the block is an index from 0 to 180224" : "the command is a code from 0 to 0xFF";
    if (withStatus && (!number(w[1], 0xFF, f.status) || f.status == ublstatus::kDone || f.status == ublstatus::kBusy))
        return "the status is a code from 1 to 0xFF other than 0x80";
    if (w.size() > fixed && !number(w[fixed], 1000000, f.times)) return "TIMES is 0 (every time) to 1000000";
    c.faults.push_back(f);
    return {};
}

}  // namespace

std::optional<std::string> applyBootloaderKey(BootloaderConfig& c, std::string_view key, std::string_view value) {
    using What = BootloaderFault::What;
    const auto w = words(value);
    const std::string one = w.size() == 1 ? w[0] : std::string();
    auto byte = [&](std::uint8_t& out) -> std::string {
        return number(one, 0xFF, out) ? std::string() : "expected a number from 0 to 0xFF";
    };
    auto count = [&](auto& out, std::uint64_t max) -> std::string {
        return number(one, max, out) ? std::string() : "expected a number from 0 to " + std::to_string(max);
    };
    auto flag = [&](bool& out) -> std::string {
        const std::string s = lower(one);
        if (s == "yes" || s == "on" || s == "true" || s == "1") return out = true, std::string();
        if (s == "no" || s == "off" || s == "false" || s == "0") return out = false, std::string();
        return "expected yes or no";
    };

    if (key == "bootloader") {
        const std::string s = lower(one);
        if (s == "f11") return c.kind = BootloaderKind::F11, std::string();
        if (s == "f09") return c.kind = BootloaderKind::F09, std::string();
        if (s == "none") return c.kind = BootloaderKind::None, std::string();
        return "expected f11, f09 or none";
    }
    if (key == "ubl_pid") return count(c.productId, 0xFFFF);
    if (key == "ubl_usage") {
        std::uint16_t u = 0;
        if (!number(one, 0xFFFF, u) || (u != 0x11 && u != 0x01 && u != 0x0B)) return "expected 0x11, 0x01 or 0x0B";
        c.usage = u;
        return std::string();
    }
    if (key == "ubl_version") return byte(c.version);
    if (key == "ubl_mpu_type") return byte(c.mpuType);
    if (key == "ubl_security") return byte(c.security);
    if (key == "ubl_erase_busy_polls") return count(c.eraseBusyPolls, 1000000);
    if (key == "ubl_block_busy_polls") return count(c.blockBusyPolls, 1000000);
    if (key == "ubl_erase_status") return byte(c.eraseStatus);
    if (key == "ubl_confirm_status") return byte(c.confirmStatus);
    if (key == "ubl_write_protect_error") return flag(c.writeProtectError);
    if (key == "start_in_ubl") return flag(c.startInBootloader);
    if (key == "ubl_version_address") return count(c.versionAddress, 0xFFFFFFFF);
    if (key == "ubl_refuse_set") return count(c.refuseSet, UINT64_MAX);
    if (key == "ubl_refuse_get") return count(c.refuseGet, UINT64_MAX);
    if (key == "ubl_busy_at_block") return fault(c, What::BusyForever, true, value);
    if (key == "ubl_busy_at_command") return fault(c, What::BusyForever, false, value);
    if (key == "ubl_break_echo_at_block") return fault(c, What::BreakEcho, true, value);
    if (key == "ubl_break_echo_at_command") return fault(c, What::BreakEcho, false, value);
    if (key == "ubl_status_at_block") return fault(c, What::Status, true, value);
    if (key == "ubl_status_at_command") return fault(c, What::Status, false, value);
    if (key == "ubl_unplug_at_block") return fault(c, What::Unplug, true, value);
    if (key == "ubl_unplug_at_command") return fault(c, What::Unplug, false, value);
    return std::nullopt;
}

}  // namespace sim
