#include "romwrite/window/display/open_display.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace romwrite {
namespace {

// Sets the session's display variables for one case and puts back what the test process had.
class Session {
public:
    Session(const char* display, const char* wayland, const char* qpa) {
        const std::pair<const char*, const char*> wanted[] = {
            {"DISPLAY", display}, {"WAYLAND_DISPLAY", wayland}, {"QT_QPA_PLATFORM", qpa}};
        for (const auto& [name, value] : wanted) {
            const char* before = std::getenv(name);
            saved_.emplace_back(name, before == nullptr ? std::nullopt : std::optional<std::string>(before));
            put(name, value);
        }
    }
    ~Session() {
        for (const auto& [name, value] : saved_) put(name, value ? value->c_str() : nullptr);
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

private:
    static void put(const char* name, const char* value) {
        if (value == nullptr)
            ::unsetenv(name);
        else
            ::setenv(name, value, 1);
    }
    std::vector<std::pair<const char*, std::optional<std::string>>> saved_;
};

// No desktop, or one that cannot be opened: no application is left behind, and the caller runs
// without a window instead of Qt ending the process.
TEST(OpenDisplay, NoDesktopGivesNoApplication) {
    {
        Session none(nullptr, nullptr, nullptr);
        EXPECT_EQ(openDisplay("program"), nullptr);
    }
    {
        Session unreachable(":4095", nullptr, nullptr);  // no X server serves it
        EXPECT_EQ(openDisplay("program"), nullptr);
    }
    EXPECT_EQ(QCoreApplication::instance(), nullptr);
}

TEST(OpenDisplay, OpenedDesktopLeavesTheEndToTheProgram) {
    Session offscreen(":4095", nullptr, "offscreen");
    const std::unique_ptr<QApplication> app = openDisplay("program");
    ASSERT_NE(app, nullptr);
    EXPECT_EQ(QGuiApplication::platformName(), "offscreen");
    EXPECT_FALSE(app->quitOnLastWindowClosed());
    EXPECT_EQ(QCoreApplication::arguments(), QStringList{"program"});
}

}  // namespace
}  // namespace romwrite
