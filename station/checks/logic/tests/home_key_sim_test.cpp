// The home key check as its runner opens it, against the in-process controller and its scripted
// operator: the recipe's keys, the runner's preparation and the controller's home key reports.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "sim/operator_script.h"
#include "station/checks/logic/home_key_check.h"
#include "station/checks/logic/home_key_inputs.h"
#include "station/checks/logic/tests/bus_readers.h"
#include "station/checks/logic/tests/fake_readers.h"
#include "station/sequence/connect.h"
#include "station/sequence/tests/sequence_rig.h"
#include "station/sequence/window_runners.h"

namespace station::checks {
namespace {

void setList(HomeKeyList& list, std::int32_t value, int pins) {
    list.count = pins;
    for (int i = 0; i < pins; ++i) list.values[static_cast<std::size_t>(i)] = value;
}

struct Outcome {
    std::int32_t flags = -1;
    CheckResults results;
    bool closedByItself = false;
    std::vector<std::uint8_t> reportTypesAfter;
};

Outcome runHomeKey(const std::string& operatorLine, const std::function<void(sim::ControllerConfig&)>& device = {}) {
    sim::ControllerConfig config = test::quietController();
    config.homeKeyNoise = 0;
    if (!operatorLine.empty()) {
        std::string why;
        EXPECT_TRUE(sim::parseOperatorLine(operatorLine, 1, config.operatorScript, why)) << why;
    }
    if (device) device(config);
    test::Rig rig(config);
    rig.loadExample("PID0A52.ini");
    RecipeSettings& r = rig.s().recipe;
    r.HOMEKEY_CHECK = 1;
    r.HK_NUM_PIN = 4;
    setList(r.HK_REMOVE, 1200, 4);
    setList(r.HK_REMOVE_LOW, 1000, 4);
    setList(r.HK_TOUCH, 300, 4);
    r.hkRemoveEnabled = r.hkRemoveLowEnabled = r.hkTouchEnabled = true;
    EXPECT_TRUE(connectTouchAndShow(rig.s()));
    EXPECT_TRUE(connectPenAndKeep(rig.s()));
    Outcome out;
    rig.ui.checkWindow = [&](const CheckWindowRequest& request, CheckContext& check) {
        SimBusReaders readers(rig.bus, rig.deviceId);
        RecordingHost host;
        HomeKeyCheck w(homeKeyInputs(request, check, {0, 0, 1280, 800}), readers, host, check.clock);
        w.open();
        out.closedByItself = readers.runUntilClosed(w, rig.clock, 20000);
        w.onKey(CheckKey::Esc);
    };
    CheckContext context = rig.s().checkContext();
    EXPECT_TRUE(runHomeKeyCheck(context).ran);
    out.flags = rig.s().check.detail.homeKeyFlags;
    out.results = rig.s().check.results;
    return out;
}

const std::string kPassingOperator = "when home-key-on: nothing for 2500; home-key 400 for 4s";

TEST(HomeKeyWithTheSimulator, AnOperatorWhoWaitsThenHoldsTheKeyPasses) {
    const Outcome o = runHomeKey(kPassingOperator);
    EXPECT_TRUE(o.closedByItself);
    EXPECT_EQ(o.flags, 0);
    for (int pin = 0; pin < 4; ++pin) {
        SCOPED_TRACE(pin);
        // Base 1000 and value 100 untouched, 500 held, without noise.
        EXPECT_EQ(o.results.hkUntouchedAverage[pin], 1100);
        EXPECT_EQ(o.results.hkUntouchedMax[pin], 1100);
        EXPECT_EQ(o.results.hkBaseMin[pin], 1000);
        // The mean of every level since the touch phase began: the moments before the finger
        // came count too.
        EXPECT_GT(o.results.hkTouchedLevel[pin], 1100);
        EXPECT_LT(o.results.hkTouchedLevel[pin], 1500);
        EXPECT_EQ(o.results.hkTouchedMax[pin], 1500);
    }
}

TEST(HomeKeyWithTheSimulator, FailuresOfTheKeyAndOfTheOperator) {
    struct Case {
        const char* name;
        std::string operatorLine;
        std::function<void(sim::ControllerConfig&)> device;
        std::int32_t flags;
    };
    const std::vector<Case> cases = {
        {"nobody touches the key", "", {}, kHkTouchNg | kHkNotDone},
        {"one pin rises too little", kPassingOperator, [](sim::ControllerConfig& c) { c.homeKeyWeakPin = 2; },
         kHkTouchNg | kHkNotDone},
        {"a finger on the key from the start",
         "when home-key-on: home-key 400 for 10s",
         {},
         kHkUntouchedNg | kHkTouchNg | kHkNotDone},
        {"the controller refuses the home key reports", kPassingOperator,
         [](sim::ControllerConfig& c) {
             c.refuse.push_back({true, {3, 2}, 0});
         },
         kHkRawTypeRefused | kHkNotDone},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Outcome o = runHomeKey(c.operatorLine, c.device);
        EXPECT_EQ(o.flags, c.flags);
    }
}

}  // namespace
}  // namespace station::checks
