#pragma once
// The machine-readable record of one check that ended (--json): one JSON object per line.
#include <cstdio>
#include <string>

#include "platform/record_write.h"
#include "station/sequence/check_record.h"

namespace station {

// A check that ended as one line of JSON (no line end): numbers, serial number, verdict, error
// code, the result columns, every RunDetail counter by name, times, the detail CSV (only once it
// was written whole), totals. Texts that are not valid UTF-8 (a scanner's bytes) are written
// with replacement characters.
std::string checkRecordJson(const CheckRecord& check);

// Appends records to a file, one flushed line each.
class CheckRecordFile {
public:
    CheckRecordFile() = default;
    ~CheckRecordFile();
    CheckRecordFile(const CheckRecordFile&) = delete;
    CheckRecordFile& operator=(const CheckRecordFile&) = delete;

    // Only a regular file (created when missing); false with the reason otherwise.
    bool open(const std::string& path, platform::Failure& why);
    // One line, whole or not at all; the reason when it could not be written.
    platform::RecordWrite append(const std::string& line);

private:
    std::FILE* file_ = nullptr;
};

}  // namespace station
