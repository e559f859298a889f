#pragma once
// What one check produced, as plain data: its row of the result list, its verdict, every flag
// and counter, its times, what the controller showed, the measured frames and pins with their
// judgement, and the operator checks' results. The check sequence fills it while the check
// runs and hands it on: the result log row, the detail CSV and the JSON record are written
// from it (with the recipe and the log in force) and from nothing else.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "controllerlink/sensor_grid.h"
#include "station/device/device_link.h"
#include "station/sequence/check_results.h"
#include "station/sequence/hsync_result.h"
#include "station/sequence/judgement_maps.h"
#include "station/sequence/run_record.h"

namespace station {

// How a check ended; None while it runs.
enum class Verdict : std::uint8_t { None, Ok, Ng, NoTest, Error };

// "OK", "NG", "NO TEST", "ERROR" ("ERROR" also while none was given).
std::string_view verdictText(Verdict verdict);

// The station's totals as the check left them.
struct RunTotals {
    std::int32_t checks = 0;
    std::int32_t ok = 0;
    std::int32_t ng = 0;
};

// The firmware steps' values (the checksum computed from HEX_FILE, the writer's exit code and
// whether it was started) and the identity the controller showed.
struct FirmwareValues {
    std::uint16_t hexChecksum = 0;
    std::int32_t writerExitCode = 0;
    bool writerStarted = false;
    // The Hsync MCU programmer's exit code, when it ran.
    std::int32_t hsyncExitCode = 0;
    std::uint16_t touchFirmwareMajor = 0;
    std::uint8_t touchFirmwareMinor = 0;
    std::uint32_t vendorId = 0;
    std::uint32_t productId = 0;
    std::uint32_t penFirmware = 0;
};

// The averaged frames the raw data check read (an actual data read that failed leaves what it
// summed), their reads' retries and flags, and the lines they cover.
struct SensorFrames {
    controllerlink::Grid rawAverage{};
    controllerlink::Grid calAverage{};
    controllerlink::Grid actualAverage{};
    controllerlink::Grid sdSigma{};
    std::uint32_t readFlags = 0;  // ReadFlag bits: the read of that kind ran out of retries
    std::uint32_t rawRetries = 0;
    std::uint32_t calRetries = 0;
    std::uint32_t actualRetries = 0;
    std::uint32_t sdRetries = 0;
    // Held to the grid.
    std::uint32_t txCount = controllerlink::kGridTx;
    std::uint32_t rxCount = controllerlink::kGridRx;
    // The scan mode and filter words (register words 12 and 17) of the controller's image.
    std::uint16_t scanModeWord = 0;
    std::uint16_t scanFilterWord = 0;
};

struct CheckRecord {
    // Begun: the check runs until its verdict or its abort.
    bool running = false;
    Verdict verdict = Verdict::None;
    std::int32_t exitCode = -1;
    // Its row: numbers, serial number, result and code columns, and the error the code shows.
    RunRecord row;
    RunDetail detail;
    std::string startTime = "----/--/-- --:--:--";  // "%04d/%02d/%02d %02d:%02d:%02d"
    std::string endTime;
    std::string elapsed = "----sec";  // "%.1fsec", as the panel shows it
    std::uint64_t elapsedMs = 0;      // the same duration as measured, for the records
    std::uint64_t startTick = 0;
    RunTotals totals;
    // The scan check's attempt that gave the verdict (0 first, 1 or 2).
    std::int32_t scanRetry = 0;
    FirmwareValues firmware;
    // The post-process program's exit code (128 + the signal that ended it), when it ran to its
    // end; never judged.
    std::optional<std::int32_t> postProcessExitCode;
    // The Hsync MCU's texts ("0x%04X" or the class of their last failure).
    std::string hsyncPidText = "---";
    std::string hsyncVerText = "---";
    HsyncCheckResult hsync;
    PinCheck pins;
    SensorFrames frames;
    RawJudgement raw;
    CheckResults results;
    // The detail file this record was written to, once it is on the disk whole.
    std::string detailCsv;

    // Everything back to its value before a check; the large parts in place.
    void clear();
};

}  // namespace station
