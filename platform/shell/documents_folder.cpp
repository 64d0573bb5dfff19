#include "platform/shell/documents_folder.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace platform::shell {
namespace {

constexpr std::string_view kDocumentsKey = "XDG_DOCUMENTS_DIR";

std::string trimmed(std::string_view text) {
  const auto first = text.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(" \t\r");
  return std::string(text.substr(first, last - first + 1));
}

std::string environmentOr(const char* name, std::string fallback) {
  const char* value = std::getenv(name);
  return (value && *value) ? std::string(value) : std::move(fallback);
}

std::filesystem::path homeFolder() { return environmentOr("HOME", "/"); }

std::filesystem::path userDirsFile(const std::filesystem::path& home) {
  const std::string configHome = environmentOr("XDG_CONFIG_HOME", (home / ".config").string());
  return std::filesystem::path(configHome) / "user-dirs.dirs";
}

std::string fileText(const std::filesystem::path& file) {
  std::ifstream in(file);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The value of KEY="..." with $HOME / ${HOME} at its start expanded; no other expansion.
std::optional<std::filesystem::path> expandedValue(std::string value,
                                                   const std::filesystem::path& home) {
  if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
    value = value.substr(1, value.size() - 2);
  for (const std::string_view prefix : {"${HOME}", "$HOME"}) {
    if (value.compare(0, prefix.size(), prefix) == 0) {
      value = home.string() + value.substr(prefix.size());
      break;
    }
  }
  if (value.empty() || value.front() != '/') return std::nullopt;
  std::filesystem::path folder = std::filesystem::path(value).lexically_normal();
  if (folder.lexically_relative(home.lexically_normal()) == ".") return std::nullopt;
  return folder;
}

}  // namespace

std::optional<std::filesystem::path> DocumentsDirFromUserDirs(std::string_view userDirsText,
                                                              const std::filesystem::path& home) {
  std::optional<std::filesystem::path> found;
  std::istringstream lines{std::string(userDirsText)};
  for (std::string line; std::getline(lines, line);) {
    const std::string entry = trimmed(line);
    if (entry.empty() || entry.front() == '#') continue;
    const auto equals = entry.find('=');
    if (equals == std::string::npos || trimmed(entry.substr(0, equals)) != kDocumentsKey) continue;
    found = expandedValue(trimmed(entry.substr(equals + 1)), home);  // the last entry counts
  }
  return found;
}

std::filesystem::path DocumentsFolder(const std::optional<std::filesystem::path>& override) {
  if (override && !override->empty()) return std::filesystem::absolute(*override).lexically_normal();
  const std::filesystem::path home = homeFolder();
  if (auto configured = DocumentsDirFromUserDirs(fileText(userDirsFile(home)), home))
    return *configured;
  return home / "Documents";
}

}  // namespace platform::shell
