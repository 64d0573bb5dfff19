#pragma once
// quillon watch --drive ADDRESS[:PORT] [--drive ...] | --all [--every SECONDS] [--no-first-save]
//               [--json] [--documents DIR] [--install-root DIR] [--codepage NAME] [--config FILE]
// A long-running watch without a window: each drive is saved by itself when it records a new
// fault. Ends with status 0 on SIGTERM or SIGINT.
#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/shell/codepage.h"
#include "quillon/plant/drive_saver.h"

namespace quillon::plant {

inline constexpr const char* kWatchConfigFile = "/etc/quillon/watch.conf";

struct WatchCommand {
  std::vector<DriveAddress> drives;
  bool all = false;
  std::chrono::seconds every{60};
  bool firstSave = true;
  bool json = false;
  std::optional<std::filesystem::path> documents;
  std::filesystem::path installRoot = "/opt";
  platform::shell::CodePage codePage;
  bool help = false;
};

struct WatchParse {
  bool isWatchCommand = false;  // the first word is "watch"
  WatchCommand command;
  std::string usageError;
};

// `args` without the program name. A --config file's settings come first; the options given
// on the command line replace them.
WatchParse ParseWatchCommand(const std::vector<std::string>& args);
std::string WatchUsageText();

// Runs the watch when argv names it; nothing otherwise.
std::optional<int> RunWatchCommand(int argc, char** argv, const std::filesystem::path& templateFolder);

}  // namespace quillon::plant
