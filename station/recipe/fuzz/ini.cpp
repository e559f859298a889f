// libFuzzer target: a whole recipe load on arbitrary file content, paths based on a scratch
// folder that holds the recipe itself (so table keys may name it and read it as a CSV file).
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "station/recipe/recipe_loader.h"
#include "station/recipe/recipe_settings.h"

namespace {

std::string scratchFolder() {
    static std::string folder = [] {
        std::string pattern = (std::filesystem::temp_directory_path() / "fuzz-recipe-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) abort();
        std::filesystem::create_directories(std::filesystem::path(pattern) / "logs");
        return pattern;
    }();
    return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static auto settings = std::make_unique<station::RecipeSettings>();
    const std::string folder = scratchFolder();
    const std::string path = folder + "/recipe.ini";
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        if (size > 0) std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    *settings = station::RecipeSettings{};
    station::RecipeEnvironment env{folder};
    env.debugTrace = {};
    env.hexChecksum = [](const std::string&) -> std::optional<std::uint16_t> { return 0x1234; };
    station::LoadRecipe(*settings, path, env);
    return 0;
}
