#include "quillon/database/drive_db_location.h"

#include <algorithm>
#include <string>

#include "platform/db/value.h"

namespace quillon {

namespace {

std::string_view trimmed(std::string_view text) {
  std::size_t start = text.find_first_not_of(' ');
  if (start == std::string_view::npos) return {};
  std::size_t end = text.find_last_not_of(' ');
  return text.substr(start, end - start + 1);
}

// A drive's texts name one file or folder, never a way out of the search folders.
bool isPlainName(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (char c : name)
    if (c == '/' || c == '\\' || c == '\0') return false;
  return true;
}

struct Candidate {
  const std::filesystem::path* base;
  std::filesystem::path relative;
};

std::vector<Candidate> candidates(const DriveDbSearch& search, std::string_view driveType, std::string_view version) {
  std::string type(trimmed(driveType));
  std::string file = std::string(trimmed(version)) + ".mdb";
  std::vector<Candidate> list;
  if (!isPlainName(trimmed(version))) return list;
  bool typeUsable = isPlainName(type);
  list.push_back({&search.dataFolder, file});
  if (typeUsable) {
    list.push_back({&search.installRoot, std::filesystem::path("Program files/Korvane/Pelmark Tool/DRIVE DB") / type / file});
    list.push_back({&search.installRoot, std::filesystem::path("Program Files/Orlenta/DRIVE DB") / type / file});
  }
  list.push_back({&search.installRoot, std::filesystem::path("Program Files/Ardell/Stravix/Definitions/Product Definition") / file});
  list.push_back({&search.programFolder, file});
  return list;
}

}  // namespace

std::vector<std::filesystem::path> DriveDbCandidates(const DriveDbSearch& search, std::string_view driveType,
                                                     std::string_view version) {
  std::vector<std::filesystem::path> paths;
  for (const auto& candidate : candidates(search, driveType, version)) paths.push_back(*candidate.base / candidate.relative);
  return paths;
}

namespace {

// Several folders may differ only in case ("Program Files", "PROGRAM FILES"); each is tried.
std::optional<std::filesystem::path> findBelow(const std::filesystem::path& current,
                                               std::filesystem::path::iterator part,
                                               std::filesystem::path::iterator end) {
  std::error_code error;
  if (part == end) return std::nullopt;
  bool wantFile = std::next(part) == end;
  auto fits = [&](const std::filesystem::path& p) {
    return wantFile ? std::filesystem::is_regular_file(p, error) : std::filesystem::is_directory(p, error);
  };
  auto descend = [&](const std::filesystem::path& p) -> std::optional<std::filesystem::path> {
    if (wantFile) return p;
    return findBelow(p, std::next(part), end);
  };
  std::filesystem::path exact = current / *part;
  if (fits(exact))
    if (auto found = descend(exact)) return found;
  std::vector<std::filesystem::path> matches;
  for (std::filesystem::directory_iterator it(current, error), stop; !error && it != stop; it.increment(error))
    if (it->path().filename() != *part && platform::db::sameName(it->path().filename().string(), part->string()))
      matches.push_back(it->path());
  std::sort(matches.begin(), matches.end());
  for (const auto& match : matches)
    if (fits(match))
      if (auto found = descend(match)) return found;
  return std::nullopt;
}

}  // namespace

std::optional<std::filesystem::path> FindWithoutCase(const std::filesystem::path& base,
                                                     const std::filesystem::path& relative) {
  std::error_code error;
  if (base.empty() || relative.empty() || !std::filesystem::is_directory(base, error)) return std::nullopt;
  return findBelow(base, relative.begin(), relative.end());
}

std::optional<std::filesystem::path> LocateDriveDb(const DriveDbSearch& search, std::string_view driveType,
                                                   std::string_view version) {
  for (const auto& candidate : candidates(search, driveType, version))
    if (auto found = FindWithoutCase(*candidate.base, candidate.relative)) return found;
  return std::nullopt;
}

}  // namespace quillon
