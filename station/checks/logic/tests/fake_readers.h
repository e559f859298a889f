#pragma once
// Stand-ins for a check window's readers and front end: tests hand the reports in themselves.
#include <string>
#include <string_view>
#include <vector>

#include "station/checks/logic/check_window.h"

namespace station::checks {

using Snapshots = std::vector<std::string>;

class FakeReaders final : public InputReaders {
public:
    bool refuse[2] = {false, false};  // touch, pen
    std::vector<ReaderCollection> started, stopped;

    bool start(ReaderCollection which) override {
        if (refuse[static_cast<int>(which)]) return false;
        started.push_back(which);
        return true;
    }
    void stop(ReaderCollection which) override { stopped.push_back(which); }
};

class RecordingHost final : public CheckWindowHost {
public:
    std::vector<std::string> status, snapshots;
    int repaints = 0;

    void setStatus(std::string_view text) override { status.emplace_back(text); }
    void requestRepaint() override { ++repaints; }
    void saveSnapshot(std::string_view fileName) override { snapshots.emplace_back(fileName); }
};

// A due tick as the front end runs it: the pass, its paint, then the timer rearmed.
inline void runDueTick(CheckWindowLogic& w) {
    if (w.closed() || !w.timerFired()) return;
    w.painted();
    w.rearmTimer();
}

}  // namespace station::checks
