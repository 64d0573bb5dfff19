#include "quillon/window/sample_plan.h"

#include <gtest/gtest.h>

namespace {
using namespace quillon;

TEST(SamplePlan, VariantByLevelMinorTypeAndSwitch) {
  EXPECT_EQ(ChooseSampleVariant(5, 9, "RX-Jarn", "/f"), SampleVariant::Narrow16);
  EXPECT_EQ(ChooseSampleVariant(6, 1, "RX-Jarn", "/f"), SampleVariant::Block32);
  EXPECT_EQ(ChooseSampleVariant(6, 2, "RX-Jarn", ""), SampleVariant::Wide32);
  EXPECT_EQ(ChooseSampleVariant(7, 2, "RX-Fenn2", ""), SampleVariant::Wide32);
  EXPECT_EQ(ChooseSampleVariant(6, 2, "RX-Hald", ""), SampleVariant::Wide32);
  EXPECT_EQ(ChooseSampleVariant(6, 2, " RX-Hald", ""), SampleVariant::Block32);
  EXPECT_EQ(ChooseSampleVariant(6, 2, "RX-Brin", "/l /f"), SampleVariant::Wide32);
  EXPECT_EQ(ChooseSampleVariant(6, 2, "RX-Brin", "/f /l"), SampleVariant::Block32);
  EXPECT_STREQ(AddressCommand(SampleVariant::Wide32), "mz1");
  EXPECT_STREQ(SampleCommand(SampleVariant::Block32), "Mz2");
}

}  // namespace
