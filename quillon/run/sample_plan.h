#pragma once
// Which of the three trace request variants a bank is read with. (Whether the layout can be
// numbered in two-digit blocks is checked by the sample requests before their first request.)
#include <string_view>

namespace quillon {

enum class SampleVariant {
  Narrow16,  // "MZ1" / "MZ2": 16-bit, interface level below 6
  Block32,   // "Mz1" / "Mz2": 32-bit, 8 addresses / 15 samples per block
  Wide32,    // "mz1" / "mzx": 32-bit, 32 addresses / 61 samples per block
};

// `forcesWideRequests`: the command line ends with "/f".
SampleVariant ChooseSampleVariant(int interfaceLevel, int interfaceMinor, std::string_view driveType,
                                  bool forcesWideRequests);

}  // namespace quillon
