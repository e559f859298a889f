#pragma once
// What one check leaves behind: its row of the result list and logs (RunRecord), the flags and
// counters behind it (RunDetail), and the table of rows of this run of the station.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "station/recipe/recipe_settings.h"
#include "station/sequence/error_codes.h"

namespace station {

struct RunRecord {
    std::int32_t checkNo = 0;
    std::int32_t retryNo = 0;
    std::string serialNo;
    std::string colResult;
    std::string colCode;
    // The error whose code colCode shows (none while it holds its four blanks).
    std::optional<ErrorId> error;
    std::string colCom;
    std::string colFw;
    std::string colShort;
    std::string colOpen;
    std::string colRaw;
    std::string colDraw;
};

std::string& columnText(RunRecord& row, Column column);
const std::string& columnText(const RunRecord& row, Column column);

// Every column gets the text it shows before a check writes into it; the widths are part of
// the result log's layout.
void initialiseColumns(RunRecord& row, const RecipeSettings& recipe);

// Flags and counters of one check, all cleared when a check begins.
struct RunDetail {
    std::int32_t comFlags = 0;
    std::int32_t firmwareFlags = 0;
    std::int32_t shortTotal = 0;
    std::int32_t shortTxTotal = 0;
    std::int32_t txGndCount = 0;
    std::int32_t txVddCount = 0;
    std::int32_t shortRxTotal = 0;
    std::int32_t rxGndCount = 0;
    std::int32_t rxVddCount = 0;
    std::int32_t reserved10 = 0;
    std::int32_t reserved11 = 0;
    std::int32_t reserved12 = 0;
    std::int32_t reserved13 = 0;
    std::int32_t rawTotal = 0;
    std::int32_t upperCount = 0;
    std::int32_t lowerCount = 0;
    std::int32_t calCount = 0;
    std::int32_t dbCount = 0;
    std::int32_t rawRetryCount = 0;
    std::int32_t gapHorizontalCount = 0;
    std::int32_t gapVerticalCount = 0;
    std::int32_t drawResult = 0;
    std::int32_t tkpFlags = 0;
    std::int32_t scanFlags = 0;
    std::int32_t homeKeyFlags = 0;
    std::int32_t hsyncFlags = 0;
    std::int32_t extSwitchFlags = 0;
    std::int32_t ngTotal = 0;
    std::int32_t serialNg = 0;
};

// comFlags bits
inline constexpr std::int32_t kComTouchUnusable = 1;
inline constexpr std::int32_t kComPenError = 2;
inline constexpr std::int32_t kComNormalMode = 4;
// firmwareFlags: the differences the firmware steps found are bits of the word, but a failed
// Hsync MCU write is no bit: it sets the whole word to 3, which shares the checksum and writer
// bits and so is never read bit by bit. The word itself is what the detail files and the NG
// total carry.
enum class FirmwareFault : std::int32_t {
    ChecksumDiffers = 1,
    WriterFailed = 2,
    VersionDiffers = 4,
    VidDiffers = 8,
    PidDiffers = 16,
    PenVersionDiffers = 128,
};
inline constexpr std::int32_t kFwHsyncWriteFailedWord = 3;

constexpr bool isHsyncWriteFailure(std::int32_t word) { return word == kFwHsyncWriteFailedWord; }
// The fault is recorded (never for the Hsync write failure's word).
constexpr bool hasFirmwareFault(std::int32_t word, FirmwareFault fault) {
    return !isHsyncWriteFailure(word) && (word & static_cast<std::int32_t>(fault)) != 0;
}
// The fault is the only thing recorded.
constexpr bool onlyFirmwareFault(std::int32_t word, FirmwareFault fault) {
    return word == static_cast<std::int32_t>(fault);
}
constexpr void addFirmwareFault(std::int32_t& word, FirmwareFault fault) { word |= static_cast<std::int32_t>(fault); }
constexpr void markHsyncWriteFailure(std::int32_t& word) { word = kFwHsyncWriteFailedWord; }
constexpr std::int32_t firmwareFaultWord(FirmwareFault fault) { return static_cast<std::int32_t>(fault); }

// The 29 fields by name, in their order (for the detail CSV and the JSON record).
struct RunDetailField {
    std::string_view name;
    std::int32_t RunDetail::*member;
};
std::span<const RunDetailField> runDetailFields();

// The rows of this run of the station: one per check that ended with a verdict. A full table
// takes no more rows, and the station then starts no check.
class RunRecordTable {
public:
    static constexpr std::size_t kRows = 50000;

    RunRecordTable() { rows_.reserve(kRows); }

    std::size_t rowCount() const { return rows_.size(); }
    bool full() const { return rows_.size() >= kRows; }
    // Counts a row in; false when the table is full.
    bool append(const RunRecord& row);
    // A new result series: no rows (their storage is kept).
    void clear() { rows_.clear(); }

    const RunRecord& row(std::size_t index) const { return rows_.at(index); }

private:
    std::vector<RunRecord> rows_;
};

// StationState: the status panel's word.
enum class StationState : std::int32_t {
    Ready = 0,
    Writing = 1,
    Connect = 2,
    NoTest = 3,
    Checking = 4,
    Error = 5,
    Ok = 6,
    Ng = 7,
};
std::string_view stationStateText(StationState state);

}  // namespace station
