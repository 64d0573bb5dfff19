#include "platform/archive/lzh_format.h"

#include <cstring>

#include "platform/archive/crc16.h"

namespace platform::archive {
namespace {

constexpr std::uint8_t kReservedValue = 0x20;
constexpr std::uint8_t kHeaderLevel2 = 2;
constexpr std::uint8_t kUnixOsId = 'U';

void PutLe(std::vector<std::uint8_t>& out, std::size_t offset, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// Appends one extended header; its size goes into the 2 bytes at `sizeField`, and the
// returned offset is where the next one's size goes.
std::size_t AppendExtension(std::vector<std::uint8_t>& header, std::size_t sizeField, std::uint8_t type,
                            const std::vector<std::uint8_t>& data) {
  PutLe(header, sizeField, static_cast<std::uint32_t>(1 + data.size() + 2), 2);
  header.push_back(type);
  header.insert(header.end(), data.begin(), data.end());
  header.push_back(0);
  header.push_back(0);
  return header.size() - 2;
}

struct SplitName {
  std::vector<std::uint8_t> folder;  // stored form: each component followed by 0xFF
  std::vector<std::uint8_t> file;
};

SplitName SplitStoredName(const std::string& name, bool directory) {
  SplitName split;
  const std::size_t slash = directory ? name.size() : name.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string() : name.substr(0, slash);
  for (char c : folder) split.folder.push_back(c == '/' ? kPathSeparator : static_cast<std::uint8_t>(c));
  if (!folder.empty()) split.folder.push_back(kPathSeparator);
  if (!directory) {
    const std::string file = slash == std::string::npos ? name : name.substr(slash + 1);
    split.file.assign(file.begin(), file.end());
  }
  return split;
}

}  // namespace

std::vector<std::uint8_t> Level2Header(const EntryInfo& entry, const char* method, std::uint32_t compressedSize) {
  std::vector<std::uint8_t> header(level2::kBaseSize, 0);
  std::memcpy(header.data() + level2::kMethod, method, 5);
  PutLe(header, level2::kCompressedSize, compressedSize, 4);
  PutLe(header, level2::kOriginalSize, entry.originalSize, 4);
  PutLe(header, level2::kModified, entry.modified, 4);
  header[level2::kReserved] = kReservedValue;
  header[level2::kLevel] = kHeaderLevel2;
  PutLe(header, level2::kDataCrc, entry.dataCrc, 2);
  header[level2::kOsId] = kUnixOsId;

  std::size_t sizeField = AppendExtension(header, level2::kFirstExtensionSize, extension::kCommon, {0, 0});
  const std::size_t headerCrcField = sizeField - 2;
  const SplitName split = SplitStoredName(entry.name, entry.directory);
  if (!entry.directory) sizeField = AppendExtension(header, sizeField, extension::kFileName, split.file);
  if (!split.folder.empty()) sizeField = AppendExtension(header, sizeField, extension::kDirectory, split.folder);
  if (entry.unixMode != 0)
    sizeField = AppendExtension(header, sizeField, extension::kUnixMode,
                                {static_cast<std::uint8_t>(entry.unixMode), static_cast<std::uint8_t>(entry.unixMode >> 8)});
  // A size whose low byte is 0 would read as the end mark to some readers.
  if ((header.size() & 0xFF) == 0) header.push_back(0);
  PutLe(header, level2::kHeaderSize, static_cast<std::uint32_t>(header.size()), 2);
  PutLe(header, headerCrcField, Crc16(header.data(), header.size()), 2);
  return header;
}

}  // namespace platform::archive
