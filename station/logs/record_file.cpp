#include "station/logs/record_file.h"

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

platform::RecordWrite writeRecordFile(const std::string& path, std::string_view text) {
    return platform::replaceFileWhole(path, withCrLf(text));
}

platform::RecordWrite appendRecordFile(const std::string& path, std::string_view text) {
    return platform::appendToFileWhole(path, withCrLf(text));
}

platform::RecordWrite copyRecordFile(const std::string& from, const std::string& to) {
    return platform::copyFileWhole(from, to, kMaxCopiedRecordBytes);
}

}  // namespace station
