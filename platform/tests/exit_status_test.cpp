#include "platform/exit_status.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <utility>

namespace {

// The station's verdict codes and the writer's negative results, and the codes whose low byte
// is 0, which must not pass as success.
TEST(ShellExitStatus, EightBitsWithoutFalseSuccess) {
    constexpr auto kMin = std::numeric_limits<std::int32_t>::min();
    constexpr auto kMax = std::numeric_limits<std::int32_t>::max();
    const std::pair<std::int32_t, int> cases[] = {
        {0, 0},    {1, 1},     {50, 50}, {255, 255}, {-1, 255}, {-2, 254}, {-6, 250}, {608, 96},
        {610, 98}, {700, 188}, {256, 1}, {512, 1},   {768, 1},  {-256, 1}, {kMin, 1}, {kMax, 255},
    };
    for (const auto& [code, status] : cases) EXPECT_EQ(platform::shellExitStatus(code), status) << code;
}

}  // namespace
