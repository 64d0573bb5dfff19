#pragma once
// Which of the three trace request variants a bank is read with, and whether the group layout
// can be read with it at all: block numbers travel as two hex digits, so no signal may need
// more than 255 blocks, and the signal count must fit its one byte.
#include <array>
#include <string>
#include <string_view>

namespace quillon {

enum class SampleVariant {
  Narrow16,   // "MZ1" / "MZ2": 16-bit, interface level below 6
  Block32,    // "Mz1" / "Mz2": 32-bit, 8 addresses / 15 samples per block
  Wide32,     // "mz1" / "mzx": 32-bit, 32 addresses / 61 samples per block
};

SampleVariant ChooseSampleVariant(int interfaceLevel, int interfaceMinor, std::string_view driveType,
                                  std::string_view commandLine);
const char* AddressCommand(SampleVariant variant);
const char* SampleCommand(SampleVariant variant);
int SamplesPerBlock(SampleVariant variant);
int AddressesPerBlock(SampleVariant variant);

// Blocks a signal of `depth` samples needs: depth div n + 1 (the last may lie wholly beyond).
int SampleBlockCount(int depth, int samplesPerBlock);

inline constexpr int kSamplesPerDepthUnit = 64;
inline constexpr int kLargestBlockNumber = 0xFF;
inline constexpr int kLargestSignalCount = 0xFF;

// The layout as "MX1" gives it: depth of groups 1-5 (units of 64 samples) at 0-4, signal counts
// of groups 1-5 at 1-5. Returns an empty text when every request of the variant can be sent,
// otherwise the message the run ends with.
std::string LayoutProblem(SampleVariant variant, const std::array<int, 5>& groupDepth,
                          const std::array<int, 6>& groupSignals);

}  // namespace quillon
