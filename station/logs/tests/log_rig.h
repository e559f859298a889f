#pragma once
// A station with a recording front end on a virtual clock, working in a scratch folder that is
// also the process's working directory (where "_tmp.hex" and "result.log" land) for the test.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clock.h"
#include "sim/virtual_bus.h"
#include "station/recipe/recipe_loader.h"
#include "station/recipe/tests/recipe_test_support.h"
#include "station/sequence/station_state.h"
#include "station/sequence/tests/fake_ui_port.h"

namespace station::test {

inline std::string slurp(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// The names in a folder, sorted.
inline std::vector<std::string> names(const std::filesystem::path& folder) {
    std::vector<std::string> out;
    for (const auto& e : std::filesystem::directory_iterator(folder)) out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
}

inline void replaceAll(std::string& text, std::string_view from, std::string_view to) {
    for (auto pos = text.find(from); pos != std::string::npos; pos = text.find(from, pos + to.size()))
        text.replace(pos, from.size(), to);
}

class LogRig : public ::testing::Test {
protected:
    LogRig() : savedCwd_(std::filesystem::current_path()) { std::filesystem::current_path(dir_.path()); }
    ~LogRig() override { std::filesystem::current_path(savedCwd_); }

    // Loads recipe text written to `name` in the scratch folder, which is also the station's
    // start folder; the firmware image's checksum is taken to be 0x1A2B.
    void loadRecipe(const std::string& name, const std::string& text) {
        RecipeEnvironment env{dir()};
        env.hexChecksum = [](const std::string&) { return std::optional<std::uint16_t>(0x1A2B); };
        env.debugTrace = nullptr;
        const RecipeReport report = LoadRecipe(s().recipe, dir_.write(name, text), env);
        ASSERT_TRUE(report.loaded) << ::testing::PrintToString(report.messages);
        ui.messages.clear();
    }

    // An expected record from tests/expected, with "@DIR@" standing for the scratch folder.
    std::string expected(const std::string& name) const {
        std::string text = slurp(std::filesystem::path(VORLICK_SOURCE_DIR) / "station/logs/tests/expected" / name);
        replaceAll(text, "@DIR@", dir());
        return text;
    }

    // The record of the next check that ended, with the texts it leaves in its row.
    RunRecord& row(std::int32_t checkNo, std::int32_t retryNo, std::string serial, std::string endTime) {
        CheckRecord& c = s().check;
        c.clear();
        RunRecord& r = c.row;
        r.checkNo = checkNo;
        r.retryNo = retryNo;
        r.serialNo = std::move(serial);
        initialiseColumns(r, s().recipe);
        c.endTime = std::move(endTime);
        return r;
    }

    Station& s() { return *station_; }
    std::string dir() const { return dir_.str(); }

    ScratchDir dir_;
    std::filesystem::path savedCwd_;
    platform::VirtualClock clock{platform::TimeOfDay{2024, 3, 5, 7, 8, 9, 0}};
    sim::VirtualBus bus{clock};
    sim::InProcessBackend backend{bus};
    hidlink::DeviceTable table{backend};
    FakeUiPort ui;

private:
    std::unique_ptr<Station> station_ = std::make_unique<Station>(table, clock, ui);
};

}  // namespace station::test
