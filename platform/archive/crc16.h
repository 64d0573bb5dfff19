#pragma once
// CRC-16 of LZH archives: polynomial 0x8005 reflected (0xA001), initial value 0.
#include <cstddef>
#include <cstdint>

namespace platform::archive {

std::uint16_t UpdateCrc16(std::uint16_t crc, const std::uint8_t* data, std::size_t size);

inline std::uint16_t Crc16(const std::uint8_t* data, std::size_t size) { return UpdateCrc16(0, data, size); }

}  // namespace platform::archive
