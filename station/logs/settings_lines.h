#pragma once
// The recipe's settings as the records show them: one list of lines in the order and under the
// conditions both the result log and the detail CSV header use, each record writing it in its
// own form ("KEY                 = value" or "KEY,value").
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "station/recipe/recipe_settings.h"

namespace station {

enum class SettingKind {
    Decimal,  // "%d" (16-bit and 8-bit settings unsigned)
    Text,     // "\"%s\""
    Hex4,     // "0x%04X"
    Hex2,     // "0x%02X"
};

// The headed groups of the block: [DEVICE], [SETTING], then [WAVE] and [S/N] only when they
// hold a line.
enum class SettingGroup { Device, Setting, Wave, SerialNumber };

// Which record the block is for. They differ in one line: the detail CSV always names
// EMR_CHECK, the result log only when the pen's version is compared (EMR_CHECK 1).
enum class SettingsRecord { ResultLog, DetailCsv };

struct SettingLine {
    SettingGroup group;
    std::string_view key;
    SettingKind kind;
    std::int64_t number = 0;  // Decimal, Hex4, Hex2
    std::string text;         // Text
};

std::vector<SettingLine> settingsLines(const RecipeSettings& recipe, SettingsRecord record);

// The value as both records write it (texts in double quotes, hex with its 0x).
std::string settingValueText(const SettingLine& line);

// The whole block from "[DEVICE]" on: result log lines as "%-*s = value" (width 19), detail CSV
// lines as "KEY,value"; "\n[WAVE]\n" and "\n[S/N]\n" head their groups.
std::string settingsBlock(const RecipeSettings& recipe, SettingsRecord record);

// The result log's key column: left-aligned in 19 characters; a longer key is kept whole.
inline constexpr std::size_t kResultLogKeyWidth = 19;
std::string keyColumn(std::string_view key);

}  // namespace station
