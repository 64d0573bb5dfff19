#include "quillon/window/sample_plan.h"

#include <algorithm>

namespace quillon {
namespace {

constexpr int kWideRequestLevel = 6;
constexpr int kWideRequestMinorAbove = 1;
constexpr std::string_view kWideDriveTypes[] = {"RX-Jarn", "RX-Fenn", "RX-Hald"};

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

}  // namespace quillon
