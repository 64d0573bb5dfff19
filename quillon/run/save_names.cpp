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
  return name;
}

std::string DatedSaveName(const std::tm& t) {
  char stamp[40];
  std::snprintf(stamp, sizeof stamp, "_%04d%02d%02d_%02d%02d%02d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday,
                t.tm_hour, t.tm_min, t.tm_sec);
  return kWorkingFolderName + std::string(stamp);
}

std::string PackCommand(const std::filesystem::path& archive, const std::filesystem::path& folder) {
  return "a \"" + archive.string() + "\" \"" + folder.string() + "\"\\ *.* -d -n1 -gm1";
}

}  // namespace quillon
