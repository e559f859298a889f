#include "romwrite/writer/console_front_end.h"

#include <gtest/gtest.h>

#include <sstream>

#include "romwrite/testing/fake_writer_port.h"
#include "romwrite/writer/writer_app.h"

namespace romwrite {
namespace {

TEST(ConsoleFrontEnd, ApplyQuestionReadsOneLine) {
    const std::pair<const char*, bool> cases[] = {{"y\n", true},  {"YES\n", true},   {" yes \r\n", true},
                                                  {"n\n", false}, {"yess\n", false}, {"", false}};
    for (auto [input, yes] : cases) {
        std::istringstream in(input);
        std::ostringstream out;
        testing::FakePower power;
        ConsoleFrontEnd c(in, out, power);
        EXPECT_EQ(c.askApplyUpdate(), yes) << '"' << input << '"';
        EXPECT_EQ(out.str().rfind("Apply this update? [y/N] ", 0), 0u);
    }
}

TEST(ConsoleFrontEnd, PhasesProgressAndStatusAsLines) {
    std::istringstream in;
    std::ostringstream out;
    testing::FakePower power;
    ConsoleFrontEnd c(in, out, power);
    const auto [connecting, warning] = phaseTexts(kPhaseConnecting);
    c.showPhase(kPhaseConnecting, connecting, warning);
    c.setProgress(0, 0x1000);
    for (std::uint32_t p = 0; p < 0x1000; p += 0x200) c.setProgress(p, 0x1000);
    c.showPhase(kPhaseProgramming, phaseTexts(kPhaseProgramming).first, warning);
    c.setStatusText("File error. PID not match.");
    c.setStatusText("File error. PID not match.");
    c.showPhase(kPhaseAborted, phaseTexts(kPhaseAborted).first, "");
    EXPECT_EQ(out.str(),
              "Firmware update takes several minutes.\n"
              "During updating, you should NOT shut down or restart PC.\n"
              "Connecting ...\n"
              "progress: 10%\nprogress: 20%\nprogress: 30%\nprogress: 50%\nprogress: 60%\nprogress: 70%\n"
              "progress: 80%\n"
              "Programming ...\n"
              "status: File error. PID not match.\n"
              "Abort process.\n");
}

TEST(ConsoleFrontEnd, EmbeddedConfirmationNeedsMainsOnEachPage) {
    struct Case {
        const char* input;
        bool mains;
        bool confirmed;
    } cases[] = {{"y\ny\n", true, true}, {"y\nn\n", true, false}, {"", true, false}, {"y\ny\ny\n", false, false}};
    for (const Case& c : cases) {
        std::istringstream in(c.input);
        std::ostringstream out;
        testing::FakePower power;
        power.mains = c.mains;
        ConsoleFrontEnd front(in, out, power);
        EXPECT_EQ(front.confirm(), c.confirmed) << c.input;
        if (!c.mains) {
            EXPECT_NE(out.str().find("Error: This process requires power"), std::string::npos);
        }
    }
}

}  // namespace
}  // namespace romwrite
