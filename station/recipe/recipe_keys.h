#pragma once
// Every recipe key: where it may stand, how its value is read and which field it sets. The
// loader and the dump share this table, so a dumped recipe reads back into the same settings.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "station/recipe/recipe_settings.h"

namespace station {

// Sections a key is recognised in. Every header other than [XLUT], [YLUT], [S/N] and
// [EXTRA_SETTING] opens the general section; the dump groups general keys under the
// usual [DEVICE], [SETTING] and [WAVE] headers.
enum class DumpSection { Device, Setting, Wave, SerialNumber, Extra };

enum class KeyKind {
    Dec,              // atoi of the raw value
    Dec16,            // atoi, low 16 bits
    Flag,             // atoi, non-zero stored as 1
    Byte,             // atoi of the clean value, low 8 bits
    Num,              // strtol base 0 of the clean value
    Num16,            // strtol, low 16 bits
    Real,             // atof of the clean value
    Text,             // clean value
    Path,             // clean value, resolved at the end of the load when needed
    DecMax2,          // EMR_CHECK: above 2 stored as 2
    DecAbove1,        // TKP_NOISE_CHECK_COUNT: 1 or less ignored
    Dec0To31,         // TKP noise gains
    DecMin1,          // HK_AVE_WINDOW
    StartTrigger,     // START_TRG: 6 and above rejected with a line error
    Cpu,              // "R5" / "R6"
    DrawBit,          // a DRAW_DISABLE bit; 0 leaves it unchanged
    Tps,              // TIPC_TPS: low 8 bits, marks tpsGiven
    IgnoreLines,      // CALTH_IGNORELINE
    NoiseThresholds,  // TKP_NOISE_THRE_SP triples
    HomeKeyList,      // HK_REMOVE, HK_REMOVE_LOW, HK_TOUCH
    SerialPattern,    // S/N_STRING, marks snPatternGiven
    Alias,            // GAP_HORIZONTAL: second name of GAP_CHECK, not dumped
};

using FieldRef = std::variant<std::monostate, std::int32_t RecipeSettings::*, std::uint16_t RecipeSettings::*,
                              std::uint8_t RecipeSettings::*, float RecipeSettings::*, StartTrigger RecipeSettings::*,
                              std::string RecipeSettings::*, HomeKeyList RecipeSettings::*>;

struct KeySpec {
    std::string_view key;
    DumpSection section;
    KeyKind kind;
    FieldRef field;
    std::uint32_t bit = 0;  // DrawBit only
};

std::span<const KeySpec> recipeKeys();

}  // namespace station
