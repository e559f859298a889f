#pragma once
// What the person at the station does to the controller, written as a script: actions in panel
// coordinates (fractions of the touch and pen ranges, so a script fits any screen), rules that
// react to what the station does to the controller, and a timeline. The syntax is described in
// examples/sim/operator.md.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

// A place on the panel: 0..1 across, 0..1 down.
struct PanelPoint {
    double x = 0.5;
    double y = 0.5;
    friend bool operator==(const PanelPoint&, const PanelPoint&) = default;
};

enum class ActionKind : std::uint8_t { Finger, Fingers, Pen, Tkp, HomeKey, Switch, Nothing };

struct OperatorAction {
    ActionKind kind = ActionKind::Nothing;
    std::vector<PanelPoint> path;  // finger, pen, tkp: one point is held, more are a stroke
    std::uint32_t durationMs = 0;  // switch: how long the device stays away
    std::uint32_t count = 1;       // fingers
    bool hover = false;            // pen: in range above the panel, tip up
    double pressure = 0.5;         // pen: fraction of the pressure range while the tip is down
    std::uint32_t rise = 0;        // home key: counts the level rises by while touched
    friend bool operator==(const OperatorAction&, const OperatorAction&) = default;
};

// Actions joined by '&' start together; groups separated by ';' follow one another, each
// starting when the longest action of the group before it ends.
using ActionGroup = std::vector<OperatorAction>;
using ActionList = std::vector<ActionGroup>;

// What the station does to the controller that an operator notices.
enum class OperatorEvent : std::uint8_t {
    MaintenanceMode,      // [2, 1]
    NormalMode,           // [2, 0]
    MaintenanceReport,    // report type 1: the custom touch reports
    NormalReport,         // report type 0
    HomeKeyOn,            // home key raw report type, or the driver's home key mode
    HomeKeyOff,           // leaving it
    CustomPenReport,      // pen report type 1
    NormalPenReport,      // pen report type 0
    PenMaintenanceStart,  // the TKP pen's maintenance mode
    PenMaintenanceStop,
    TkpScan,      // new TKP scan settings (the noise or the signal phase begins)
    Calibration,  // a calibration is run
    Reset,        // the controller is reset by command
    // The external switch dialog looks for the controller again: a fresh open of the touch node
    // whose only exchange is the touch query, in maintenance mode, right after another such look.
    ExtSwitchProbe,
};
inline constexpr std::size_t kOperatorEvents = 14;

// States a rule may ask for.
enum class OperatorCondition : std::uint8_t {
    MaintenanceMode,
    MaintenanceReport,
    HomeKey,
    CustomPenReport,
    PenMaintenance,
};

struct OperatorRule {
    OperatorEvent event = OperatorEvent::Calibration;
    std::uint32_t occurrence = 0;  // 0: every time; N: only the Nth time
    std::optional<OperatorCondition> condition;
    bool negated = false;
    ActionList actions;
    int line = 0;
};

struct TimedActions {
    std::uint64_t atMs = 0;  // from the moment the device is first plugged in
    ActionList actions;
    int line = 0;
};

struct OperatorScript {
    std::vector<OperatorRule> rules;
    std::vector<TimedActions> timeline;
    bool empty() const { return rules.empty() && timeline.empty(); }
};

std::string_view eventName(OperatorEvent event);

// One line of a scenario's [operator] section: `when EVENT [N] [if [not] STATE]: ACTIONS` or
// `at TIME: ACTIONS`. False and the reason in `error` (without the line number).
bool parseOperatorLine(std::string_view line, int lineNo, OperatorScript& script, std::string& error);

// ACTIONS: `ACTION [& ACTION…] [; ACTION [& ACTION…]…]`. False and the reason in `error`.
bool parseActions(std::string_view text, ActionList& out, std::string& error);

// How long a list of actions takes from its start.
std::uint64_t actionsDurationMs(const ActionList& actions);

}  // namespace sim
