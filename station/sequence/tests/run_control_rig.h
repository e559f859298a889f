#pragma once
// The run control on the in-process controller: a station started in the example folder, a log
// port that records what it was asked to write, and a bus whose feature transfers can pull the
// device's plug at a chosen exchange.
#include <unistd.h>

#include <cstdint>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "sequence_rig.h"
#include "station/sequence/run_control.h"

namespace station::test {

inline const std::string kExampleFolder = std::string(VORLICK_SOURCE_DIR) + "/examples/station";

// Records every call of the log port; the rows keep the row as it stood when it was appended.
class RecordingLogs final : public CheckLogs {
public:
    bool openResultLog(Station& s) override {
        ++opens;
        if (!openSucceeds) return false;
        s.logFiles.logFolder = "logs/x/";
        return true;
    }
    void buildDetailCsvHeader(Station&) override { ++headers; }
    void writeDetailCsv(Station&, bool ok) override {
        details.push_back(ok);
        calls.push_back("detail");
        if (duringWrite) duringWrite();
    }
    bool appendResultRow(Station& s) override {
        rows.push_back(s.check.row);
        calls.push_back("row");
        return true;
    }
    void closeResultLog(Station&) override {
        ++closes;
        calls.push_back("close");
    }

    int opens = 0, headers = 0, closes = 0;
    bool openSucceeds = true;
    std::vector<bool> details;
    std::vector<RunRecord> rows;
    std::vector<std::string> calls;  // detail, row, close in the order asked
    std::function<void()> duringWrite;
};

// Counts the feature transfers on the bus and unplugs the device at the chosen one (which then
// fails, as a transfer to a device that has just gone does).
class PlugPullingBackend final : public hidlink::Backend {
public:
    PlugPullingBackend(sim::VirtualBus& bus, hidlink::Backend& inner) : bus_(bus), inner_(inner) {}
    void pulls(int deviceId) { deviceId_ = deviceId; }

    bool enumerate(std::vector<hidlink::CollectionDesc>& out, std::size_t limit) override {
        return inner_.enumerate(out, limit);
    }
    std::unique_ptr<hidlink::Connection> open(const hidlink::CollectionDesc& desc, hidlink::OpenMode mode) override {
        auto inner = inner_.open(desc, mode);
        if (!inner) return nullptr;
        return std::make_unique<Counted>(*this, std::move(inner));
    }

    // Exchanges since the last arm(); unplugs at exchange `index` (0-based) when armed.
    void arm(std::int64_t index) {
        exchanges = 0;
        unplugAt = index;
    }
    std::int64_t exchanges = 0;
    std::int64_t unplugAt = -1;

private:
    class Counted final : public hidlink::Connection {
    public:
        Counted(PlugPullingBackend& owner, std::unique_ptr<hidlink::Connection> inner)
            : hidlink::Connection(inner->desc()), owner_(owner), inner_(std::move(inner)) {}

    protected:
        long doGetFeature(std::span<std::uint8_t> report) override {
            owner_.exchange();
            return inner_->getFeature(report) ? static_cast<long>(report.size()) : -1;
        }
        bool doSetFeature(std::span<const std::uint8_t> report) override {
            owner_.exchange();
            return inner_->setFeature(report);
        }
        hidlink::ReadResult doReadInput(std::span<std::uint8_t> buffer, int timeoutMs) override {
            return inner_->readInput(buffer, timeoutMs);
        }
        void doClose() override { inner_->close(); }
        void doCancelRead() override { inner_->cancelRead(); }

    private:
        PlugPullingBackend& owner_;
        std::unique_ptr<hidlink::Connection> inner_;
    };

    void exchange() {
        if (exchanges++ == unplugAt) bus_.unplug(deviceId_);
    }

    sim::VirtualBus& bus_;
    hidlink::Backend& inner_;
    int deviceId_ = 0;
};

// A station with its run control, started in the example folder with a recipe.
struct RunRig {
    explicit RunRig(sim::ControllerConfig config = quietController(),
                    const platform::TimeOfDay& start = platform::TimeOfDay{2026, 1, 1, 9, 0, 0, 0})
        : clock(start), device(std::make_shared<sim::ControllerDevice>(std::move(config))) {
        deviceId = bus.addDevice(device);
        backend.pulls(deviceId);
        station->automatic = &checks;
        station->logs = &logs;
    }
    void startWith(const std::string& recipe) {
        control.setRecipeTrace({});
        control.startUp(kExampleFolder, recipe);
        ASSERT_TRUE(station->recipe.recipeLoaded) << ::testing::PrintToString(ui.messages);
    }
    Station& s() { return *station; }
    void ticks(int n) {
        for (int i = 0; i < n; ++i) tick();
    }
    void tick() {
        clock.advance(100);
        control.onTick();
    }

    platform::VirtualClock clock;
    sim::VirtualBus bus{clock};
    sim::InProcessBackend inProcess{bus};
    std::shared_ptr<sim::ControllerDevice> device;
    int deviceId = 0;
    PlugPullingBackend backend{bus, inProcess};
    hidlink::DeviceTable table{backend};
    FakeUiPort ui;
    ScriptedChecks checks;
    RecordingLogs logs;
    std::unique_ptr<Station> station = std::make_unique<Station>(table, clock, ui);
    RunControl control{*station};
};

// Resident memory of this process in bytes.
inline std::uint64_t residentBytes() {
    std::ifstream statm("/proc/self/statm");
    std::uint64_t size = 0, resident = 0;
    statm >> size >> resident;
    return resident * static_cast<std::uint64_t>(sysconf(_SC_PAGESIZE));
}

}  // namespace station::test
