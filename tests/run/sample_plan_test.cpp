#include "quillon/run/sample_plan.h"

#include <gtest/gtest.h>

#include "quillon/run/run_switches.h"

namespace {
using namespace quillon;

SampleVariant variant(int level, int minor, const char* type, const char* commandLine) {
  return ChooseSampleVariant(level, minor, type, RunSwitches::Of(commandLine).forcesWideRequests);
}

TEST(SamplePlan, VariantByLevelMinorTypeAndSwitch) {
  EXPECT_EQ(variant(5, 9, "RX-Jarn", "/f"), SampleVariant::Narrow16);
  EXPECT_EQ(variant(6, 1, "RX-Jarn", "/f"), SampleVariant::Block32);
  EXPECT_EQ(variant(6, 2, "RX-Jarn", ""), SampleVariant::Wide32);
  EXPECT_EQ(variant(7, 2, "RX-Fenn2", ""), SampleVariant::Wide32);
  EXPECT_EQ(variant(6, 2, "RX-Hald", ""), SampleVariant::Wide32);
  EXPECT_EQ(variant(6, 2, " RX-Hald", ""), SampleVariant::Block32);
  EXPECT_EQ(variant(6, 2, "RX-Brin", "/l /f"), SampleVariant::Wide32);
  EXPECT_EQ(variant(6, 2, "RX-Brin", "/f /l"), SampleVariant::Block32);
}

}  // namespace
