#include "station/logs/settings_lines.h"

#include <cstdio>
#include <optional>

namespace station {

namespace {

class LineList {
public:
    explicit LineList(std::vector<SettingLine>& out) : out_(out) {}

    void group(SettingGroup g) { group_ = g; }
    void number(std::string_view key, SettingKind kind, std::int64_t value) {
        out_.push_back(SettingLine{group_, key, kind, value, {}});
    }
    void decimal(std::string_view key, std::int64_t value) { number(key, SettingKind::Decimal, value); }
    void text(std::string_view key, const std::string& value) {
        out_.push_back(SettingLine{group_, key, SettingKind::Text, 0, value});
    }

private:
    std::vector<SettingLine>& out_;
    SettingGroup group_ = SettingGroup::Device;
};

// "0x%04X" of a 32-bit field prints its unsigned 32-bit value, as the C format does.
std::int64_t hexValue(std::int32_t v) { return static_cast<std::uint32_t>(v); }

std::string hexText(const char* format, std::int64_t value) {
    char buf[24];
    std::snprintf(buf, sizeof buf, format, static_cast<unsigned long long>(value));
    return buf;
}

}  // namespace

std::vector<SettingLine> settingsLines(const RecipeSettings& r, SettingsRecord record) {
    std::vector<SettingLine> lines;
    LineList l(lines);
    using K = SettingKind;

    l.group(SettingGroup::Device);
    l.number("VID", K::Hex4, hexValue(r.VID));
    l.number("PID", K::Hex4, hexValue(r.PID));
    l.number("USAGEPAGE", K::Hex4, hexValue(r.USAGEPAGE));
    l.number("USAGE", K::Hex4, hexValue(r.USAGE));

    l.group(SettingGroup::Setting);
    l.text("TITLE", r.TITLE);
    l.text("LOG_DIR", r.LOG_DIR);
    l.text("LOG_FILE", r.LOG_FILE);
    l.decimal("WRITE_FW", r.WRITE_FW);
    if (r.WRITE_FW != 0) {
        l.text("ROMWRITE_PATH", r.ROMWRITE_PATH);
        l.text("HEX_FILE", r.HEX_FILE);
        l.number("CHECKSUM", K::Hex4, r.CHECKSUM);
    }
    if (r.WRITE_HSYNC_FW != 0) {
        l.decimal("WRITE_HSYNC_FW", r.WRITE_HSYNC_FW);
        l.text("RL78PROG_PATH", r.RL78PROG_PATH);
        l.text("HSYNC_HEX_FILE", r.HSYNC_HEX_FILE);
    }
    l.decimal("COMPARE_FWVER", r.COMPARE_FWVER);
    if (r.COMPARE_FWVER != 0) {
        l.number("FWVER_MAJOR", K::Hex4, r.FWVER_MAJOR);
        l.number("FWVER_MINOR", K::Hex2, r.FWVER_MINOR);
    }
    l.decimal("SHORT_CHECK", r.SHORT_CHECK);
    if (r.SHORT_CHECK != 0) {
        l.decimal("WAIT_TIME", r.WAIT_TIME);
        l.decimal("SHORT_THRESHOLD", r.SHORT_THRESHOLD);
    }
    l.decimal("RAW_CHECK", r.RAW_CHECK);
    if (r.RAW_CHECK != 0) {
        l.decimal("DATA_COUNT", r.DATA_COUNT);
        l.text("REFERENCE_CSV", r.REFERENCE_CSV);
        l.text("THRESHOLD_CSV", r.THRESHOLD_CSV);
        l.decimal("CAL_THRESHOLD", r.CAL_THRESHOLD);
        if (r.DB_THRESHOLD != 0) {
            l.decimal("DB_THRESHOLD", r.DB_THRESHOLD);
            l.decimal("DB_COUNT", r.DB_COUNT);
        }
    }
    if (r.GAP_CHECK != 0) {
        if (!r.GAP_CSV.empty()) l.text("GAP_CSV", r.GAP_CSV);
        l.decimal("GAP_LOG_ONLY", r.GAP_LOG_ONLY);
        l.decimal("GAP_HORIZONTAL", r.GAP_CHECK);  // one field under both names
        l.decimal("GAP_VERTICAL", r.GAP_VERTICAL);
        l.decimal("GAP_COUNT", r.GAP_COUNT);
    }
    l.decimal("DRAWING_CHECK", r.DRAWING_CHECK);
    l.decimal("TKP_CHECK", r.TKP_CHECK);
    l.decimal("SCAN_CHECK", r.SCAN_CHECK);
    l.decimal("HOMEKEY_CHECK", r.HOMEKEY_CHECK);
    if (r.EMR_CHECK == 1 || record == SettingsRecord::DetailCsv) l.decimal("EMR_CHECK", r.EMR_CHECK);
    if (r.EMR_CHECK == 1) l.decimal("EMR_FWVER", r.EMR_FWVER);
    l.decimal("HSYNC_INFO", r.HSYNC_INFO);
    l.decimal("HSYNC_CHECK", r.HSYNC_CHECK);
    if (r.HSYNC_VER != 0) l.number("HSYNC_VER", K::Hex4, r.HSYNC_VER);
    if (r.HSYNC_PID != 0) l.number("HSYNC_PID", K::Hex4, hexValue(r.HSYNC_PID));
    if (r.HSYNC_MEASURING != 0) {
        l.decimal("HSYNC_MEASURING", r.HSYNC_MEASURING);
        l.decimal("HSYNC_MEAS_MIN", r.HSYNC_MEAS_MIN);
        l.decimal("HSYNC_MEAS_MAX", r.HSYNC_MEAS_MAX);
        l.decimal("HSYNC_MEAS_COUNT", r.HSYNC_MEAS_COUNT);
        l.decimal("HSYNC_MEAS_THRESHOLD", r.HSYNC_MEAS_THRESHOLD);
    }
    if (r.EXT_SWITCH_CHECK != 0) l.decimal("EXT_SWITCH_CHECK", r.EXT_SWITCH_CHECK);
    if (r.POST_PROCESS_ENABLE != 0) {
        l.decimal("POST_PROCESS_ENABLE", r.POST_PROCESS_ENABLE);
        l.text("POST_PROCESS_PATH", r.POST_PROCESS_PATH);
    }

    l.group(SettingGroup::Wave);
    if (r.TXE != 0) l.decimal("TXE", r.TXE);
    if (r.TXW != 0) l.decimal("TXW", r.TXW);
    if (r.SHW != 0) l.decimal("SHW", r.SHW);

    l.group(SettingGroup::SerialNumber);
    if (r.snPatternGiven) {
        l.text("S/N_STRING", r.SN_STRING);
        l.decimal("S/N_MIN", r.SN_MIN);
        l.decimal("S/N_NUM", r.SN_NUM);
    }
    return lines;
}

std::string settingValueText(const SettingLine& line) {
    switch (line.kind) {
        case SettingKind::Decimal:
            return std::to_string(line.number);
        case SettingKind::Text:
            return '"' + line.text + '"';
        case SettingKind::Hex4:
            return hexText("0x%04llX", line.number);
        case SettingKind::Hex2:
            return hexText("0x%02llX", line.number);
    }
    return {};
}

std::string keyColumn(std::string_view key) {
    std::string out(key);
    if (out.size() < kResultLogKeyWidth) out.append(kResultLogKeyWidth - out.size(), ' ');
    return out;
}

std::string settingsBlock(const RecipeSettings& recipe, SettingsRecord record) {
    static constexpr std::string_view kHeadings[] = {"[DEVICE]\n", "[SETTING]\n", "\n[WAVE]\n", "\n[S/N]\n"};
    std::string out;
    // A group is headed by its first line: [DEVICE] and [SETTING] always have lines, [WAVE] and
    // [S/N] only when the recipe gives them.
    std::optional<SettingGroup> current;
    for (const SettingLine& line : settingsLines(recipe, record)) {
        if (line.group != current) {
            out += kHeadings[static_cast<std::size_t>(line.group)];
            current = line.group;
        }
        if (record == SettingsRecord::ResultLog) {
            out += keyColumn(line.key);
            out += " = ";
        } else {
            out += line.key;
            out += ',';
        }
        out += settingValueText(line);
        out += '\n';
    }
    return out;
}

}  // namespace station
