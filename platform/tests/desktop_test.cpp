#include "platform/desktop.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

// Sets the three variables for one case and puts back what the test process had.
class Environment {
public:
    Environment() {
        for (const char* name : kNames) {
            const char* v = std::getenv(name);
            saved_.emplace_back(name, v == nullptr ? std::nullopt : std::optional<std::string>(v));
        }
    }
    ~Environment() {
        for (const auto& [name, value] : saved_) put(name, value ? value->c_str() : nullptr);
    }
    static void put(const char* name, const char* value) {
        if (value == nullptr)
            ::unsetenv(name);
        else
            ::setenv(name, value, 1);
    }
    static constexpr const char* kNames[] = {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"};

private:
    std::vector<std::pair<const char*, std::optional<std::string>>> saved_;
};

TEST(Desktop, PlatformsFollowTheSession) {
    struct Case {
        const char* display;
        const char* wayland;
        const char* qpa;
        std::optional<std::string> platforms;
    };
    const Case cases[] = {
        {nullptr, nullptr, nullptr, std::nullopt},
        {"", "", "xcb", std::nullopt},  // empty names no desktop, whatever the toolkit is told
        {":0", nullptr, nullptr, "xcb;minimal"},
        {nullptr, "wayland-0", nullptr, "wayland;xcb;minimal"},
        {":0", "wayland-0", nullptr, "wayland;xcb;minimal"},
        {":0", nullptr, "offscreen", "offscreen;minimal"},
        {":0", nullptr, "", "xcb;minimal"},
    };
    Environment env;
    for (const Case& c : cases) {
        Environment::put("DISPLAY", c.display);
        Environment::put("WAYLAND_DISPLAY", c.wayland);
        Environment::put("QT_QPA_PLATFORM", c.qpa);
        EXPECT_EQ(platform::desktopPlatforms("minimal"), c.platforms)
            << (c.display ? c.display : "-") << " " << (c.wayland ? c.wayland : "-");
    }
}

}  // namespace
