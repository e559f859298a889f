#pragma once
// The writer's "Log.txt": ASCII lines with CR LF, appended, time-stamped from the clock. Closed,
// it writes nothing, so every part of the writer may log unconditionally. Thread-safe: the
// window and the job's worker both write to it.
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <span>
#include <string>
#include <string_view>

#include "platform/clock.h"

namespace romwrite {

class WriterLog {
public:
    // Longest line written, line end included; a longer text is cut.
    static constexpr std::size_t kMaxLine = 1023;

    explicit WriterLog(platform::Clock& clock) : clock_(clock) {}
    ~WriterLog();
    WriterLog(const WriterLog&) = delete;
    WriterLog& operator=(const WriterLog&) = delete;

    // Opens (creating or appending) directory/"Log.txt" and writes the header line with the
    // date and time. False, and nothing is logged, when the file cannot be opened; `why` then
    // names the file and the system's reason.
    bool open(const std::string& directory, std::string* why = nullptr);
    void close();
    bool isOpen() const;

    // "mm:ss.mmm text"
    void log(std::string_view text);
    // The log line, then "Error:" and the system's message for the failure.
    void logError(std::string_view text, std::string_view systemMessage);
    // 16 bytes a line, each "%02X,".
    void logDump(std::span<const std::uint8_t> bytes);

private:
    void writeLocked(const std::string& text);
    platform::Clock& clock_;
    mutable std::mutex mutex_;
    std::FILE* file_ = nullptr;
};

}  // namespace romwrite
