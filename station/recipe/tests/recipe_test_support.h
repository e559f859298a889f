#pragma once
// Shared fixture pieces for the recipe tests: a message-recording UI port and a scratch folder.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "station/window/ui_port.h"

namespace station::test {

class RecordingPort final : public UiPort {
  public:
    void appendMessage(std::string_view text) override { messages.emplace_back(text); }
    void setPrompt(std::string_view) override {}
    void resetDisplay() override { ++resets; }
    void setSuperKeyGuard(bool on) override { guardCalls.push_back(on); }

    std::vector<std::string> messages;
    std::vector<bool> guardCalls;
    int resets = 0;
};

// A fresh folder under the system's temporary folder, removed with the object.
class ScratchDir {
  public:
    ScratchDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "vorlick-recipe-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) std::abort();
        path_ = std::filesystem::canonical(pattern);
    }
    ~ScratchDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::string str() const { return path_.string(); }

    // Writes `content` to a file below the folder (creating sub-folders) and returns its path.
    std::string write(const std::string& name, std::string_view content) const {
        const auto p = path_ / name;
        std::filesystem::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary) << content;
        return p.string();
    }

  private:
    std::filesystem::path path_;
};

}  // namespace station::test
