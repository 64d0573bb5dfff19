#include "tests/requests/download_support.h"

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>

extern "C" {
#include <lhasa.h>
}

namespace quillon_test {

TempFolder::TempFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "quillon-dbload-XXXXXX").string();
  if (::mkdtemp(pattern.data())) path_ = pattern;
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
}

Bytes PatternBytes(std::size_t size, std::uint32_t seed) {
  std::mt19937 random(seed);
  Bytes bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(random() % 255 + 1);  // 1 to 255
  for (std::size_t i = 0; i < size; i += 97) bytes[i] = 0;  // zeros inside, never 62 in a row
  if (!bytes.empty()) bytes.back() = 0x5A;
  return bytes;
}

Bytes TextBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

Bytes ReadFileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

void WriteFileBytes(const std::filesystem::path& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

int ExtractWithoutChecks(const std::filesystem::path& archive, const std::filesystem::path& folder) {
  std::FILE* file = std::fopen(archive.c_str(), "rb");
  if (!file) return 1;
  LHAInputStream* stream = lha_input_stream_from_FILE(file);
  LHAReader* reader = lha_reader_new(stream);
  int result = 0;
  while (LHAFileHeader* header = lha_reader_next_file(reader)) {
    const std::string name = std::string(header->path ? header->path : "") + (header->filename ? header->filename : "");
    const std::filesystem::path target = folder / name;  // an absolute name replaces the folder
    std::error_code ignored;
    std::filesystem::create_directories(target.parent_path(), ignored);
    if (header->filename && !lha_reader_extract(reader, const_cast<char*>(target.c_str()), nullptr, nullptr))
      result = 1;
  }
  lha_reader_free(reader);
  lha_input_stream_free(stream);
  std::fclose(file);
  return result;
}

bool ParseExtractCommand(const std::string& command, std::filesystem::path& archive, std::filesystem::path& folder) {
  if (command.rfind("e \"", 0) != 0) return false;
  const std::size_t archiveEnd = command.find('"', 3);
  if (archiveEnd == std::string::npos || command.compare(archiveEnd, 3, "\" \"") != 0) return false;
  const std::size_t folderEnd = command.find('"', archiveEnd + 3);
  if (folderEnd == std::string::npos || command.substr(folderEnd) != "\" -n1 -gm1") return false;
  archive = command.substr(3, archiveEnd - 3);
  folder = command.substr(archiveEnd + 3, folderEnd - archiveEnd - 3);
  return true;
}

}  // namespace quillon_test
