// The external switch check against the in-process controller: the dialog's looks see the
// controller go and come back as the operator's switch makes it, and the check leaves the
// controller open again whatever the operator did.
#include "station/sequence/switch_check.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "station/sequence/connect.h"
#include "station/sequence/tests/sequence_rig.h"

namespace station {
namespace {

using test::Rig;

TEST(ExternalSwitchCheck, WatchesTheControllerGoAndComeBack) {
    struct Case {
        const char* name;
        // Before each look of the dialog: "-" nothing, "unplug", "replug"; "cancel" closes it.
        std::vector<std::string> operatorActs;
        const char* afterDialog;  // "unplug" or "" (the switch pressed again as the dialog closes)
        std::int32_t flags;
        int looks;
        std::vector<std::string> messages;
    };
    const Case cases[] = {
        {"pressed: gone for two looks, then back", {"-", "unplug", "-", "replug"}, "", 0, 4, {}},
        {"cancelled before the switch", {"-", "-", "cancel"}, "", 1, 2, {}},
        {"cancelled while the controller is away",
         {"unplug", "-", "cancel"},
         "",
         1,
         2,
         {"touch device re-open failed. (ext-sw check)"}},
        {"never pressed: the dialog closes on the last look", {"-", "-", "-"}, "", 1, 3, {}},
        {"pressed twice: the second press as the dialog closes",
         {"unplug", "replug"},
         "unplug",
         0,
         2,
         {"touch device re-open failed. (ext-sw check)"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        rig.loadExample("PID0A52.ini");
        ASSERT_TRUE(connectTouchAndShow(rig.s()));
        ASSERT_TRUE(connectPenAndKeep(rig.s()));
        rig.ui.messages.clear();
        int looks = 0;
        rig.ui.switchOperator = [&](const std::function<bool()>& step) {
            for (const std::string& act : c.operatorActs) {
                if (act == "cancel") return false;
                if (act == "unplug") rig.bus.unplug(rig.deviceId);
                if (act == "replug") rig.bus.replug(rig.deviceId);
                rig.clock.advance(200);
                ++looks;
                if (step()) {
                    if (std::string(c.afterDialog) == "unplug") rig.bus.unplug(rig.deviceId);
                    return true;
                }
            }
            return false;
        };
        StationReconnect reconnect(rig.s());
        ExternalSwitchCheck check(reconnect);
        CheckContext context = rig.s().checkContext();
        const RunnerOutcome outcome = check.run(context);
        EXPECT_TRUE(outcome.ran);
        EXPECT_EQ(rig.ui.switchDialogs, 1);
        EXPECT_EQ(looks, c.looks);
        EXPECT_EQ(rig.s().check.detail.extSwitchFlags, c.flags);
        EXPECT_EQ(rig.ui.messages, c.messages);
        if (c.messages.empty()) {
            std::uint8_t mode = 0;
            EXPECT_TRUE(rig.s().touch.isOpen()) << "opened and set up again";
            EXPECT_TRUE(rig.s().touch.readDeviceMode(mode));
            EXPECT_EQ(mode, 1);
        }
    }
}

TEST(ExternalSwitchCheck, AControllerNotInMaintenanceIsNoCheck) {
    Rig rig;
    rig.loadExample("PID0A52.ini");
    StationReconnect reconnect(rig.s());
    ExternalSwitchCheck check(reconnect);
    CheckContext context = rig.s().checkContext();
    EXPECT_TRUE(check.run(context).ran) << "a result, not an abort";
    EXPECT_EQ(rig.s().check.detail.extSwitchFlags, 2);
    EXPECT_EQ(rig.ui.switchDialogs, 0);
    EXPECT_EQ(rig.ui.messages, std::vector<std::string>{"Device is not open. (ext-sw check)"});
}

}  // namespace
}  // namespace station
