#pragma once
// Which drive memory the save run copies: the setting-parameter area for every drive and the
// event-log area for the few drive types that keep one, chosen by drive type and interface level.
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace quillon {

// Byte addresses; an area's end is the address of its last 32-bit item (the area ends at end + 4).
struct MemoryRanges {
  std::int32_t SetpointStart = 0;
  std::int32_t SetpointEnd = 3068;
  std::int32_t EventLogStart = 0;
  std::int32_t EventLogEnd = 0;
};

inline constexpr int kInterfaceLevel32Bit = 6;  // from this level on, addresses are 32-bit ("Lp")

// The areas for one drive. Every call starts from the start-up area, so a run after a run on
// another drive type does not inherit that drive's range.
MemoryRanges chooseMemoryRanges(int interfaceLevel, std::string_view driveType);

// Whether the save run reads the event-log area and writes its file for this drive.
bool driveHasEventLog(int interfaceLevel, std::string_view driveType);

// Number of entries (index 0 included) of a word table for the area start..end: indexes 0 to
// (span / 2 + 1), rounded half to even; an area with a negative span gives the lone index 0.
std::size_t memoryWordTableSize(std::int32_t start, std::int32_t end);

// Span of an area in bytes, computed without overflow.
std::int64_t memorySpanBytes(std::int32_t start, std::int32_t end);

// The drive type as compared by the save run: blanks trimmed at both ends.
std::string_view trimmedDriveType(std::string_view driveType);

}  // namespace quillon
