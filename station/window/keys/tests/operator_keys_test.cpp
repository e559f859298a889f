// The keyboard rules as a scanner and an operator type them: the field takes what the rules
// pass on, Enter closes a scan or triggers a check.
#include "station/window/keys/operator_keys.h"

#include <gtest/gtest.h>

#include "station/sequence/tests/run_control_rig.h"

namespace station::test {
namespace {

struct Typing {
    RunRig rig;
    OperatorKeys keys{rig.s(), rig.control};
    std::string field;
    std::string enterVerdicts;  // C consumed, P passed on, per Enter

    // '\n' is Enter; '~' moves the focus off the field; other characters are typed.
    void type(std::string_view text) {
        bool focused = true;
        for (const char c : text) {
            if (c == '~') {
                focused = false;
            } else if (c == '\n') {
                const KeyVerdict v = keys.enter(focused, field);
                enterVerdicts += v == KeyVerdict::Consumed ? 'C' : 'P';
                if (!rig.control.serialFieldWritable()) field = rig.s().counters.serialText;
            } else if (keys.character(static_cast<unsigned char>(c)) == KeyVerdict::Pass && focused &&
                       rig.control.serialFieldWritable()) {
                field += c;
            }
        }
    }
};

TEST(OperatorKeys, ScansAndEnterAsTyped) {
    struct Case {
        const char* name;
        int trigger;
        bool accelEnabled;
        const char* keys;
        const char* serial;
        bool serialEntered;
        bool triggered;
        const char* verdicts;
    };
    const Case cases[] = {
        {"scan closed by its Enter", 1, 1, "#A1234\n", "A1234", 1, 0, "C"},
        {"marks inside the scan are dropped", 1, 1, "#A1#2#\n", "A12", 1, 0, "C"},
        {"Enter without a scan does nothing in scan mode", 1, 1, "A1\n", "", 0, 0, "P"},
        {"scan, then Enter triggers", 2, 1, "#SN9\n\n", "SN9", 1, 1, "CC"},
        {"Enter before the scan does not trigger", 2, 1, "\n", "", 0, 0, "P"},
        {"Enter alone triggers in Enter mode", 3, 1, "\n", "", 0, 1, "C"},
        {"Enter means nothing in connection mode", 0, 1, "\n", "", 0, 0, "P"},
        {"a scan's Enter with the focus elsewhere is used up", 1, 1, "#A1~\n", "", 0, 0, "C"},
        {"no mark while accelerators are off", 1, 0, "#A1\n", "", 0, 0, "P"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Typing t;
        t.rig.startWith("PID0A52.ini");
        t.rig.s().recipe.START_TRG = static_cast<StartTrigger>(c.trigger);
        t.rig.tick();
        t.rig.control.onStartRetry();
        t.rig.tick();  // the trigger prompt opens the field in the scan modes
        t.rig.s().flags.accelEnabled = c.accelEnabled;
        t.type(c.keys);
        EXPECT_EQ(t.rig.s().counters.serialText, c.serial);
        EXPECT_EQ(t.rig.s().flags.serialEntered, c.serialEntered);
        EXPECT_EQ(t.rig.s().flags.triggered, c.triggered);
        EXPECT_EQ(t.enterVerdicts, c.verdicts);
        EXPECT_FALSE(t.keys.scanMarkSeen()) << "every Enter ends the scan";
    }
}

// After a scan the field is read-only: a second scan goes nowhere until the next prompt.
TEST(OperatorKeys, ScanTakenOnceThenFieldIsClosed) {
    Typing t;
    t.rig.startWith("PID0A52.ini");
    t.rig.s().recipe.START_TRG = StartTrigger::SerialThenEnter;
    t.rig.tick();
    t.rig.control.onStartRetry();
    t.rig.tick();
    t.type("#A1\n");
    EXPECT_FALSE(t.rig.control.serialFieldWritable());
    t.type("#B2\n");
    EXPECT_EQ(t.rig.s().counters.serialText, "A1");
}

}  // namespace
}  // namespace station::test
