#pragma once
// Shared by the drive database download tests: a folder of their own, archives built with the
// stored-member writer, and a deliberately naive extractor that writes wherever an archive's
// names say.
#include <filesystem>
#include <string>
#include <vector>

#include "drivesim/command_model.h"
#include "drivesim/lzh_store.h"
#include "tests/requests/scripted_exchange.h"

namespace quillon_test {

// A fresh folder below the system's temporary folder, removed with its contents afterwards.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// `size` bytes that never end in 0 and hold no run of 62 zeros or 62 0xFF.
Bytes PatternBytes(std::size_t size, std::uint32_t seed);
Bytes TextBytes(const std::string& text);
Bytes ReadFileBytes(const std::filesystem::path& path);
void WriteFileBytes(const std::filesystem::path& path, const Bytes& bytes);

// Extracts every member to `folder` / (its name as the decoder reports it) without any check:
// an absolute name goes where it points. Returns 0, or 1 when the archive cannot be read.
int ExtractWithoutChecks(const std::filesystem::path& archive, const std::filesystem::path& folder);

// The archive and target folder of an "e" command: e "<archive>" "<folder>/" -n1 -gm1
bool ParseExtractCommand(const std::string& command, std::filesystem::path& archive, std::filesystem::path& folder);

}  // namespace quillon_test
