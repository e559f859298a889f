#pragma once
// The station's state, owned for the life of the station: the device table, the clock, the UI
// port, the recipe, the two controller links, the run record table, the counts and flags, the
// log files in force and the values the connect step keeps between ticks; and the record of the
// check running (or the last one), which the sequence fills and hands to the records. The
// operations live beside it by concern (connect, check sequence, judgements).
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
#include "station/sequence/check_record.h"
#include "station/sequence/check_steps.h"
#include "station/sequence/log_files.h"
#include "station/sequence/results_port.h"
#include "station/sequence/run_record.h"
#include "station/sequence/ui_port.h"

namespace station {

// Flags used only on the user-interface thread.
struct StationFlags {
    bool logOpen = false;
    bool triggered = false;
    bool serialEntered = false;
    // 0 idle; 1 or 2 while waiting for a device without a recipe (2 shows "NO DEVICE").
    std::int32_t deviceWaitIndicator = 0;
    bool resetRequested = false;
    bool accelEnabled = true;
    bool pointerOverControl = false;
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
    // The last answers of the touch and the pen collection's queries (kept when a query fails).
    TouchQuery touchQuery;
    PenQuery penQuery;
    // The touch report format the check windows decode with (byte 4 may be forced by the recipe).
    MaintenanceVersion maintenanceVersion{};
    // The controller's calibration table as far as it was last read (word 0 cleared by each read).
    std::array<std::uint16_t, kCalibrationWords> calibrationTable{};
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

// The station's counts since its last reset, and the serial number field.
struct CheckCounters {
    std::int32_t checkCount = 0;
    std::int32_t okCount = 0;
    std::int32_t ngCount = 0;
    std::int32_t retryCount = 0;
    // The serial number field, and the previous check's for a retry.
    std::string serialText;
    std::string savedSerial;
};

// What became of the checks' records. A record the station could not write whole is said with
// the system's reason and holds back the next check until the operator has seen it (the next
// Start/Retry, Clear or Read ini); the station then ends with kExitRecordsLost. (The detail file
// a check's record was written to is in its CheckRecord.)
struct RecordStatus {
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
    // The part of the station the steps of the running check work with.
    CheckContext checkContext();

    hidlink::DeviceTable& table;
    platform::Clock& clock;
    UiPort& ui;

    RecipeSettings recipe;
    DeviceLink touch;
    DeviceLink pen;
    RunRecordTable runs;
    CheckCounters counters;
    StationState state = StationState::Ready;
    // The last verdict's exit code (-1 before any and after a check without verdict).
    std::int32_t exitCode = -1;
    StationFlags flags;
    ConnectValues connect;
    DeviceTextValues texts;
    LogFiles logFiles;
    RecordStatus records;
    // The check running, or the last one that ended: the sequence fills it and hands it on.
    CheckRecord check;
    // The folder the station was started in, and the program's version for the records.
    std::string startDirectory;
    std::string programVersionText = "0.0.0";

    // The parts that carry out steps of a check; null until wired.
    AutomaticChecks* automatic = nullptr;
    CheckRunners* runners = nullptr;
    CheckLogs* logs = nullptr;
    // The line's results store; null when the station writes none.
    ResultsPort* results = nullptr;
};

// A record was not written whole: `message` (which says what and why) goes to the message pane,
// and the next check waits until the operator has seen it.
void recordFailed(Station& s, std::string_view message);

}  // namespace station
