#include "quillon/run/sample_plan.h"

#include <algorithm>

namespace quillon {
namespace {

constexpr int kWideRequestLevel = 6;
constexpr int kWideRequestMinorAbove = 1;
constexpr std::string_view kWideDriveTypes[] = {"RX-Jarn", "RX-Fenn", "RX-Hald"};

}  // namespace

SampleVariant ChooseSampleVariant(int level, int minor, std::string_view driveType, bool forcesWideRequests) {
  if (level < kWideRequestLevel) return SampleVariant::Narrow16;
  const bool wideType = std::any_of(std::begin(kWideDriveTypes), std::end(kWideDriveTypes),
                                    [&](std::string_view type) { return driveType.starts_with(type); });
  if (minor > kWideRequestMinorAbove && (wideType || forcesWideRequests)) return SampleVariant::Wide32;
  return SampleVariant::Block32;
}

}  // namespace quillon
