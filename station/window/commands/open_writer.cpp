#include "station/window/commands/open_writer.h"

#include <algorithm>

#include "platform/processes.h"
#include "station/recipe/recipe_paths.h"

namespace station {
namespace {

class SystemWriterProcesses final : public WriterProcesses {
public:
    std::vector<std::string> runningModulePaths() override { return platform::runningModulePaths(); }
    bool startDetached(const std::string& path) override { return !platform::startDetached(path).failed(); }
};

std::string fileName(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

OpenWriterResult openWriter(Station& s, WriterProcesses& processes) {
    if (!s.recipe.recipeLoaded) {
        s.ui.showErrorBox("Read Ini file.");
        return OpenWriterResult::NoRecipe;
    }
    if (s.recipe.ROMWRITE_PATH.empty()) {
        s.ui.showErrorBox("Key 'ROMWRITE_PATH' is empty.");
        return OpenWriterResult::PathEmpty;
    }
    // The loaded recipe stays as it was read; the menu only needs to know where the writer is
    // now. A failure also leaves its "does not exist" line in the message pane, as a load does.
    std::string path = s.recipe.ROMWRITE_PATH;
    std::vector<std::string> messages;
    const bool found = ResolveRecipePath(path, "ROMWRITE_PATH", PathKind::File, s.startDirectory, messages);
    for (const std::string& m : messages) s.ui.appendMessage(m);
    if (!found) {
        s.ui.showErrorBox("Not found application.\n" + path);
        return OpenWriterResult::NotFound;
    }
    // A resolved path names a file, so its name is never empty.
    const std::string name = fileName(path);
    const std::vector<std::string> running = processes.runningModulePaths();
    if (std::any_of(running.begin(), running.end(),
                    [&](const std::string& module) { return module.find(name) != std::string::npos; }))
        return OpenWriterResult::AlreadyRunning;
    return processes.startDetached(path) ? OpenWriterResult::Started : OpenWriterResult::StartFailed;
}

WriterProcesses& systemWriterProcesses() {
    static SystemWriterProcesses processes;
    return processes;
}

}  // namespace station
