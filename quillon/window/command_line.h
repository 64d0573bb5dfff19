#pragma once
// The program's command line, parsed once. Options for this system come first; the remaining
// words, joined by one blank, are `CommandLine` with its switches "/l" and "/f". An option
// after them is refused rather than taken for a switch.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/shell/codepage.h"
#include "quillon/run/run_switches.h"

namespace quillon {

struct LaunchOptions {
  bool headless = false;
  bool simulate = false;
  bool answerYes = false;  // headless: answer "Open Folder?" with Yes
  bool dbLoad = false;     // tick "DB Load" (`Check1`): receive the drive's database first
  bool showHelp = false;     // --help, -h
  bool showVersion = false;  // --version
  std::string destIp = "255.255.255.255";
  std::vector<std::string> drives;  // every --drive, in order; several: each saved by a run of its own
  int jobs = 16;                    // --jobs: runs at once when several drives are saved
  int simulateCount = 1;            // --simulate-count: simulated drives started and saved
  std::uint16_t destPort = 22359;
  bool destPortGiven = false;
  std::uint16_t myPort = 22359;
  bool myPortGiven = false;
  std::optional<std::filesystem::path> documents;
  std::optional<std::filesystem::path> installRoot;
  platform::shell::CodePage codePage;  // --codepage: of the drive's texts and the files written
  std::optional<std::string> simulatedDriveType;  // with --simulate
  // --wait: how long answers to a broadcast are listened for (a save: after the first one)
  std::optional<double> waitSeconds;
  bool scan = false;  // `quillon scan`: list the drives on the networks, save nothing
  bool json = false;  // scan: as a JSON array
  bool all = false;   // save every drive a scan finds
  RunSwitches switches;
};

struct LaunchParse {
  LaunchOptions options;
  std::string usageError;  // empty when the line was understood
};

// `args` without the program name.
LaunchParse ParseLaunchOptions(const std::vector<std::string>& args);
// --wait SECONDS: from 0 to 60, decimals allowed; nullopt for anything else.
std::optional<double> WaitSeconds(const std::string& text);
std::string UsageText();

inline constexpr int kMostJobs = 256;
inline constexpr int kMostSimulatedDrives = 200;  // on 127.0.0.11 and up

inline constexpr int kExitCompleted = 0;
inline constexpr int kExitError = 1;
inline constexpr int kExitCancelled = 2;
inline constexpr int kExitUsage = 64;

}  // namespace quillon
