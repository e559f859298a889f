#pragma once
// The --json file: one JSON object per check that ended, one line each.
#include <cstdio>
#include <string>

#include "platform/record_write.h"
#include "station/sequence/check_record.h"
#include "station/sequence/check_record_json.h"

namespace station {

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
