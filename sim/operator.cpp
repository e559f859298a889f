#include "sim/operator.h"

#include <algorithm>
#include <cmath>

namespace sim {
namespace {

// `fingers N`: rows of five, a finger's width apart, centred on the point.
std::vector<PanelPoint> spread(PanelPoint centre, std::uint32_t count) {
    std::vector<PanelPoint> out;
    const std::uint32_t rows = (count + 4) / 5;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint32_t rowIndex = i / 5;  // whole rows of five
        const double col = static_cast<double>(i % 5) - 2.0;
        const double row = static_cast<double>(rowIndex) - (static_cast<double>(rows) - 1.0) / 2.0;
        out.push_back({std::clamp(centre.x + col * 0.08, 0.0, 1.0), std::clamp(centre.y + row * 0.15, 0.0, 1.0)});
    }
    return out;
}

bool active(std::uint64_t start, std::uint64_t end, std::uint64_t now) { return start <= now && now < end; }

}  // namespace

PanelPoint pointAlong(const std::vector<PanelPoint>& path, double fraction) {
    if (path.empty()) return {};
    if (path.size() == 1 || fraction <= 0) return path.front();
    if (fraction >= 1) return path.back();
    double total = 0;
    for (std::size_t i = 1; i < path.size(); ++i)
        total += std::hypot(path[i].x - path[i - 1].x, path[i].y - path[i - 1].y);
    if (total <= 0) return path.front();
    double left = fraction * total;
    for (std::size_t i = 1; i < path.size(); ++i) {
        const double leg = std::hypot(path[i].x - path[i - 1].x, path[i].y - path[i - 1].y);
        if (left <= leg && leg > 0) {
            const double f = left / leg;
            return {path[i - 1].x + (path[i].x - path[i - 1].x) * f, path[i - 1].y + (path[i].y - path[i - 1].y) * f};
        }
        left -= leg;
    }
    return path.back();
}

Operator::Operator(OperatorScript script) : script_(std::move(script)) {}

void Operator::start(std::uint64_t nowMs) {
    if (origin_) return;
    origin_ = nowMs;
    for (const auto& t : script_.timeline) schedule(t.actions, nowMs + t.atMs);
}

void Operator::onEvent(OperatorEvent event, const ConditionStates& states, std::uint64_t nowMs) {
    const auto e = static_cast<std::size_t>(event);
    if (e >= seen_.size()) return;
    const std::uint32_t nth = ++seen_[e];
    for (const auto& r : script_.rules) {
        if (r.event != event || (r.occurrence != 0 && r.occurrence != nth)) continue;
        if (r.condition && states[static_cast<std::size_t>(*r.condition)] == r.negated) continue;
        schedule(r.actions, nowMs);
    }
}

void Operator::perform(const ActionList& actions, std::uint64_t nowMs) { schedule(actions, nowMs); }

void Operator::schedule(const ActionList& actions, std::uint64_t from) {
    for (const auto& group : actions) {
        std::uint64_t longest = 0;
        for (const auto& a : group) {
            Activity act{a, from, from + a.durationMs, {}, false};
            if (a.kind == ActionKind::Switch) {
                act.end = from;  // pressed at once; the device's time away is its own
            } else {
                longest = std::max<std::uint64_t>(longest, a.durationMs);
            }
            if (a.kind != ActionKind::Nothing) activities_.push_back(std::move(act));
        }
        from += longest;
    }
}

void Operator::retire(std::uint64_t nowMs) {
    std::erase_if(activities_,
                  [&](const Activity& a) { return a.action.kind == ActionKind::Switch ? a.done : a.end <= nowMs; });
}

OperatorInput Operator::inputAt(std::uint64_t nowMs) {
    retire(nowMs);
    OperatorInput in;
    std::vector<std::uint16_t> used;
    for (const auto& a : activities_)
        if (active(a.start, a.end, nowMs)) used.insert(used.end(), a.contactIds.begin(), a.contactIds.end());
    for (auto& a : activities_) {
        if (!active(a.start, a.end, nowMs)) continue;
        const double f =
            a.end > a.start ? static_cast<double>(nowMs - a.start) / static_cast<double>(a.end - a.start) : 0;
        switch (a.action.kind) {
            case ActionKind::Finger:
            case ActionKind::Fingers: {
                const std::vector<PanelPoint> at = a.action.kind == ActionKind::Finger
                                                       ? std::vector<PanelPoint>{pointAlong(a.action.path, f)}
                                                       : spread(a.action.path.at(0), a.action.count);
                // A finger keeps its identifier while it stays down; a new one takes the lowest free.
                while (a.contactIds.size() < at.size()) {
                    std::uint16_t id = 1;
                    while (std::find(used.begin(), used.end(), id) != used.end()) ++id;
                    used.push_back(id);
                    a.contactIds.push_back(id);
                }
                for (std::size_t i = 0; i < at.size(); ++i) in.fingers.push_back({a.contactIds[i], at[i]});
                break;
            }
            case ActionKind::Pen:
                in.pen = {true, !a.action.hover, pointAlong(a.action.path, f),
                          a.action.hover ? 0.0 : a.action.pressure};
                break;
            case ActionKind::Tkp:
                in.tkp = pointAlong(a.action.path, f);
                break;
            case ActionKind::HomeKey:
                in.homeKeyRise = std::max(in.homeKeyRise, a.action.rise);
                break;
            default:
                break;
        }
    }
    std::sort(in.fingers.begin(), in.fingers.end(),
              [](const FingerContact& l, const FingerContact& r) { return l.id < r.id; });
    return in;
}

std::vector<std::uint32_t> Operator::switchPressesDue(std::uint64_t nowMs) {
    std::vector<std::uint32_t> out;
    for (auto& a : activities_) {
        if (a.action.kind != ActionKind::Switch || a.done || a.start > nowMs) continue;
        a.done = true;
        out.push_back(a.action.durationMs);
    }
    return out;
}

bool Operator::idle(std::uint64_t nowMs) const {
    return std::all_of(activities_.begin(), activities_.end(), [&](const Activity& a) {
        return a.action.kind == ActionKind::Switch ? a.done : a.end <= nowMs;
    });
}

}  // namespace sim
