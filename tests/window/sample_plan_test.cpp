#include "quillon/window/sample_plan.h"

#include <gtest/gtest.h>

namespace {
using namespace quillon;

TEST(SamplePlan, LargestLayoutsEachVariantCanNumber) {
  const std::array<int, 6> oneSignal{0, 1, 0, 0, 0, 0};
  // "MZ2": 123 x 64 = 7872 samples -> 254 blocks; 124 x 64 -> 257.
  EXPECT_EQ(LayoutProblem(SampleVariant::Narrow16, {123, 0, 0, 0, 0}, oneSignal), "");
  EXPECT_NE(LayoutProblem(SampleVariant::Narrow16, {124, 0, 0, 0, 0}, oneSignal), "");
  // The 16-bit request reads every signal to the deepest group, even one without signals.
  EXPECT_NE(LayoutProblem(SampleVariant::Narrow16, {1, 0, 0, 0, 200}, oneSignal), "");
  // "Mz2": 59 x 64 = 3776 -> 252 blocks; 60 x 64 = 3840 -> 257.
  EXPECT_EQ(LayoutProblem(SampleVariant::Block32, {59, 0, 0, 0, 0}, oneSignal), "");
  const std::string refused = LayoutProblem(SampleVariant::Block32, {60, 0, 0, 0, 0}, oneSignal);
  EXPECT_EQ(refused,
            "The drive's trace-back layout cannot be read: group 1 holds 3840 samples per signal, which needs "
            "257 \"Mz2\" blocks, more than the block number can hold (255)");
  // A deep group without signals is never read in the 32-bit variants.
  EXPECT_EQ(LayoutProblem(SampleVariant::Block32, {1, 255, 0, 0, 0}, oneSignal), "");
  // "mzx": 243 x 64 = 15552 -> 255 blocks; 244 x 64 -> 257.
  EXPECT_EQ(LayoutProblem(SampleVariant::Wide32, {243, 0, 0, 0, 0}, oneSignal), "");
  EXPECT_NE(LayoutProblem(SampleVariant::Wide32, {244, 0, 0, 0, 0}, oneSignal), "");
  // Signal counts beyond one byte, and an empty layout.
  EXPECT_EQ(LayoutProblem(SampleVariant::Block32, {15, 15, 15, 15, 15}, {0, 255, 0, 0, 0, 0}), "");
  EXPECT_NE(LayoutProblem(SampleVariant::Block32, {15, 15, 15, 15, 15}, {0, 200, 56, 0, 0, 0}), "");
  EXPECT_EQ(LayoutProblem(SampleVariant::Narrow16, {255, 255, 255, 255, 255}, {0, 0, 0, 0, 0, 0}), "");
  EXPECT_EQ(SampleBlockCount(960, 15), 65);
  EXPECT_EQ(SampleBlockCount(64, 31), 3);
  EXPECT_EQ(SampleBlockCount(0, 61), 1);
}

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
