#include "station/logs/record_file.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

namespace station {

std::string withCrLf(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) out += '\r';
        out += text[i];
    }
    return out;
}

namespace {

bool writeAll(std::FILE* f, std::string_view text) {
    const std::string bytes = withCrLf(text);
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    const bool flushed = std::fflush(f) == 0;
    const bool closed = std::fclose(f) == 0;
    return written && flushed && closed;
}

}  // namespace

bool writeRecordFile(const std::string& path, std::string_view text) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    return writeAll(f, text);
}

bool appendRecordFile(const std::string& path, std::string_view text) {
    // "r+b" opens without creating; the position is then moved to the end.
    std::FILE* f = std::fopen(path.c_str(), "r+b");
    if (f == nullptr) return false;
    if (std::fseek(f, 0, SEEK_END) != 0) {
        std::fclose(f);
        return false;
    }
    return writeAll(f, text);
}

bool copyRecordFile(const std::string& from, const std::string& to) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(from, ec)) return false;
    std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing, ec);
    if (ec) {
        std::filesystem::remove(to, ec);
        return false;
    }
    return true;
}

}  // namespace station
