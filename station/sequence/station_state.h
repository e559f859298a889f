#pragma once
// The station's state, owned for the life of the station: the recipe, the two controller
// links, the run record table, the current check's detail, the counters, the station flags and
// the values the connect step keeps between ticks. The operations live beside it by concern
// (connect, check sequence, judgements); this object only holds what they share.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "controllerlink/collection_choice.h"
#include "hidlink/device_table.h"
#include "platform/clock.h"
#include "station/device/device_link.h"
#include "station/recipe/recipe_settings.h"
#include "station/sequence/check_logs.h"
#include "station/sequence/check_results.h"
#include "station/sequence/check_steps.h"
#include "station/sequence/run_record.h"
#include "station/sequence/ui_port.h"

namespace station {

// Plain 32-bit flags used only on the user-interface thread.
struct StationFlags {
    std::int32_t logOpen = 0;
    std::int32_t triggered = 0;
    std::int32_t serialEntered = 0;
    std::int32_t deviceWaitIndicator = 0;
    std::int32_t resetRequested = 0;
    std::int32_t accelEnabled = 1;
    std::int32_t pointerOverControl = 0;
    std::int32_t penScanWait = 0;
    // The run control's trigger state.
    std::int32_t autoStartPending = 0;
    std::int32_t autoRanOnce = 0;
    std::int32_t autoQuitArmed = 0;
    std::int32_t autoQuitStart = 0;  // milliseconds within the minute
    std::int32_t autoQuitRemaining = 0;
    std::int32_t deviceWaitTicks = 0;
};

// The result log in force: named at its opening, shown by the status panel, used by the detail
// CSV and the drawing screenshots. logFolder is empty until the first opening and ends in '/'.
struct LogFiles {
    std::string logTimestamp;  // "%04d%02d%02d_%02d%02d%02d"
    std::string logFolder;
    std::string resultLogPath;
    std::string detailCsvHeader;
};

// What the connect step keeps between ticks. The lookup tables it takes from a controller
// replace the recipe's XLUT and YLUT (with RX_PORT_COUNT, TX_PORT_COUNT and a derived
// TIPC_TPS), so every later step reads the tables in use from the recipe.
struct ConnectValues {
    std::int32_t openFailures = 0;
    // The maker's nodes last said to be closed to this user; said again only when it changes.
    std::vector<std::string> unopenableSaid;
    bool normalModeSuspected = false;
    std::int32_t resetAttempts = 0;
    // Resets sent because a controller came up in maintenance mode (or would not say its mode)
    // before any normal scan image was captured; at most 3 per run of the station.
    std::int32_t captureResets = 0;
    std::int32_t driverMode = 0;
    bool penConnected = false;
    // Register images (46 little-endian words): the one captured when a controller last came up
    // in normal mode, and the one derived from it for testing at every set-up.
    // normalScanCaptured: normalScanRegisters holds such a capture (nothing is judged without).
    bool normalScanCaptured = false;
    std::array<std::uint8_t, kRegisterBytes> normalScanRegisters{};
    std::array<std::uint8_t, kRegisterBytes> testRegisters{};
};

// Texts the status panel shows for the connected device.
struct DeviceTextValues {
    std::string productId = "---";
    std::string firmwareMajor = "---";
    std::string firmwareMinor = "---";
    std::string pen = "---";
    std::string hsyncPid = "---";
    std::string hsyncVer = "---";
};

struct CheckCounters {
    std::int32_t checkCount = 0;
    std::int32_t okCount = 0;
    std::int32_t ngCount = 0;
    std::int32_t retryCount = 0;
    std::string startTime;  // "%04d/%02d/%02d %02d:%02d:%02d"
    std::string endTime;
    std::uint64_t startTick = 0;
    std::string elapsed;          // "%.1fsec", as the panel shows it
    std::uint64_t elapsedMs = 0;  // the same duration as measured, for the records
    // The serial number field, and the previous check's for a retry.
    std::string serialText;
    std::string savedSerial;
    // Per check: whether the firmware writer was started, and the scan check's retry number
    // (0 first attempt, 1 or 2).
    std::int32_t writerStarted = 0;
    std::int32_t scanRetry = 0;
};

// What the firmware steps leave for the detail CSV's F/W section: the checksum computed from
// HEX_FILE and the firmware writer's exit code.
struct FirmwareStepValues {
    std::uint16_t hexChecksum = 0;
    std::int32_t writerExitCode = 0;
};

// What became of the checks' records. A record the station could not write whole is said with
// the system's reason and holds back the next check until the operator has seen it (the next
// Start/Retry, Clear or Read ini); the station then ends with kExitRecordsLost.
struct RecordStatus {
    std::string detailCsv;       // the current check's detail file, once it is written whole
    bool unseenFailure = false;  // a record failed since the operator last pressed a button
    bool lostInRun = false;      // a record failed since the station started
};

// The process exit code of a station that lost a record, whatever the last verdict was.
inline constexpr std::int32_t kExitRecordsLost = 3;

class Station {
public:
    Station(hidlink::DeviceTable& table, platform::Clock& clock, UiPort& ui);
    Station(const Station&) = delete;
    Station& operator=(const Station&) = delete;

    controllerlink::ControllerGeneration generation() const;

    hidlink::DeviceTable& table;
    platform::Clock& clock;
    UiPort& ui;

    RecipeSettings recipe;
    DeviceLink touch;
    DeviceLink pen;
    RunRecordTable runs;
    RunDetail detail;
    CheckCounters counters;
    StationState state = StationState::Ready;
    std::int32_t exitCode = -1;
    StationFlags flags;
    ConnectValues connect;
    DeviceTextValues texts;
    LogFiles logFiles;
    CheckResults results;
    FirmwareStepValues firmware;
    RecordStatus records;
    // The folder the station was started in, and the program's version for the records.
    std::string startDirectory;
    std::string programVersionText = "0.0.0";

    // The parts that carry out steps of a check; null until wired.
    AutomaticChecks* automatic = nullptr;
    CheckRunners* runners = nullptr;
    CheckLogs* logs = nullptr;
};

// A record was not written whole: `message` (which says what and why) goes to the message pane,
// and the next check waits until the operator has seen it.
void recordFailed(Station& s, std::string_view message);

}  // namespace station
