#include "station/sequence/post_process.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <future>

#include "platform/clock.h"
#include "station/recipe/recipe_settings.h"
#include "station/sequence/check_record.h"
#include "station/sequence/firmware_steps.h"
#include "station/sequence/ui_port.h"

namespace station {
namespace {

constexpr std::uint32_t kFirstLookMs = 10;
constexpr int kLookMs = 10;

std::string hex4(int code) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%04X", static_cast<unsigned>(code) & 0xFFFFu);
    return text;
}

}  // namespace

std::vector<std::string> splitCommandLine(std::string_view line) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    bool quoted = false;
    for (const char c : line) {
        if (c == '"') {
            quoted = !quoted;
            inWord = true;
        } else if (!quoted && (c == ' ' || c == '\t')) {
            if (inWord) words.push_back(std::move(word));
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord) words.push_back(std::move(word));
    return words;
}

std::vector<std::string> commandLineWords(std::string_view line, const std::string& workDir) {
    const std::size_t first = line.find_first_not_of(" \t");
    if (first == std::string_view::npos || line[first] == '"') return splitCommandLine(line);
    line = line.substr(first, line.find_last_not_of(" \t") + 1 - first);
    // Each blank ends a candidate, and so does the end of the line.
    std::size_t end = 0;
    while (end < line.size()) {
        end = std::min(line.find_first_of(" \t", end + 1), line.size());
        const std::filesystem::path program(line.substr(0, end));
        std::error_code ec;
        if (std::filesystem::is_regular_file(program.is_absolute() ? program : workDir / program, ec)) {
            std::vector<std::string> words{program.string()};
            for (std::string& w : splitCommandLine(line.substr(end))) words.push_back(std::move(w));
            return words;
        }
    }
    return splitCommandLine(line);
}

RunnerOutcome PostProcess::run(CheckContext& check, const std::string& workDir) {
    UiPort& ui = check.ui;
    const std::string& path = check.recipe.POST_PROCESS_PATH;
    ui.appendMessage("Post-Process...");
    check.record.postProcessExitCode.reset();
    const std::vector<std::string> argv = commandLineWords(path, workDir);
    if (argv.empty()) {
        ui.appendMessage("Failed to start post-process (Error code: " + hex4(ENOENT) + ") " + path);
        return {true, {}};
    }
    // The program runs on a thread of its own while this one keeps the front end answering,
    // so a close asked for meanwhile is heard and said; the check still waits for the end.
    std::future<platform::ChildEnd> end =
        std::async(std::launch::async, [this, argv, workDir] { return launcher_.run(argv, workDir); });
    check.clock.sleepMs(kFirstLookMs);
    bool closeSaid = false;
    while (end.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready) {
        ui.pumpMessages();
        if (!closeSaid && ui.closePending()) {
            ui.appendMessage("The station closes when the post-process program has ended (" + path + ").");
            closeSaid = true;
        }
        end.wait_for(std::chrono::milliseconds(kLookMs));
    }
    const platform::ChildEnd e = end.get();
    if (!e.started) {
        ui.appendMessage("Failed to start post-process (Error code: " + hex4(e.startError) + ") " + path);
        return {true, {}};
    }
    if (e.waitError != 0) {
        ui.appendMessage("Failed to wait process (Error code: " + hex4(e.waitError) + ")");
        return {true, {}};
    }
    check.record.postProcessExitCode = e.exited ? e.exitCode : 128 + e.signal;
    return {true, {}};
}

}  // namespace station
