#include "quillon/window/sample_plan.h"

#include <algorithm>

namespace quillon {
namespace {

constexpr int kWideRequestLevel = 6;
constexpr int kWideRequestMinorAbove = 1;
constexpr std::string_view kWideDriveTypes[] = {"RX-Jarn", "RX-Fenn", "RX-Hald"};

std::string tooManyBlocks(SampleVariant variant, int group, int depth) {
  return "The drive's trace-back layout cannot be read: group " + std::to_string(group) + " holds " +
         std::to_string(depth) + " samples per signal, which needs " +
         std::to_string(SampleBlockCount(depth, SamplesPerBlock(variant))) + " \"" + SampleCommand(variant) +
         "\" blocks, more than the block number can hold (" + std::to_string(kLargestBlockNumber) + ")";
}

}  // namespace

SampleVariant ChooseSampleVariant(int level, int minor, std::string_view driveType, std::string_view commandLine) {
  if (level < kWideRequestLevel) return SampleVariant::Narrow16;
  const bool wideType = std::any_of(std::begin(kWideDriveTypes), std::end(kWideDriveTypes),
                                    [&](std::string_view type) { return driveType.starts_with(type); });
  if (minor > kWideRequestMinorAbove && (wideType || commandLine.ends_with("/f"))) return SampleVariant::Wide32;
  return SampleVariant::Block32;
}

const char* AddressCommand(SampleVariant v) {
  return v == SampleVariant::Narrow16 ? "MZ1" : v == SampleVariant::Block32 ? "Mz1" : "mz1";
}
const char* SampleCommand(SampleVariant v) {
  return v == SampleVariant::Narrow16 ? "MZ2" : v == SampleVariant::Block32 ? "Mz2" : "mzx";
}
int SamplesPerBlock(SampleVariant v) { return v == SampleVariant::Narrow16 ? 31 : v == SampleVariant::Block32 ? 15 : 61; }
int AddressesPerBlock(SampleVariant v) { return v == SampleVariant::Wide32 ? 32 : 8; }

int SampleBlockCount(int depth, int samplesPerBlock) { return depth / samplesPerBlock + 1; }

std::string LayoutProblem(SampleVariant variant, const std::array<int, 5>& groupDepth,
                          const std::array<int, 6>& groupSignals) {
  int signals = 0;
  for (int g = 1; g <= 5; ++g) signals += groupSignals[g];
  if (signals > kLargestSignalCount)
    return "The drive's trace-back layout cannot be read: its groups hold " + std::to_string(signals) +
           " signals, more than " + std::to_string(kLargestSignalCount);
  if (signals == 0) return {};
  const int perBlock = SamplesPerBlock(variant);
  if (variant == SampleVariant::Narrow16) {
    // Every signal is read to the deepest group's depth.
    const int deepest = *std::max_element(groupDepth.begin(), groupDepth.end());
    const int depth = deepest * kSamplesPerDepthUnit;
    const int group = static_cast<int>(std::max_element(groupDepth.begin(), groupDepth.end()) - groupDepth.begin()) + 1;
    if (SampleBlockCount(depth, perBlock) > kLargestBlockNumber) return tooManyBlocks(variant, group, depth);
    return {};
  }
  for (int g = 1; g <= 5; ++g) {
    if (groupSignals[g] == 0) continue;  // no signal is read with this group's depth
    const int depth = groupDepth[g - 1] * kSamplesPerDepthUnit;
    if (SampleBlockCount(depth, perBlock) > kLargestBlockNumber) return tooManyBlocks(variant, g, depth);
  }
  return {};
}

}  // namespace quillon
