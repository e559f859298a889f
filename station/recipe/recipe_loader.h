#pragma once
// Loading a test recipe into the station's settings record.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "station/recipe/recipe_settings.h"

namespace station {

// Largest recipe file read. Every key of a recipe with its home key lists at 255 values, both
// LUTs and a comment on each line comes to well under 100 KB; the rest is room for long notes.
inline constexpr std::size_t kMaxRecipeBytes = 1 << 20;

// Checksum of a firmware HEX image; nullopt when the file exists but is not well-formed HEX.
using HexChecksumFn = std::function<std::optional<std::uint16_t>(const std::string& path)>;

// The checksum the firmware step computes before writing (the default of RecipeEnvironment).
std::optional<std::uint16_t> firmwareImageChecksum(const std::string& path);

// The station's engineering trace channel.
void traceToStderr(std::string_view text);

// What a load needs from around it.
struct RecipeEnvironment {
    // Folder the station was started in: base of relative recipe paths.
    std::string startDirectory;
    HexChecksumFn hexChecksum = firmwareImageChecksum;
    // Engineering trace lines; empty drops them.
    std::function<void(std::string_view)> debugTrace = traceToStderr;
};

// What a load has to tell: whether the recipe loaded, and the message pane's lines (the opening,
// every fault and warning) in the order they were found. The caller shows them.
struct RecipeReport {
    bool loaded = false;
    std::vector<std::string> messages;
};

// Reads, validates and publishes a recipe. Every fault is reported before the load gives up, so
// one load lists everything wrong with a recipe. Loaded when no error was found.
RecipeReport LoadRecipe(RecipeSettings& settings, const std::string& path, const RecipeEnvironment& env);

// Reads recipe text into the settings without the checks that follow parsing, adding the faults
// to `messages`; returns the number of errors found while parsing. Exposed for the fuzzer and
// tests.
std::int64_t parseRecipeText(RecipeSettings& settings, std::string_view content, const RecipeEnvironment& env,
                             std::vector<std::string>& messages);

}  // namespace station
