#pragma once
// Scratch folders, files as bytes and the outside LHA readers, for the archive tests.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace archive_test {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

// A folder of the test's own below the temporary folder; gone again with the object.
class Scratch {
 public:
  explicit Scratch(const std::string& name) : root_(fs::temp_directory_path() / (name + "-" + std::to_string(::getpid()))) {
    fs::remove_all(root_);
    fs::create_directories(root_);
  }
  ~Scratch() {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;
  fs::path operator/(const fs::path& name) const { return root_ / name; }

 private:
  fs::path root_;
};

inline Bytes bytesOf(const std::string& text) { return Bytes(text.begin(), text.end()); }

inline std::string readFile(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void writeFile(const fs::path& file, const std::string& bytes) {
  fs::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << bytes;
}
inline void writeFile(const fs::path& file, const Bytes& bytes) { writeFile(file, std::string(bytes.begin(), bytes.end())); }

inline bool haveCommand(const std::string& name) { return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0; }

inline bool runningInCi() {
  const char* ci = std::getenv("CI");
  return ci && std::string(ci) == "true";
}

// lhasa's `lha` extracts `archive` into `folder` (made for it); false when it refuses.
inline bool lhaExtracts(const fs::path& archive, const fs::path& folder) {
  fs::create_directories(folder);
  const std::string command = "cd \"" + folder.string() + "\" && lha xq \"" + archive.string() + "\" >/dev/null 2>&1";
  return std::system(command.c_str()) == 0;
}

}  // namespace archive_test
