#pragma once
// A plain LZH archive writer: every member stored as it is ("-lh0-" under a level-0 header),
// the archive closed by its end mark. The simulated drive keeps its database archive in this
// form; tests build damaged and hostile archives with it.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace drivesim {

struct LzhMember {
  std::string name;  // as stored: the archive keeps whatever text it is given
  std::vector<std::uint8_t> data;
};

// Names longer than a level-0 header can hold (233 bytes) are cut.
std::vector<std::uint8_t> StoredLzhArchive(const std::vector<LzhMember>& members);

// The CRC of LHA archives (CRC-16, polynomial 0xA001 reflected, start 0).
std::uint16_t LzhCrc16(std::span<const std::uint8_t> bytes);

}  // namespace drivesim
