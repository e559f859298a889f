#pragma once
// The catalogue of verdict codes: every NG the station can give, with the message line, the
// result column that gets the short code and that short code. One row per message, so a code
// that has several messages (E680, E660, E670, E690) has several rows.
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace station {

// The result columns a short code can go to.
enum class Column : std::uint8_t { Com, Fw, Short, Open, Raw, Draw };

enum class ErrorId : std::uint8_t {
    ComTouch,
    ComPen,
    SerialNo,
    FwChecksum,
    FwRomWrite,
    FwHsyncWrite,
    FwVersion,
    FwVid,
    FwPid,
    EmrVersion,
    HsyncPid,
    HsyncComm,
    HsyncVersion,
    HsyncDisable,
    HsyncDisableDirect,
    HsyncCommResLimit,
    HsyncNoise,
    ShortTxTx,
    ShortRxRx,
    ShortTxRx,
    ShortTxGnd,
    ShortTxVdd,
    ShortRxGnd,
    ShortRxVdd,
    RawRetry,
    RawTxRxShort,
    RawTxOpen,
    RawRxOpen,
    RawUpper,
    RawLower,
    RawCal,
    RawDb,
    GapHorizontal,
    GapVertical,
    ExtSwitchReset,
    DrawStep1,
    DrawStep2,
    DrawStep3,
    DrawStep4,
    DrawStep5,
    DrawStep6,
    DrawStep7,
    DrawStep8,
    DrawOther,
    HomeKey,
    HomeKeyRemove,
    HomeKeyTouched,
    TkpNoPacket,
    TkpSaturation,
    TkpIncomplete,
    TkpPenExist,
    TkpNoise,
    TkpSignal,
    TkpOther,
    Scan,
    ScanTouch,
    ScanPen,
};

struct ErrorEntry {
    ErrorId id;
    int number;             // 610 for "E610"; the exit code of an NG with this code
    std::string_view code;  // the colCode text
    std::string_view message;
    Column column;
    std::string_view shortCode;
};

// Every row, in the order of the check sequence.
std::span<const ErrorEntry> errorCatalogue();
const ErrorEntry& errorEntry(ErrorId id);

// The exit code of an NG: the number of the error whose code the row shows. An NG whose step
// named no error (the code column still blank) gives 1, so it never reaches the shell as success.
std::int32_t ngExitCode(std::optional<ErrorId> shown);

// The code column's text before any NG: four blanks.
inline constexpr std::string_view kBlankCode = "    ";

}  // namespace station
