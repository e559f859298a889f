#include "station/window/headless/check_record.h"

#include <cstdlib>

#include "platform/append_file.h"
#include "station/logs/detail_csv.h"

namespace station {

CheckRecordFile::~CheckRecordFile() {
    if (file_ != nullptr) std::fclose(file_);
}

bool CheckRecordFile::open(const std::string& path, platform::Failure& why) {
    file_ = platform::openRegularFileForAppend(path, why);
    return file_ != nullptr;
}

platform::RecordWrite CheckRecordFile::append(const std::string& line) {
    if (file_ == nullptr) return platform::RecordWrite{platform::Failure{{}, "not open"}};
    // Straight to the descriptor, whole or cut back: nothing waits in a buffer.
    return platform::appendToDescriptorWhole(fileno(file_), line + '\n');
}

}  // namespace station
