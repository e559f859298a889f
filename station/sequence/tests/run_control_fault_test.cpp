// The run control over many checks with the real short and raw judgement on the virtual
// controller: the device pulled at every feature exchange of a check in turn, and a long run.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>

#include "run_control_rig.h"
#include "station/sequence/judgement_steps.h"

namespace station::test {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif
#else
constexpr bool kAddressSanitizer = false;
#endif
namespace {

struct CheckingRig : RunRig {
    CheckingRig() {
        station->automatic = &steps;
        startWith("PID0A52.ini");
        station->recipe.START_TRG = StartTrigger::EnterKey;
        control.onTick();  // connects and prepares the device
        control.onStartRetry();
    }
    // One Enter and the tick that runs the check.
    void check() {
        control.enterPressed();
        tick();
    }
    JudgementSteps steps;
};

TEST(RunControlFaults, DevicePulledAtEachExchangeOfACheck) {
    CheckingRig rig;
    // A healthy check first: how many exchanges it makes, and after which one its verdict stands.
    std::int64_t verdictAt = -1;
    rig.logs.duringWrite = [&] {
        if (verdictAt < 0) verdictAt = rig.backend.exchanges;
    };
    rig.backend.arm(-1);
    rig.check();
    ASSERT_EQ(rig.s().state, StationState::Ok) << ::testing::PrintToString(rig.ui.messages);
    const std::int64_t exchanges = rig.backend.exchanges;
    ASSERT_GT(exchanges, 0);
    ASSERT_GT(verdictAt, 0);
    std::printf("a healthy check: %lld feature exchanges, verdict after %lld\n", static_cast<long long>(exchanges),
                static_cast<long long>(verdictAt));

    std::size_t verdicts = 1;
    std::map<StationState, int> endings;
    for (std::int64_t i = 0; i < exchanges; ++i) {
        SCOPED_TRACE("pulled at exchange " + std::to_string(i));
        rig.backend.arm(i);
        rig.check();
        ASSERT_FALSE(rig.bus.present(rig.deviceId));
        const StationState ended = rig.s().state;
        ++endings[ended];
        if (i < verdictAt) {
            // Before the verdict: a failed exchange ends without verdict, a device that cannot be
            // opened any more is a COM NG.
            EXPECT_TRUE(ended == StationState::Error || ended == StationState::Ng) << static_cast<int>(ended);
            if (ended == StationState::Ng) {
                EXPECT_EQ(rig.logs.rows.back().colCode, "E610");
            }
        } else {
            EXPECT_EQ(ended, StationState::Ok);  // after the verdict nothing can change it
        }
        if (ended != StationState::Error) ++verdicts;
        EXPECT_EQ(rig.logs.rows.size(), verdicts);

        // The station keeps ticking without the device, then takes it back.
        rig.ticks(2);
        EXPECT_TRUE(rig.ui.tickTimer);
        EXPECT_EQ(rig.ui.panes[1], "\tDISCONNECT");
        rig.bus.replug(rig.deviceId);
        rig.tick();
        rig.backend.arm(-1);
        rig.check();
        ASSERT_EQ(rig.s().state, StationState::Ok) << ::testing::PrintToString(rig.ui.messages);
        ++verdicts;
        ASSERT_EQ(rig.logs.rows.size(), verdicts);
        rig.ui.messages.clear();
    }
    std::printf("endings: ERROR %d, NG %d, OK %d\n", endings[StationState::Error], endings[StationState::Ng],
                endings[StationState::Ok]);
    EXPECT_EQ(rig.logs.details.size(), verdicts);
}

TEST(RunControlFaults, ThousandChecksInARow) {
    CheckingRig rig;
    RecipeSettings& r = rig.s().recipe;
    r.ENTER_SN = 1;
    r.SN_STRING = "SN";
    r.SN_MIN = 0;
    r.SN_NUM = 2;
    constexpr int kChecks = 1000;
    std::uint64_t afterFirst = 0;
    for (int i = 1; i <= kChecks; ++i) {
        // Every tenth device carries a foreign serial number: E608.
        rig.ui.serialAnswers = {(i % 10 == 0 ? "XX" : "SN") + std::to_string(i)};
        rig.check();
        if (i == 1) afterFirst = residentBytes();
        rig.ui.messages.clear();
    }
    const std::uint64_t afterLast = residentBytes();
    std::printf("resident memory: %.1f MB after the first check, %.1f MB after check %d\n",
                static_cast<double>(afterFirst) / 1048576.0, static_cast<double>(afterLast) / 1048576.0, kChecks);

    EXPECT_EQ(rig.control.checksEnded(), kChecks);
    ASSERT_EQ(rig.logs.rows.size(), static_cast<std::size_t>(kChecks));
    EXPECT_EQ(rig.s().runs.rowCount(), static_cast<std::size_t>(kChecks));
    EXPECT_EQ(rig.s().counters.checkCount, kChecks);
    EXPECT_EQ(rig.s().counters.okCount, 900);
    EXPECT_EQ(rig.s().counters.ngCount, 100);
    EXPECT_EQ(rig.logs.rows[9].colCode, "E608");
    EXPECT_EQ(rig.logs.rows[999].serialNo, "XX1000");
    EXPECT_EQ(rig.logs.rows[998].checkNo, 999);
    // Generous: the rows live in the table made at start-up, so growth stays small. Under the
    // address sanitizer freed memory sits in its quarantine, so resident size says nothing.
    if (!kAddressSanitizer) {
        EXPECT_LT(afterLast, afterFirst * 2);
    }
}

}  // namespace
}  // namespace station::test
