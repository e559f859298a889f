#include "station/recipe/recipe_dump.h"

#include <charconv>
#include <cstdio>
#include <span>
#include <string_view>

#include "station/recipe/recipe_keys.h"

namespace station {

namespace {

std::string format(const char* fmt, auto... args) {
    char buf[64];
    std::snprintf(buf, sizeof buf, fmt, args...);
    return buf;
}

std::string hex4(unsigned v) { return format("0x%04X", v); }

// Shortest text that reads back to the same float, with a decimal point in any desk language.
std::string realText(float v) {
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

template <typename T>
std::string joinValues(std::span<const T> values) {
    std::string out;
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i) out += ',';
        out += std::to_string(values[i]);
    }
    return out;
}

std::string noiseThresholds(const RecipeSettings& s) {
    std::string out;
    auto add = [&out](char axis, std::span<const std::int32_t> table) {
        for (std::size_t i = 0; i < table.size(); ++i) {
            if (table[i] == 0) continue;
            if (!out.empty()) out += ',';
            out += axis;
            out += ',' + std::to_string(i) + ',' + std::to_string(table[i]);
        }
    };
    add('x', s.TKP_NOISE_THRE_SP_X);
    add('y', s.TKP_NOISE_THRE_SP_Y);
    return out;
}

std::string homeKeyList(const HomeKeyList& list) {
    std::string out;
    for (std::int32_t i = 0; i < list.count; ++i) {
        if (i) out += ',';
        // Positions past the stored slots were never kept; they only keep the count.
        out += std::to_string(i < kHomeKeyMaxPins ? list.values[static_cast<std::size_t>(i)] : 0);
    }
    return out;
}

// The value text of one key, or false when the key is left out of the dump.
bool valueText(const RecipeSettings& s, const KeySpec& k, std::string& out) {
    auto i32 = [&] { return s.*std::get<std::int32_t RecipeSettings::*>(k.field); };
    switch (k.kind) {
        case KeyKind::Dec:
        case KeyKind::Flag:
        case KeyKind::DecMax2:
        case KeyKind::DecAbove1:
        case KeyKind::Dec0To31:
        case KeyKind::DecMin1:
            out = std::to_string(i32());
            return true;
        case KeyKind::StartTrigger:
            out = std::to_string(static_cast<std::int32_t>(s.*std::get<StartTrigger RecipeSettings::*>(k.field)));
            return true;
        case KeyKind::Dec16:
            out = std::to_string(s.*std::get<std::uint16_t RecipeSettings::*>(k.field));
            return true;
        case KeyKind::Byte:
            out = std::to_string(s.*std::get<std::uint8_t RecipeSettings::*>(k.field));
            return true;
        case KeyKind::Num: {
            const std::int32_t v = i32();
            out = v >= 0 ? hex4(static_cast<unsigned>(v)) : std::to_string(v);
            return true;
        }
        case KeyKind::Num16:
            out = hex4(s.*std::get<std::uint16_t RecipeSettings::*>(k.field));
            return true;
        case KeyKind::Real:
            out = realText(s.*std::get<float RecipeSettings::*>(k.field));
            return true;
        case KeyKind::Text:
        case KeyKind::Path:
            out = s.*std::get<std::string RecipeSettings::*>(k.field);
            return true;
        case KeyKind::SerialPattern:
            out = s.SN_STRING;
            return s.snPatternGiven;
        case KeyKind::Cpu:
            out = s.CPU == kCpuR5 ? "R5" : "R6";
            return true;
        case KeyKind::DrawBit:
            out = (s.drawDisableMask & k.bit) != 0 ? "1" : "0";
            return true;
        case KeyKind::Tps:
            out = std::to_string(s.TIPC_TPS);
            return true;
        case KeyKind::IgnoreLines:
            out = joinValues<std::int32_t>(s.CALTH_IGNORELINE);
            return true;
        case KeyKind::NoiseThresholds:
            out = noiseThresholds(s);
            return !out.empty();
        case KeyKind::HomeKeyList: {
            const HomeKeyList& list = s.*std::get<HomeKeyList RecipeSettings::*>(k.field);
            out = homeKeyList(list);
            return list.count > 0;
        }
        case KeyKind::Alias:
            return false;
    }
    return false;
}

void lutSection(std::string& out, std::string_view header, std::span<const std::uint16_t> table) {
    out += header;
    out += '\n';
    for (std::size_t i = 0; i < table.size(); ++i) {
        out += hex4(table[i]);
        out += (i % 8 == 7 || i + 1 == table.size()) ? "\n" : ", ";
    }
}

bool anyNonZero(std::span<const std::uint16_t> table) {
    for (auto v : table)
        if (v != 0) return true;
    return false;
}

}  // namespace

std::string dumpRecipe(const RecipeSettings& s) {
    static constexpr std::pair<DumpSection, std::string_view> kSections[] = {
        {DumpSection::Device, "[DEVICE]"},    {DumpSection::Setting, "[SETTING]"},     {DumpSection::Wave, "[WAVE]"},
        {DumpSection::SerialNumber, "[S/N]"}, {DumpSection::Extra, "[EXTRA_SETTING]"},
    };
    std::string out;
    std::string value;
    for (const auto& [section, header] : kSections) {
        out += header;
        out += '\n';
        for (const KeySpec& k : recipeKeys()) {
            if (k.section != section || !valueText(s, k, value)) continue;
            out += k.key;
            out += '=';
            out += value;
            out += '\n';
        }
    }
    // A table the recipe did not give stays out, so the controller keeps its own.
    if (s.xlutGiven || anyNonZero(s.XLUT)) lutSection(out, "[XLUT]", s.XLUT);
    if (s.ylutGiven || anyNonZero(s.YLUT)) lutSection(out, "[YLUT]", s.YLUT);
    return out;
}

}  // namespace station
