#include "station/recipe/recipe_dump.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "station/recipe/recipe_loader.h"
#include "station/recipe/tests/recipe_test_support.h"

namespace station {
namespace {

// Settings that the plain key=value form could lose: negative and out-of-range numbers, lists,
// per-line thresholds, DRAW_DISABLE bits, the serial pattern and both lookup tables.
constexpr const char* kUnusual = R"(
[DEVICE]
VID=-5
PID=0422
[SETTING]
TITLE= "Line 4 ; night"
CPU=R5
START_TRG=-1
SHORT_CHECK=1
WAIT_TIME=70000
DRAW_JUDGE_AREA=0.1
DRAW_DISABLE_PSQ=1
CALTH_IGNORELINE=1,2,3
TKP_NOISE_THRE_SP=x,0,5,y,45,-7,X,71,9
HK_REMOVE_LOW=1,,3
HSYNC_VER=0x1FFFF
HSYNC_MEASURING=1
[WAVE]
TXE=257
[S/N]
S/N_STRING="SN-00"
[EXTRA_SETTING]
FWVER_MINOR2=0x7
[YLUT]
0x0100 0x0200 0x0300 0x0101 0x0102 0x0103 0x0104 0x0105 0x0106 0x0107 0x0108 0x0109
0x010A 0x010B 0x010C 0x010D 0x010E 0x010F 0x0110 0x0111 0x0112 0x0113 0x0114 0x0115
0x0116 0x0117 0x0118 0x0119 0x011A 0x011B 0x011C 0x011D 0x011E 0x011F 0x0120 0x0121
0x0122 0x0123 0x0124 0x0125 0x0126 0x0127 0x0128 0x0129 0x012A 0x012B
)";

TEST(RecipeDump, LoadsBackToTheSameSettings) {
    test::ScratchDir dir;
    const RecipeEnvironment env{dir.str()};
    auto first = std::make_unique<RecipeSettings>();
    const RecipeReport a = LoadRecipe(*first, dir.write("a.ini", kUnusual), env);
    ASSERT_TRUE(a.loaded) << ::testing::PrintToString(a.messages);
    const std::string dump = dumpRecipe(*first);

    auto second = std::make_unique<RecipeSettings>();
    const RecipeReport b = LoadRecipe(*second, dir.write("b.ini", dump), env);
    ASSERT_TRUE(b.loaded) << ::testing::PrintToString(b.messages);
    EXPECT_EQ(dumpRecipe(*second), dump);

    EXPECT_EQ(second->VID, -5);
    EXPECT_EQ(second->PID, 0x0112);
    EXPECT_EQ(second->TITLE, "Line 4");
    EXPECT_EQ(second->CPU, kCpuR5);
    EXPECT_EQ(static_cast<std::int32_t>(second->START_TRG), -1);
    EXPECT_EQ(second->WAIT_TIME, 70000 - 65536);
    EXPECT_FLOAT_EQ(second->DRAW_JUDGE_AREA, 0.1f);
    EXPECT_EQ(second->drawDisableMask, kDrawDisablePsq);
    EXPECT_EQ(second->CALTH_IGNORELINE, (std::array<std::int32_t, 4>{1, 2, 3, 2}));
    EXPECT_EQ(second->TKP_NOISE_THRE_SP_Y[45], -7);
    EXPECT_EQ(second->TKP_NOISE_THRE_SP_X[71], 9);
    EXPECT_EQ(second->HK_REMOVE_LOW.count, 3);
    EXPECT_EQ(second->HSYNC_VER, 0);  // R5 has no Hsync MCU
    EXPECT_EQ(second->TXE, 1);
    EXPECT_EQ(second->SN_STRING, "SN-00");
    EXPECT_TRUE(second->snPatternGiven);
    EXPECT_EQ(second->FWVER_MINOR2, 0x0007);
    EXPECT_EQ(second->YLUT, first->YLUT);
    EXPECT_EQ(second->TX_PORT_COUNT, 44);
    EXPECT_EQ(second->TIPC_TPS, 7);
    EXPECT_FALSE(second->xlutGiven);  // no [XLUT] given, none dumped
    EXPECT_EQ(dump.find("[XLUT]"), std::string::npos);
}

TEST(RecipeDump, RealsKeepTheirDecimalPointOnADecimalCommaDesk) {
    test::ScratchDir dir;
    const test::DecimalCommaLocale comma(dir.path());
    if (!comma.active()) GTEST_SKIP() << "no decimal-comma locale can be had here";
    auto s = std::make_unique<RecipeSettings>();
    s->DRAW_JUDGE_AREA = 2.25f;
    EXPECT_NE(dumpRecipe(*s).find("\nDRAW_JUDGE_AREA=2.25\n"), std::string::npos);
}

}  // namespace
}  // namespace station
