#pragma once
// What a window shows, as key=value lines in a file that is rewritten whole (a temporary file
// renamed over it), so a reader outside the process never sees half of it. The windows keep one
// when VORLICK_WINDOW_PROBE names a file: the real-display tests read the running window back.
#include <string>
#include <utility>
#include <vector>

namespace platform {

class ProbeFile {
public:
    explicit ProbeFile(std::string path);

    // The path from VORLICK_WINDOW_PROBE, empty when unset.
    static std::string pathFromEnvironment();

    // Sets a value (kept in first-set order). Line ends inside become blanks: one key, one line.
    void set(const std::string& key, std::string value);
    // Rewrites the file when a value changed since the last write; false when it failed.
    bool flush();

    const std::string& path() const { return path_; }

private:
    std::string path_;
    std::vector<std::pair<std::string, std::string>> entries_;
    bool dirty_ = false;
};

}  // namespace platform
