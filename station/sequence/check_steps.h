#pragma once
// The steps of a check that other parts of the station carry out, as the sequence calls them.
// AutomaticChecks: the Hsync MCU checks, the preparation and reads of the raw data, the short
// check and the raw judgement. CheckRunners: firmware writing, the external switch, the
// operator windows, the scan check and the post-process. A station without one of them wired
// refuses to start a check whose recipe needs it; nothing is ever passed by default.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "controllerlink/collection_choice.h"
#include "station/sequence/step_outcome.h"

namespace hidlink {
class DeviceTable;
}
namespace platform {
class Clock;
}

namespace station {

struct RecipeSettings;
class DeviceLink;
class UiPort;
struct ConnectValues;
struct DeviceTextValues;
struct CheckRecord;

// What a step of a check works with: the recipe, the controller's links and table, the clock,
// the UI port, what the connect step left, the device texts the panel shows and the check's
// record. The run (its result table, counts and logs) is out of a step's reach.
struct CheckContext {
    controllerlink::ControllerGeneration generation;
    const RecipeSettings& recipe;
    hidlink::DeviceTable& table;
    DeviceLink& touch;
    DeviceLink& pen;
    platform::Clock& clock;
    UiPort& ui;
    const ConnectValues& connect;
    DeviceTextValues& texts;
    CheckRecord& record;
    // The TKP pen's scan values (noise gain X, signal gain X, noise gain Y, signal gain Y, enable,
    // blank): the recipe sets them at every load; the TKP window's debug mode edits them.
    std::array<std::uint16_t, 6>& tkpScan;
};

class AutomaticChecks {
public:
    virtual ~AutomaticChecks() = default;
    // The MCU's product id and version texts (CheckContext::texts), when the pen collection has
    // been opened.
    virtual void readHsyncInfo(CheckContext& check) = 0;
    // Sequence step 7; sets RunDetail::hsyncFlags. Lines for the enabled checks only.
    virtual StepOutcome hsyncChecks(CheckContext& check) = 0;
    // Step 9: prepares the controller and reads the averaged frames (reads
    // ConnectValues::normalScanRegisters and testRegisters).
    virtual StepOutcome prepareAndRead(CheckContext& check) = 0;
    // Step 10: the pin check and its judgement over the recipe's lookup tables (the controller's
    // once the connect step took them from it); fills the short counters of RunDetail.
    virtual StepOutcome shortCheck(CheckContext& check) = 0;
    // Step 11: the raw and gap judgement; fills RunDetail counters 14..21 and the maps.
    virtual StepOutcome rawJudgement(CheckContext& check) = 0;
};

// Checks whose runners later parts of the station provide.
enum class RunnerCheck : std::uint8_t {
    FirmwareWrite,       // WRITE_FW
    HsyncFirmwareWrite,  // WRITE_HSYNC_FW
    ExternalSwitch,      // EXT_SWITCH_CHECK
    Drawing,             // DRAWING_CHECK
    HomeKey,             // HOMEKEY_CHECK
    Tkp,                 // TKP_CHECK
    Scan,                // SCAN_CHECK
    PostProcess,         // POST_PROCESS_ENABLE
};

struct RunnerOutcome {
    // False: the check could not be carried out (the runner appended its own message).
    bool ran = false;
    // Lines the sequence appends after the check's verdict line (the TKP noise maxima).
    std::vector<std::string> notes;
};

class CheckRunners {
public:
    virtual ~CheckRunners() = default;
    virtual bool provides(RunnerCheck check) const = 0;
    // Runs one attempt; writes its RunDetail field (extSwitchFlags, drawResult, homeKeyFlags,
    // tkpFlags, scanFlags). The firmware writers run before the sequence, from the run control.
    virtual RunnerOutcome run(RunnerCheck which, CheckContext& check) = 0;
};

}  // namespace station
