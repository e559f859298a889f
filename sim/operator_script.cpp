#include "sim/operator_script.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cmath>

namespace sim {
namespace {

// Longer than any check waits for one action.
constexpr double kMaxTimeMs = 24.0 * 3600 * 1000;
constexpr std::uint32_t kMaxFingers = 20;
constexpr std::uint32_t kMaxRise = 1000000;
constexpr std::size_t kMaxPathPoints = 64;

struct EventName {
    OperatorEvent event;
    std::string_view name;
};
constexpr std::array<EventName, kOperatorEvents> kEvents = {{
    {OperatorEvent::MaintenanceMode, "maintenance-mode"},
    {OperatorEvent::NormalMode, "normal-mode"},
    {OperatorEvent::MaintenanceReport, "maintenance-report"},
    {OperatorEvent::NormalReport, "normal-report"},
    {OperatorEvent::HomeKeyOn, "home-key-on"},
    {OperatorEvent::HomeKeyOff, "home-key-off"},
    {OperatorEvent::CustomPenReport, "custom-pen-report"},
    {OperatorEvent::NormalPenReport, "normal-pen-report"},
    {OperatorEvent::PenMaintenanceStart, "pen-maintenance-start"},
    {OperatorEvent::PenMaintenanceStop, "pen-maintenance-stop"},
    {OperatorEvent::TkpScan, "tkp-scan"},
    {OperatorEvent::Calibration, "calibration"},
    {OperatorEvent::Reset, "reset"},
    {OperatorEvent::ExtSwitchProbe, "ext-switch-probe"},
}};

struct ConditionName {
    OperatorCondition condition;
    std::string_view name;
};
constexpr std::array<ConditionName, 5> kConditions = {{
    {OperatorCondition::MaintenanceMode, "maintenance-mode"},
    {OperatorCondition::MaintenanceReport, "maintenance-report"},
    {OperatorCondition::HomeKey, "home-key"},
    {OperatorCondition::CustomPenReport, "custom-pen-report"},
    {OperatorCondition::PenMaintenance, "pen-maintenance"},
}};

std::string_view trim(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
    return s;
}

std::vector<std::string_view> words(std::string_view s) {
    std::vector<std::string_view> out;
    std::size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
        const std::size_t start = i;
        while (i < s.size() && !std::isspace(static_cast<unsigned char>(s[i]))) ++i;
        if (i > start) out.push_back(s.substr(start, i - start));
    }
    return out;
}

// Splits at `sep`, keeping empty pieces (so "a;;b" is seen as a missing action).
std::vector<std::string_view> split(std::string_view s, char sep) {
    std::vector<std::string_view> out;
    for (;;) {
        const auto at = s.find(sep);
        out.push_back(trim(s.substr(0, at)));
        if (at == std::string_view::npos) return out;
        s = s.substr(at + 1);
    }
}

bool real(std::string_view s, double& out) {
    if (s.empty()) return false;
    const char* end = s.data() + s.size();
    const auto [p, ec] = std::from_chars(s.data(), end, out);
    return ec == std::errc{} && p == end && std::isfinite(out);
}

bool whole(std::string_view s, std::uint64_t max, std::uint64_t& out) {
    if (s.empty()) return false;
    const char* end = s.data() + s.size();
    const auto [p, ec] = std::from_chars(s.data(), end, out);
    return ec == std::errc{} && p == end && out <= max;
}

// `1500`, `1500ms` or `1.5s`.
bool timeMs(std::string_view s, std::uint64_t& out) {
    double scale = 1;
    if (s.size() > 2 && s.substr(s.size() - 2) == "ms") {
        s.remove_suffix(2);
    } else if (s.size() > 1 && s.back() == 's') {
        s.remove_suffix(1);
        scale = 1000;
    }
    double v = 0;
    if (!real(s, v) || v < 0 || v * scale > kMaxTimeMs) return false;
    out = static_cast<std::uint64_t>(std::llround(v * scale));
    return true;
}

bool fraction(std::string_view s, double& out) { return real(s, out) && out >= 0 && out <= 1; }

bool point(std::string_view s, PanelPoint& out) {
    const auto comma = s.find(',');
    return comma != std::string_view::npos && fraction(s.substr(0, comma), out.x) &&
           fraction(s.substr(comma + 1), out.y);
}

class ActionParser {
public:
    ActionParser(std::vector<std::string_view> w, std::string& error) : w_(std::move(w)), error_(error) {}

    bool parse(OperatorAction& a) {
        const std::string_view verb = w_[0];
        i_ = 1;
        if (verb == "finger" || verb == "pen" || verb == "tkp") {
            a.kind = verb == "finger" ? ActionKind::Finger : verb == "pen" ? ActionKind::Pen : ActionKind::Tkp;
            a.durationMs = 1000;
            if (!path(a.path)) return false;
        } else if (verb == "fingers") {
            a.kind = ActionKind::Fingers;
            a.durationMs = 1000;
            std::uint64_t n = 0;
            if (i_ >= w_.size() || !whole(w_[i_], kMaxFingers, n) || n == 0)
                return fail("fingers needs a count of 1 to " + std::to_string(kMaxFingers));
            a.count = static_cast<std::uint32_t>(n);
            ++i_;
            a.path = {PanelPoint{}};
        } else if (verb == "home-key") {
            a.kind = ActionKind::HomeKey;
            a.durationMs = 3000;
            std::uint64_t n = 0;
            if (i_ >= w_.size() || !whole(w_[i_], kMaxRise, n))
                return fail("home-key needs the level rise in counts (0 to " + std::to_string(kMaxRise) + ")");
            a.rise = static_cast<std::uint32_t>(n);
            ++i_;
        } else if (verb == "switch") {
            a.kind = ActionKind::Switch;
            a.durationMs = 500;
        } else if (verb == "nothing") {
            a.kind = ActionKind::Nothing;
        } else {
            return fail("unknown action '" + std::string(verb) +
                        "' (finger, fingers, pen, tkp, home-key, switch, nothing)");
        }
        while (i_ < w_.size()) {
            const std::string_view opt = w_[i_++];
            if (opt == "for") {
                std::uint64_t ms = 0;
                if (i_ >= w_.size() || !timeMs(w_[i_], ms)) return fail("for needs a time (1500, 1500ms or 1.5s)");
                a.durationMs = static_cast<std::uint32_t>(ms);
                ++i_;
            } else if (opt == "at" && a.kind == ActionKind::Fingers) {
                if (i_ >= w_.size() || !point(w_[i_], a.path[0])) return fail("at needs X,Y within 0..1");
                ++i_;
            } else if (opt == "hover" && a.kind == ActionKind::Pen) {
                a.hover = true;
            } else if (opt == "pressure" && a.kind == ActionKind::Pen) {
                if (i_ >= w_.size() || !fraction(w_[i_], a.pressure)) return fail("pressure needs a fraction 0..1");
                ++i_;
            } else {
                return fail("'" + std::string(opt) + "' does not fit a " + std::string(w_[0]) + " action");
            }
        }
        return true;
    }

private:
    // `X,Y [-> X,Y]…`
    bool path(std::vector<PanelPoint>& out) {
        for (;;) {
            PanelPoint p;
            if (i_ >= w_.size() || !point(w_[i_], p))
                return fail(std::string(w_[0]) + " needs points X,Y within 0..1, joined by ->");
            if (out.size() >= kMaxPathPoints)
                return fail("a path has at most " + std::to_string(kMaxPathPoints) + " points");
            out.push_back(p);
            ++i_;
            if (i_ >= w_.size() || w_[i_] != "->") return true;
            ++i_;
        }
    }
    bool fail(std::string why) {
        error_ = std::move(why);
        return false;
    }

    std::vector<std::string_view> w_;
    std::size_t i_ = 0;
    std::string& error_;
};

}  // namespace

std::string_view eventName(OperatorEvent event) {
    for (const auto& e : kEvents)
        if (e.event == event) return e.name;
    return "?";
}

bool parseActions(std::string_view text, ActionList& out, std::string& error) {
    ActionList list;
    for (std::string_view group : split(text, ';')) {
        ActionGroup g;
        for (std::string_view one : split(group, '&')) {
            auto w = words(one);
            if (w.empty()) {
                error = "an action is missing (around ';' or '&')";
                return false;
            }
            OperatorAction a;
            if (!ActionParser(std::move(w), error).parse(a)) return false;
            g.push_back(std::move(a));
        }
        list.push_back(std::move(g));
    }
    out = std::move(list);
    return true;
}

std::uint64_t actionsDurationMs(const ActionList& actions) {
    std::uint64_t total = 0;
    for (const auto& g : actions) {
        std::uint64_t longest = 0;
        // A switch press takes no time of the operator's: the device is away, not the hand.
        for (const auto& a : g)
            if (a.kind != ActionKind::Switch) longest = std::max<std::uint64_t>(longest, a.durationMs);
        total += longest;
    }
    return total;
}

bool parseOperatorLine(std::string_view line, int lineNo, OperatorScript& script, std::string& error) {
    line = trim(line);
    const auto colon = line.find(':');
    if (colon == std::string_view::npos) {
        error = "expected 'when EVENT …: ACTIONS' or 'at TIME: ACTIONS'";
        return false;
    }
    const auto head = words(line.substr(0, colon));
    ActionList actions;
    if (!parseActions(line.substr(colon + 1), actions, error)) return false;
    if (head.size() == 2 && head[0] == "at") {
        std::uint64_t ms = 0;
        if (!timeMs(head[1], ms)) {
            error = "at needs a time (1500, 1500ms or 1.5s), not '" + std::string(head[1]) + "'";
            return false;
        }
        script.timeline.push_back({ms, std::move(actions), lineNo});
        return true;
    }
    if (head.size() < 2 || head[0] != "when") {
        error = "expected 'when EVENT …: ACTIONS' or 'at TIME: ACTIONS'";
        return false;
    }
    OperatorRule rule;
    rule.line = lineNo;
    rule.actions = std::move(actions);
    const auto ev = std::find_if(kEvents.begin(), kEvents.end(), [&](const EventName& e) { return e.name == head[1]; });
    if (ev == kEvents.end()) {
        std::string known;
        for (const auto& e : kEvents) known += (known.empty() ? "" : ", ") + std::string(e.name);
        error = "unknown event '" + std::string(head[1]) + "' (" + known + ")";
        return false;
    }
    rule.event = ev->event;
    std::size_t i = 2;
    std::uint64_t n = 0;
    if (i < head.size() && head[i] != "if") {
        if (!whole(head[i], UINT32_MAX, n) || n == 0) {
            error = "after the event comes the time it happens (1, 2, …) or 'if', not '" + std::string(head[i]) + "'";
            return false;
        }
        rule.occurrence = static_cast<std::uint32_t>(n);
        ++i;
    }
    if (i < head.size()) {
        ++i;  // "if"
        if (i < head.size() && head[i] == "not") {
            rule.negated = true;
            ++i;
        }
        const auto c = i < head.size() ? std::find_if(kConditions.begin(), kConditions.end(),
                                                      [&](const ConditionName& k) { return k.name == head[i]; })
                                       : kConditions.end();
        if (c == kConditions.end() || i + 1 != head.size()) {
            std::string known;
            for (const auto& k : kConditions) known += (known.empty() ? "" : ", ") + std::string(k.name);
            error = "if needs one state (" + known + ")";
            return false;
        }
        rule.condition = c->condition;
    }
    script.rules.push_back(std::move(rule));
    return true;
}

}  // namespace sim
