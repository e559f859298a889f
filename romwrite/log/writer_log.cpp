#include "romwrite/log/writer_log.h"

#include <cerrno>
#include <cstring>

namespace romwrite {
namespace {

// The log is ASCII; anything else becomes '?', as a code-page conversion would show it.
std::string ascii(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (static_cast<unsigned char>(c) >= 0x80 || c == '\0') c = '?';
    return out;
}

std::string fitLine(std::string line) {
    // Cut the text, keep the line end.
    if (line.size() + 2 > WriterLog::kMaxLine) line.resize(WriterLog::kMaxLine - 2);
    return line + "\r\n";
}

}  // namespace

WriterLog::~WriterLog() { close(); }

bool WriterLog::open(const std::string& directory, std::string* why) {
    std::lock_guard lock(mutex_);
    if (file_ != nullptr) return true;
    const std::string path = directory.empty() ? std::string("Log.txt") : directory + "/Log.txt";
    errno = 0;
    file_ = std::fopen(path.c_str(), "ab");
    if (file_ == nullptr) {
        const int e = errno;
        if (why != nullptr) *why = "Cannot open " + path + ": " + (e != 0 ? std::strerror(e) : "unknown error");
        return false;
    }
    const platform::TimeOfDay t = clock_.timeOfDay();
    char head[64];
    std::snprintf(head, sizeof head, "\r\n%02d/%02d %02d:%02d:%02d.%03d\r\n", t.month, t.day, t.hour, t.minute,
                  t.second, t.millisecond);
    writeLocked(head);
    return true;
}

void WriterLog::close() {
    std::lock_guard lock(mutex_);
    if (file_ != nullptr) std::fclose(file_);
    file_ = nullptr;
}

bool WriterLog::isOpen() const {
    std::lock_guard lock(mutex_);
    return file_ != nullptr;
}

void WriterLog::writeLocked(const std::string& text) {
    // Append mode puts every write at the end, also when another program appends meanwhile.
    std::fwrite(text.data(), 1, text.size(), file_);
    std::fflush(file_);
}

void WriterLog::log(std::string_view text) {
    std::lock_guard lock(mutex_);
    if (file_ == nullptr) return;
    const platform::TimeOfDay t = clock_.timeOfDay();
    char stamp[16];
    std::snprintf(stamp, sizeof stamp, "%02d:%02d.%03d ", t.minute, t.second, t.millisecond);
    writeLocked(fitLine(stamp + ascii(text)));
}

void WriterLog::logError(std::string_view text, std::string_view systemMessage) {
    log(text);
    std::lock_guard lock(mutex_);
    if (file_ == nullptr) return;
    writeLocked(fitLine("Error:" + ascii(systemMessage)));
}

void WriterLog::logDump(std::span<const std::uint8_t> bytes) {
    std::lock_guard lock(mutex_);
    if (file_ == nullptr) return;
    std::string out;
    out.reserve(bytes.size() * 3 + bytes.size() / 8 + 2);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%02X,", bytes[i]);
        out += hex;
        if (i % 16 == 15 || i + 1 == bytes.size()) out += "\r\n";
    }
    writeLocked(out);
}

}  // namespace romwrite
