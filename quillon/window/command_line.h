#pragma once
// The program's command line. Options for this system come first and are removed; the
// remaining words, joined by one blank, are `CommandLine`, which the save run tests for the
// switches "/l" and "/f" exactly as the program always has (case-sensitive).
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

struct LaunchOptions {
  bool headless = false;
  bool simulate = false;
  bool answerYes = false;  // headless: answer "Open Folder?" with Yes
  bool dbLoad = false;     // tick "DB Load" (`Check1`): receive the drive's database first
  bool showHelp = false;
  std::string destIp = "255.255.255.255";
  std::uint16_t destPort = 22359;
  bool destPortGiven = false;
  std::uint16_t myPort = 22359;
  std::optional<std::filesystem::path> documents;
  std::optional<std::filesystem::path> installRoot;
  std::optional<std::string> codepage;
  std::optional<std::string> simulatedDriveType;  // with --simulate
  std::string CommandLine;
};

struct LaunchParse {
  LaunchOptions options;
  std::string usageError;  // empty when the line was understood
};

// `args` without the program name.
LaunchParse ParseLaunchOptions(const std::vector<std::string>& args);
std::string UsageText();

// The four tests of the command line.
bool ShowsDbLoad(std::string_view commandLine);        // contains "/l"
bool IsLastFaultOnly(std::string_view commandLine);    // is exactly "/l"
bool SkipsArchive(std::string_view commandLine);       // begins with "/l"
bool ForcesWideRequests(std::string_view commandLine); // ends with "/f"

inline constexpr int kExitCompleted = 0;
inline constexpr int kExitError = 1;
inline constexpr int kExitCancelled = 2;
inline constexpr int kExitUsage = 64;

}  // namespace quillon
