// vorlick-diag recipe [--dump] FILE: loads a recipe as the station would, relative paths based
// on the current folder, and prints the message pane's lines.
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "station/recipe/recipe_dump.h"
#include "station/recipe/recipe_loader.h"
#include "station/recipe/recipe_settings.h"
#include "tools/diag_commands.h"

namespace diag {

int runRecipe(const std::vector<std::string>& args) {
    bool dump = false;
    std::string file;
    for (const auto& a : args) {
        if (a == "--dump") {
            dump = true;
        } else if (file.empty() && (a.empty() || a[0] != '-')) {
            file = a;
        } else {
            std::fprintf(stderr, "usage: vorlick-diag recipe [--dump] FILE\n");
            return 2;
        }
    }
    if (file.empty()) {
        std::fprintf(stderr, "usage: vorlick-diag recipe [--dump] FILE\n");
        return 2;
    }
    std::error_code ec;
    const std::string start = std::filesystem::current_path(ec).string();
    if (ec) {
        std::fprintf(stderr, "vorlick-diag: cannot read the current folder: %s\n", ec.message().c_str());
        return 2;
    }
    const station::RecipeEnvironment env{start};
    auto settings = std::make_unique<station::RecipeSettings>();
    const station::RecipeReport report = station::LoadRecipe(*settings, file, env);
    for (const std::string& m : report.messages) {
        std::fwrite(m.data(), 1, m.size(), stdout);
        std::fputc('\n', stdout);
    }
    if (dump) std::fputs(station::dumpRecipe(*settings).c_str(), stdout);
    return report.loaded ? 0 : 1;
}

}  // namespace diag
