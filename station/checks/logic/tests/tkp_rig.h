#pragma once
// A TKP window on a virtual clock with a pen of 4 X and 3 Y lines whose line reports the test
// writes: every 10 ms one scan (one report per axis) while the rig's pen is in maintenance.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "station/checks/logic/tests/fake_readers.h"
#include "station/checks/logic/tkp_check.h"

namespace station::checks {

class FakeTkpDevice final : public TkpDevice {
public:
    bool refuseStart = false;
    bool maintenance = false;
    std::vector<std::string> commands;
    controllerlink::LineStatistics stats;

    bool startPenMaintenance() override {
        commands.emplace_back("start");
        if (refuseStart) return false;
        maintenance = true;
        return true;
    }
    bool setPenScan(std::uint8_t gainX, std::uint8_t gainY, std::uint8_t enable, std::uint8_t blank) override {
        commands.push_back(text("scan", gainX, gainY, enable, blank));
        return true;
    }
    bool sendScanReport(std::uint8_t gainX, std::uint8_t gainY, std::uint8_t enable, std::uint8_t blank) override {
        commands.push_back(text("report", gainX, gainY, enable, blank));
        return true;
    }
    bool stopPenMaintenance() override {
        commands.emplace_back("stop");
        maintenance = false;
        stats.reset(0);
        return true;
    }
    void resetLineStatistics(std::uint32_t window) override { stats.reset(window); }
    void addLineReport(std::span<const std::uint8_t> report) override { stats.addLineReport(report); }
    const controllerlink::LineStatistics& lineStatistics() const override { return stats; }

private:
    static std::string text(const char* what, int a, int b, int c, int d) {
        return std::string(what) + " " + std::to_string(a) + "," + std::to_string(b) + "," + std::to_string(c) + "," +
               std::to_string(d);
    }
};

class FakeSettingDialog final : public TkpSettingDialog {
public:
    std::optional<TkpScanSetting> answer;
    std::vector<TkpScanSetting> shown;
    std::optional<TkpScanSetting> edit(const TkpScanSetting& current) override {
        shown.push_back(current);
        return answer;
    }
};

inline constexpr int kRigLinesX = 4;
inline constexpr int kRigLinesY = 3;

// A line report: [15, lines, first, n | axis << 7, n little-endian samples].
inline std::vector<std::uint8_t> lineReport(bool yAxis, int lines, const std::vector<std::uint16_t>& samples) {
    std::vector<std::uint8_t> r{15, static_cast<std::uint8_t>(lines), 0,
                                static_cast<std::uint8_t>(samples.size() | (yAxis ? 0x80u : 0u))};
    for (const std::uint16_t s : samples) {
        r.push_back(static_cast<std::uint8_t>(s & 0xFF));
        r.push_back(static_cast<std::uint8_t>(s >> 8));
    }
    return r;
}

struct TkpRig {
    // The sample of line `line` (X 0..3, Y 72..74) at scan number `scan`.
    using Samples = std::function<std::uint16_t(std::size_t line, int scan)>;

    platform::VirtualClock clock;
    FakeReaders readers;
    RecordingHost host;
    FakeTkpDevice device;
    FakeSettingDialog dialog;
    TkpScanValues scan{5, 12, 6, 13, 2, 0};
    std::int32_t flags = -1;
    CheckResults results;
    TkpInputs in;
    std::unique_ptr<TkpCheck> w;
    Samples samples = [](std::size_t, int) { return std::uint16_t{40}; };
    bool penNear = false;  // the EMR pen reports itself every scan
    int scans = 0;

    explicit TkpRig(platform::TimeOfDay start = platform::TimeOfDay{2026, 1, 1, 9, 0, 0, 0}) : clock(start) {
        in.noiseCount = 10;
    }

    TkpCheck& open() {
        in.scan = &scan;
        in.tkpFlags = &flags;
        in.results = &results;
        w = std::make_unique<TkpCheck>(in, device, &dialog, readers, host, clock);
        w->open();
        return *w;
    }

    void report(ReaderCollection from, const std::vector<std::uint8_t>& r) {
        if (w->closed()) return;
        w->onReport(from, r);
        w->painted();
    }
    void touch(std::uint8_t contacts = 1) { report(ReaderCollection::Touch, {3, 0, contacts, 0, 0, 0, 0, 0}); }

    void oneScan() {
        if (penNear) report(ReaderCollection::Pen, {11, 0x20, 0x10, 0, 0x10, 0, 0, 0});
        if (!device.maintenance) return;
        std::vector<std::uint16_t> x, y;
        for (int i = 0; i < kRigLinesX; ++i) x.push_back(samples(static_cast<std::size_t>(i), scans));
        for (int j = 0; j < kRigLinesY; ++j) y.push_back(samples(72 + static_cast<std::size_t>(j), scans));
        ++scans;
        report(ReaderCollection::Pen, lineReport(false, kRigLinesX, x));
        report(ReaderCollection::Pen, lineReport(true, kRigLinesY, y));
    }
    void pump() { runDueTick(*w); }
    // Time passes in 10 ms steps: a scan, then the window's tick when due.
    void wait(int ms) {
        for (int t = 0; t < ms && !w->closed(); t += 10) {
            clock.advance(10);
            oneScan();
            pump();
        }
    }
    bool waitFor(const std::function<bool()>& done, int limitMs) {
        for (int t = 0; t < limitMs && !done() && !w->closed(); t += 10) wait(10);
        return done();
    }
    // Esc, and what the window recorded.
    std::int32_t escape() {
        w->onKey(CheckKey::Esc);
        return flags;
    }
};

}  // namespace station::checks
