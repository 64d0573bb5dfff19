#include "drivesim/lzh_store.h"

#include <algorithm>
#include <numeric>

#include "platform/archive/crc16.h"

namespace drivesim {

namespace {

// Level-0 header fields, offsets from the header's first byte.
constexpr std::size_t kOffHeaderSize = 0;   // bytes after the first two
constexpr std::size_t kOffChecksum = 1;     // sum of those bytes, modulo 256
constexpr std::size_t kOffMethod = 2;       // 5 characters
constexpr std::size_t kOffPackedSize = 7;   // 32-bit, least significant first
constexpr std::size_t kOffOriginalSize = 11;
constexpr std::size_t kOffDosTime = 15;     // time word, then date word
constexpr std::size_t kOffAttribute = 19;
constexpr std::size_t kOffLevel = 20;
constexpr std::size_t kOffNameLength = 21;
constexpr std::size_t kOffName = 22;
constexpr std::size_t kFixedHeaderBytes = 24;  // everything but the name
constexpr std::size_t kLongestName = 255 - (kFixedHeaderBytes - 2);
constexpr std::uint8_t kAttributeArchive = 0x20;
constexpr const char* kStoredMethod = "-lh0-";
// One fixed time stamp (2014-06-11 00:00), so that the same members give the same bytes.
constexpr std::uint16_t kDosDate = ((2014 - 1980) << 9) | (6 << 5) | 11;
constexpr std::uint8_t kEndMark = 0;

void putLittle(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value, int width) {
  for (int i = 0; i < width; ++i) bytes[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::vector<std::uint8_t> memberHeader(const LzhMember& member) {
  const std::size_t nameLength = std::min(member.name.size(), kLongestName);
  std::vector<std::uint8_t> header(kFixedHeaderBytes + nameLength, 0);
  header[kOffHeaderSize] = static_cast<std::uint8_t>(header.size() - 2);
  std::copy_n(kStoredMethod, 5, header.begin() + kOffMethod);
  const auto size = static_cast<std::uint32_t>(member.data.size());
  putLittle(header, kOffPackedSize, size, 4);
  putLittle(header, kOffOriginalSize, size, 4);
  putLittle(header, kOffDosTime, static_cast<std::uint32_t>(kDosDate) << 16, 4);
  header[kOffAttribute] = kAttributeArchive;
  header[kOffLevel] = 0;
  header[kOffNameLength] = static_cast<std::uint8_t>(nameLength);
  std::copy_n(member.name.begin(), nameLength, header.begin() + kOffName);
  putLittle(header, kOffName + nameLength, LzhCrc16(member.data), 2);
  header[kOffChecksum] = static_cast<std::uint8_t>(
      std::accumulate(header.begin() + 2, header.end(), 0u) & 0xFFu);
  return header;
}

}  // namespace

std::uint16_t LzhCrc16(std::span<const std::uint8_t> bytes) {
  return platform::archive::Crc16(bytes.data(), bytes.size());
}

std::vector<std::uint8_t> StoredLzhArchive(const std::vector<LzhMember>& members) {
  std::vector<std::uint8_t> archive;
  for (const LzhMember& member : members) {
    const std::vector<std::uint8_t> header = memberHeader(member);
    archive.insert(archive.end(), header.begin(), header.end());
    archive.insert(archive.end(), member.data.begin(), member.data.end());
  }
  archive.push_back(kEndMark);
  return archive;
}

}  // namespace drivesim
