#pragma once
// LZH archive entries as written here: level-2 headers with their extensions.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace platform::archive {

// Field positions of a level-2 header.
namespace level2 {
constexpr std::size_t kHeaderSize = 0;       // 2 bytes, the whole header
constexpr std::size_t kMethod = 2;           // 5 bytes, "-lh5-"
constexpr std::size_t kCompressedSize = 7;   // 4 bytes
constexpr std::size_t kOriginalSize = 11;    // 4 bytes
constexpr std::size_t kModified = 15;        // 4 bytes, Unix time
constexpr std::size_t kReserved = 19;        // 1 byte
constexpr std::size_t kLevel = 20;           // 1 byte
constexpr std::size_t kDataCrc = 21;         // 2 bytes
constexpr std::size_t kOsId = 23;            // 1 byte
constexpr std::size_t kFirstExtensionSize = 24;  // 2 bytes
constexpr std::size_t kBaseSize = 26;
}  // namespace level2

// Extended header types.
namespace extension {
constexpr std::uint8_t kCommon = 0x00;     // header CRC
constexpr std::uint8_t kFileName = 0x01;
constexpr std::uint8_t kDirectory = 0x02;  // components ended by 0xFF each
constexpr std::uint8_t kUnixMode = 0x50;
}  // namespace extension

constexpr std::uint8_t kPathSeparator = 0xFF;
constexpr char kStoredMethod[] = "-lh0-";
constexpr char kLh5Method[] = "-lh5-";
constexpr char kDirectoryMethod[] = "-lhd-";
constexpr std::uint8_t kArchiveEnd = 0;

struct EntryInfo {
  std::string name;                 // relative path, '/' between components
  bool directory = false;
  std::uint32_t modified = 0;       // Unix time
  std::uint16_t unixMode = 0;       // with the file type bits; 0 leaves it out
  std::uint32_t originalSize = 0;
  std::uint16_t dataCrc = 0;
};

// The level-2 header of an entry whose data is `compressedSize` bytes of `method`.
std::vector<std::uint8_t> Level2Header(const EntryInfo& entry, const char* method, std::uint32_t compressedSize);

}  // namespace platform::archive
