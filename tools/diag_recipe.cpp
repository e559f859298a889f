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
#include "station/window/ui_port.h"
#include "tools/diag_commands.h"

namespace diag {

namespace {

class PrintingPort final : public station::UiPort {
public:
    void appendMessage(std::string_view text) override {
        std::fwrite(text.data(), 1, text.size(), stdout);
        std::fputc('\n', stdout);
    }
    void setPrompt(std::string_view) override {}
    void resetDisplay() override {}
    void setSuperKeyGuard(bool) override {}
};

}  // namespace

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
    PrintingPort port;
    station::RecipeEnvironment env{port, start};
    auto settings = std::make_unique<station::RecipeSettings>();
    const bool ok = station::LoadRecipe(*settings, file, env);
    if (dump) std::fputs(station::dumpRecipe(*settings).c_str(), stdout);
    return ok ? 0 : 1;
}

}  // namespace diag
