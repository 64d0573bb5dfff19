#include "quillon/requests/memory_ranges.h"

#include <array>
#include <cmath>

namespace quillon {

namespace {

constexpr std::int32_t kStartupSetpointEnd = 3068;   // 0xBFC
constexpr std::int32_t kArdoSetpointEnd = 6140;      // 0x17FC

struct TypedRange {
  std::int32_t start;
  std::int32_t end;
};
constexpr TypedRange kBrinFamilyRange{0x4059000, 0x405FFFC};
constexpr TypedRange kEftaRange{0x4009000, 0x400CFFC};
constexpr TypedRange kOtherRange32{0x24059000, 0x2405CFFC};
constexpr TypedRange kEventLogRange{0x24058C00, 0x24058FFE};

constexpr std::array<std::string_view, 4> kBrinFamily{"RX-Brin", "RX-Cosk", "RX-Mott", "RX-Dulm"};
constexpr std::array<std::string_view, 3> kEventLogTypes{"RX-Fenn", "RX-Kelp", "RX-Gorv"};

template <std::size_t N>
bool isOneOf(std::string_view type, const std::array<std::string_view, N>& names) {
  for (std::string_view name : names)
    if (type == name) return true;
  return false;
}

}  // namespace

std::string_view trimmedDriveType(std::string_view driveType) {
  const auto first = driveType.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  const auto last = driveType.find_last_not_of(' ');
  return driveType.substr(first, last - first + 1);
}

MemoryRanges chooseMemoryRanges(int interfaceLevel, std::string_view driveType) {
  const std::string_view type = trimmedDriveType(driveType);
  MemoryRanges ranges;
  if (interfaceLevel < kInterfaceLevel32Bit) {
    if (type == "RX-Ardo") ranges.SetpointEnd = kArdoSetpointEnd;
    else ranges.SetpointEnd = kStartupSetpointEnd;
    return ranges;
  }
  TypedRange setpoints = kOtherRange32;
  if (isOneOf(type, kBrinFamily)) setpoints = kBrinFamilyRange;
  else if (type == "RX-Efta") setpoints = kEftaRange;
  ranges.SetpointStart = setpoints.start;
  ranges.SetpointEnd = setpoints.end;
  ranges.EventLogStart = kEventLogRange.start;
  ranges.EventLogEnd = kEventLogRange.end;
  return ranges;
}

bool driveHasEventLog(int interfaceLevel, std::string_view driveType) {
  return interfaceLevel >= kInterfaceLevel32Bit && isOneOf(trimmedDriveType(driveType), kEventLogTypes);
}

std::int64_t memorySpanBytes(std::int32_t start, std::int32_t end) {
  return static_cast<std::int64_t>(end) + 4 - start;
}

std::size_t memoryWordTableSize(std::int32_t start, std::int32_t end) {
  const double upperIndex = std::nearbyint(static_cast<double>(memorySpanBytes(start, end)) / 2.0 + 1.0);
  if (upperIndex < 0) return 1;
  return static_cast<std::size_t>(upperIndex) + 1;
}

}  // namespace quillon
