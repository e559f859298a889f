#pragma once
// The scripted operator at work: it starts the actions of its rules when the station does what
// they wait for, runs its timeline from the moment the device is first plugged in, takes live
// actions, and says what its hands do at any moment: the fingers on the panel, the EMR pen,
// the TKP pen, the home key and the external switch. Time is the bus clock of the device.
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "sim/operator_script.h"

namespace sim {

struct FingerContact {
    std::uint16_t id = 0;  // contact identifier, from 1
    PanelPoint at;
};

struct PenInput {
    bool inRange = false;
    bool tip = false;
    PanelPoint at;
    double pressure = 0;  // fraction of the pressure range
};

// What the operator does at one moment.
struct OperatorInput {
    std::vector<FingerContact> fingers;  // by contact identifier
    PenInput pen;
    std::optional<PanelPoint> tkp;  // the TKP pen on the panel
    std::uint32_t homeKeyRise = 0;
};

// States of the controller a rule may ask for, as the device sees them when an event comes.
using ConditionStates = std::array<bool, 5>;

class Operator {
public:
    explicit Operator(OperatorScript script = {});

    // The station did something the operator notices, at `nowMs`.
    void onEvent(OperatorEvent event, const ConditionStates& states, std::uint64_t nowMs);
    // Actions performed live from `nowMs` on.
    void perform(const ActionList& actions, std::uint64_t nowMs);
    // The timeline counts from the first call; later calls do nothing.
    void start(std::uint64_t nowMs);

    OperatorInput inputAt(std::uint64_t nowMs);
    // Switch presses due by `nowMs` and not yet made: how long the device stays away for each.
    std::vector<std::uint32_t> switchPressesDue(std::uint64_t nowMs);
    // Nothing scheduled now or later: the operator's hands are off the device.
    bool idle(std::uint64_t nowMs) const;

    const OperatorScript& script() const { return script_; }

private:
    struct Activity {
        OperatorAction action;
        std::uint64_t start = 0;
        std::uint64_t end = 0;
        std::vector<std::uint16_t> contactIds;  // fingers, given when they first touch
        bool done = false;                      // switch: pressed
    };
    void schedule(const ActionList& actions, std::uint64_t from);
    void retire(std::uint64_t nowMs);

    OperatorScript script_;
    std::array<std::uint32_t, kOperatorEvents> seen_{};
    std::optional<std::uint64_t> origin_;
    std::vector<Activity> activities_;
};

// Where a path is after `fraction` (0..1) of its time: the legs are walked at one speed.
PanelPoint pointAlong(const std::vector<PanelPoint>& path, double fraction);

}  // namespace sim
