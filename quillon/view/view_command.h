#pragma once
// The commands that look at a save:
//   quillon view PATH [--snapshot FILE.png] [--sample-time SECONDS]
//   quillon report PATH [-o FILE.html] [--sample-time SECONDS]
//   quillon export PATH --csv DIR [--force]
//   quillon diff OLD NEW [--json] [--html FILE], quillon diff --previous SAVE
//   quillon list [FOLDER] [--json]
// each also with --codepage NAME (the code page the save's CSV files were written in).
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/shell/codepage.h"

namespace quillon::view {

// Exit statuses, the same as the save run's: done, the save could not be read or written,
// the command line was not understood.
inline constexpr int kViewDone = 0;
inline constexpr int kViewFailed = 1;
inline constexpr int kViewUsage = 64;
// `quillon diff`, as diff(1): the saves are the same, they differ, a save cannot be read.
inline constexpr int kDiffSame = 0;
inline constexpr int kDiffDifferent = 1;
inline constexpr int kDiffTrouble = 2;

struct ViewCommand {
  enum class Kind { View, Report, Export, Diff, List };
  Kind kind = Kind::View;
  std::filesystem::path path;                     // diff: the newer save; list: the folder, if given
  std::optional<std::filesystem::path> snapshot;  // view
  std::optional<double> secondsPerSampling;       // view, report, export: --sample-time
  std::optional<std::filesystem::path> output;    // report
  bool full = false;                              // report: setting parameters opened
  std::filesystem::path csvFolder;                // export
  bool force = false;                             // export: replace files of the same names
  bool excel = false;                             // export: UTF-8 with byte-order mark
  std::optional<std::filesystem::path> compare;   // diff, report --compare: the older save
  bool previous = false;                          // diff --previous
  bool json = false;                              // diff, list
  std::optional<std::filesystem::path> html;      // diff
  std::optional<std::filesystem::path> documents;    // where the saves of every drive are kept
  std::optional<std::filesystem::path> installRoot;  // of the drive databases that name parameters
  platform::shell::CodePage codePage;
  bool help = false;
};

struct ViewParse {
  bool isViewCommand = false;  // the first word names one of the commands
  ViewCommand command;
  std::string usageError;
};

// `args` without the program name.
ViewParse ParseViewCommand(const std::vector<std::string>& args);

// The report's file when -o is not given: PATH with ".html" for its extension.
std::filesystem::path DefaultReportFile(const std::filesystem::path& path);

std::string ViewUsageText();

// Runs a command when argv names one; nothing otherwise, and the save run goes ahead.
std::optional<int> RunViewCommand(int argc, char** argv);

}  // namespace quillon::view
