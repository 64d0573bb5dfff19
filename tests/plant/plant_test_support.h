#pragma once
// What the plant tests share: the plant rig, the programs of this build, a scratch folder and
// the saves a run left.
#include <stdlib.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "drivesim/drive_profile.h"
#include "tests/plant/plant_rig.h"

namespace quillon_test {

inline std::string QuillonPath() { return QUILLON_BINARY_DIR "/quillon/window/quillon"; }

// A drive of `type` with the panel name `panel`; the rest as the simulated drive's default.
inline drivesim::DriveOptions PlantDrive(const std::string& type, const std::string& panel) {
  drivesim::DriveOptions options;
  options.driveType = type;
  options.panelName = panel;
  return options;
}

class ScratchFolder {
 public:
  ScratchFolder() {
    char name[] = "/tmp/quillon_plant_XXXXXX";
    path_ = ::mkdtemp(name) ? name : "";
  }
  ~ScratchFolder() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// The archives and moved folders under DOCUMENTS/Quillon.
inline std::vector<std::filesystem::path> SavesIn(const std::filesystem::path& documents) {
  std::vector<std::filesystem::path> saves;
  std::error_code ignored;
  for (const auto& entry : std::filesystem::directory_iterator(documents / "Quillon", ignored))
    if (entry.path().filename().string().starts_with("TRBSAVE_")) saves.push_back(entry.path());
  return saves;
}

// The commands a drive was sent ("QT", "Q1", "MY100" ...), each once.
inline std::set<std::string> CommandsSentTo(const drivesim::SimulatedDrive& drive) {
  std::set<std::string> commands;
  for (const auto& payload : drive.requests()) commands.insert(std::string(payload.begin(), payload.end()));
  return commands;
}

inline void replaceAll(std::string& text, const std::string& from, const std::string& to) {
  for (std::size_t at = text.find(from); !from.empty() && at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
}

// Every file of an archive by its path inside, with its bytes, as lha extracts it; the run's
// own date and time (of the archive's name) read "STAMP" in names and contents, so that two
// saves of one drive compare equal.
inline std::map<std::string, std::string> ArchivedFiles(const std::filesystem::path& archive) {
  std::string stamp = archive.stem().string();
  stamp = stamp.substr(stamp.find('_'));
  const ScratchFolder into;
  std::map<std::string, std::string> files;
  const CommandResult extracted = RunCommand({"sh", "-c", "cd '" + into.path() + "' && lha -xq '" + archive.string() + "'"});
  EXPECT_EQ(extracted.status, 0) << extracted.output;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(into.path())) {
    if (!entry.is_regular_file()) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    std::string name = std::filesystem::relative(entry.path(), into.path()).string(), content = bytes.str();
    replaceAll(name, stamp, "_STAMP");
    replaceAll(content, stamp, "_STAMP");
    files[name] = content;
  }
  return files;
}

// The names of the files that differ or that only one of two archives holds.
inline std::vector<std::string> DifferingFiles(const std::map<std::string, std::string>& a,
                                               const std::map<std::string, std::string>& b) {
  std::vector<std::string> differing;
  for (const auto& [name, bytes] : a)
    if (!b.count(name) || b.at(name) != bytes) differing.push_back(name);
  for (const auto& [name, bytes] : b)
    if (!a.count(name)) differing.push_back(name);
  return differing;
}

}  // namespace quillon_test
