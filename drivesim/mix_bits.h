#pragma once
// The simulated drive's made-up values come from one integer mixer, so that every image is
// a fixed function of its inputs and tests can recompute what a drive holds.
#include <cstdint>

namespace drivesim {

constexpr std::uint32_t MixBits(std::uint32_t x) {
  x ^= x >> 16;
  x *= 0x7FEB352Du;
  x ^= x >> 15;
  x *= 0x846CA68Bu;
  x ^= x >> 16;
  return x;
}

}  // namespace drivesim
