#include "platform/power.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;

struct Supply {
    const char* name;
    const char* type;
    const char* online;
};

fs::path makeTree(const std::vector<Supply>& supplies, const std::string& tag) {
    const fs::path root = fs::temp_directory_path() / ("power_" + tag + "_" + std::to_string(::getpid()));
    fs::remove_all(root);
    fs::create_directories(root);
    for (const Supply& s : supplies) {
        fs::create_directories(root / s.name);
        std::ofstream(root / s.name / "type") << s.type << "\n";
        if (s.online != nullptr) std::ofstream(root / s.name / "online") << s.online << "\n";
    }
    return root;
}

TEST(SysfsPowerStatus, MainsFromTheSupplyClass) {
    struct Case {
        const char* name;
        std::vector<Supply> supplies;
        bool mains;
    } cases[] = {
        {"laptop on mains", {{"AC", "Mains", "1"}, {"BAT0", "Battery", nullptr}}, true},
        {"laptop on battery", {{"AC", "Mains", "0"}, {"BAT0", "Battery", nullptr}}, false},
        {"two adapters, one online", {{"ADP0", "Mains", "0"}, {"ADP1", "Mains", "1"}}, true},
        {"desktop without supplies", {}, true},
        {"only a USB supply", {{"usb", "USB", "0"}}, true},
    };
    int n = 0;
    for (const Case& c : cases) {
        const fs::path root = makeTree(c.supplies, std::to_string(++n));
        platform::SysfsPowerStatus power(root.string());
        EXPECT_EQ(power.onMains(), c.mains) << c.name;
        fs::remove_all(root);
    }
    platform::SysfsPowerStatus missing("/nonexistent/power_supply");
    EXPECT_TRUE(missing.onMains());
}

TEST(LoggingStayAwake, NotesOnce) {
    int notes = 0;
    platform::LoggingStayAwake s([&](const std::string&) { ++notes; });
    s.request();
    s.request();
    EXPECT_TRUE(s.held());
    s.release();
    EXPECT_FALSE(s.held());
    EXPECT_EQ(notes, 1);
}

}  // namespace
