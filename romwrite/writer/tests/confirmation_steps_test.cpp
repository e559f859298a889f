#include "romwrite/writer/confirmation_steps.h"

#include <gtest/gtest.h>

#include "romwrite/testing/fake_writer_port.h"

namespace romwrite {
namespace {

using Outcome = ConfirmationSteps::Outcome;
using Page = ConfirmationSteps::Page;

TEST(ConfirmationSteps, EachPageNeedsMainsToGoOn) {
    testing::FakePower power;
    ConfirmationSteps steps(power);
    power.mains = false;
    EXPECT_EQ(steps.forward(), Outcome::NeedsMains);
    EXPECT_EQ(steps.page(), Page::Notes) << "stays on the notes page";
    power.mains = true;
    EXPECT_EQ(steps.forward(), Outcome::ShowWarning);
    EXPECT_EQ(steps.page(), Page::Warning);
    power.mains = false;
    EXPECT_EQ(steps.forward(), Outcome::NeedsMains) << "unplugged between the pages";
    EXPECT_EQ(steps.page(), Page::Warning);
    power.mains = true;
    EXPECT_EQ(steps.forward(), Outcome::Confirmed);
    EXPECT_EQ(ConfirmationSteps::back(), Outcome::Declined);
}

}  // namespace
}  // namespace romwrite
