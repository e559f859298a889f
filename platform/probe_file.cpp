#include "platform/probe_file.h"

#include <cstdio>
#include <cstdlib>

namespace platform {

ProbeFile::ProbeFile(std::string path) : path_(std::move(path)) {}

std::string ProbeFile::pathFromEnvironment() {
    const char* p = std::getenv("VORLICK_WINDOW_PROBE");
    return p == nullptr ? std::string() : std::string(p);
}

void ProbeFile::set(const std::string& key, std::string value) {
    for (char& c : value)
        if (c == '\n' || c == '\r') c = ' ';
    for (auto& entry : entries_) {
        if (entry.first != key) continue;
        if (entry.second != value) {
            entry.second = std::move(value);
            dirty_ = true;
        }
        return;
    }
    entries_.emplace_back(key, std::move(value));
    dirty_ = true;
}

bool ProbeFile::flush() {
    if (!dirty_ || path_.empty()) return true;
    std::string text;
    for (const auto& [key, value] : entries_) text += key + "=" + value + "\n";
    const std::string temporary = path_ + ".part";
    std::FILE* f = std::fopen(temporary.c_str(), "wb");
    if (f == nullptr) return false;
    const bool written = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    const bool closed = std::fclose(f) == 0;
    if (!written || !closed || std::rename(temporary.c_str(), path_.c_str()) != 0) {
        std::remove(temporary.c_str());
        return false;
    }
    dirty_ = false;
    return true;
}

}  // namespace platform
