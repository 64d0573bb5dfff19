#include "quillon/run/save_names.h"

#include <cstdio>

#include "quillon/run/run_folders.h"

namespace quillon {
namespace {

void replaceAll(std::string& text, std::string_view from, std::string_view to) {
  for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
}

}  // namespace

std::string SafePanelNameOf(std::string_view panelName) {
  std::string name(panelName);
  name.erase(name.find_last_not_of(' ') + 1);
  static constexpr std::string_view kUnsafe[] = {"\\", "/", "*", "?", "<", ">", "|", "\"", ":", ";", "\r\n"};
  for (std::string_view unsafe : kUnsafe) replaceAll(name, unsafe, "_");
  replaceAll(name, std::string_view("\0", 1), "_");
  if (!name.empty() && name.find_first_not_of('.') == std::string::npos) name.assign(name.size(), '_');
  if (name.size() > kLongestSafePanelName) {
    std::size_t cut = kLongestSafePanelName;
    while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;  // UTF-8 continuation byte
    name.resize(cut);
    name.erase(name.find_last_not_of(' ') + 1);
  }
  return name;
}

std::string DatedSaveName(const std::tm& t) {
  char stamp[40];
  std::snprintf(stamp, sizeof stamp, "_%04d%02d%02d_%02d%02d%02d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday,
                t.tm_hour, t.tm_min, t.tm_sec);
  return kWorkingFolderName + std::string(stamp);
}

std::string IncompleteSaveName(const std::tm& localTime) { return DatedSaveName(localTime) + "_incomplete"; }

namespace {

bool nameTaken(const std::filesystem::path& path) {
  std::error_code ignored;
  return std::filesystem::exists(std::filesystem::symlink_status(path, ignored));
}

}  // namespace

std::filesystem::path FirstFreeName(const std::filesystem::path& folder, const std::string& name,
                                    const std::string& extension) {
  std::filesystem::path candidate = folder / (name + extension);
  for (int counter = 2; nameTaken(candidate); ++counter)
    candidate = folder / (name + "_" + std::to_string(counter) + extension);
  return candidate;
}

std::filesystem::path FreeDatedTarget(const std::filesystem::path& folder, std::tm localTime) {
  constexpr int kSecondsTried = 24 * 60 * 60;
  localTime.tm_isdst = -1;
  std::filesystem::path target = folder / DatedSaveName(localTime);
  for (int tried = 1; tried < kSecondsTried; ++tried) {
    if (!nameTaken(target) && !nameTaken(target.string() + kArchiveExtension)) break;
    // The next second, with minutes, days and months carried over.
    ++localTime.tm_sec;
    std::mktime(&localTime);
    target = folder / DatedSaveName(localTime);
  }
  return target;
}

std::string PackCommand(const std::filesystem::path& archive, const std::filesystem::path& folder) {
  return "a \"" + archive.string() + "\" \"" + folder.string() + "\"\\ *.* -d -n1 -gm1";
}

}  // namespace quillon
