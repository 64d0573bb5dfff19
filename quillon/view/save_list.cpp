#include "quillon/view/save_list.h"

#include <time.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <set>

#include "quillon/view/listing_text.h"
#include "quillon/view/save_reader.h"

namespace quillon::view {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kSavePrefix = "TRBSAVE_";
constexpr std::string_view kWorkingFolder = "TRBSAVE";
constexpr std::string_view kKeptAsideMark = "_incomplete";
constexpr std::string_view kSettingWorkbookPrefix = "Set_Sram_";
constexpr int kFolderLevels = 3;  // documents folder, program folder, a drive's folder

bool allDigits(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); });
}

// "YYYYMMDD_hhmmss" at `at` of `name`, as "YYYYMMDDhhmmss".
std::optional<std::string> stampAt(std::string_view name, std::size_t at) {
  if (at + 15 > name.size()) return std::nullopt;
  const std::string_view date = name.substr(at, 8), time = name.substr(at + 9, 6);
  if (name[at + 8] != '_' || !allDigits(date) || !allDigits(time)) return std::nullopt;
  return std::string(date) + std::string(time);
}

std::string stampText(const std::string& stamp) {
  return stamp.substr(0, 4) + "-" + stamp.substr(4, 2) + "-" + stamp.substr(6, 2) + " " + stamp.substr(8, 2) + ":" +
         stamp.substr(10, 2) + ":" + stamp.substr(12, 2);
}

std::string lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

// The date and time of the save a name gives, if it gives one.
std::optional<std::string> stampOfName(const std::string& name) {
  if (name.starts_with(kSavePrefix)) return stampAt(name, kSavePrefix.size());
  const std::string stem = fs::path(name).stem().string();
  if (name.starts_with(kSettingWorkbookPrefix) && lower(fs::path(name).extension().string()) == ".mdb" && stem.size() >= 15)
    return stampAt(stem, stem.size() - 15);
  return std::nullopt;
}

std::string modificationStamp(const fs::path& path) {
  std::error_code error;
  const auto written = fs::last_write_time(path, error);
  if (error) return "00000000000000";
  const std::time_t seconds =
      std::chrono::system_clock::to_time_t(std::chrono::time_point_cast<std::chrono::system_clock::duration>(
          std::chrono::file_clock::to_sys(written)));
  std::tm local{};
  localtime_r(&seconds, &local);
  char text[16];
  std::strftime(text, sizeof text, "%Y%m%d%H%M%S", &local);
  return text;
}

SaveKind kindOf(const fs::path& path, bool directory) {
  const std::string name = path.filename().string();
  if (directory && name == kWorkingFolder) return SaveKind::WorkingFolder;
  if (!name.starts_with(kSavePrefix)) return SaveKind::Other;
  if (directory) return name.find(kKeptAsideMark) != std::string::npos ? SaveKind::KeptAside : SaveKind::Folder;
  return lower(path.extension().string()) == ".lzh" ? SaveKind::Archive : SaveKind::Other;
}

bool isEmptyFolder(const fs::path& folder) {
  std::error_code error;
  return fs::is_empty(folder, error) || error;
}

void findBelow(const fs::path& folder, int levelsLeft, std::vector<FoundSave>& saves) {
  std::error_code error;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    const bool directory = it->is_directory(error);
    const SaveKind kind = kindOf(it->path(), directory);
    if (kind == SaveKind::WorkingFolder && isEmptyFolder(it->path())) continue;
    if (kind != SaveKind::Other) saves.push_back(DescribeSave(it->path()));
    else if (directory && !it->is_symlink(error) && levelsLeft > 1) findBelow(it->path(), levelsLeft - 1, saves);
  }
}

void sortNewestFirst(std::vector<FoundSave>& saves) {
  std::sort(saves.begin(), saves.end(), [](const FoundSave& a, const FoundSave& b) {
    return a.sortKey != b.sortKey ? a.sortKey > b.sortKey : a.path < b.path;
  });
}

std::string trimmed(const std::string& text) {
  const auto first = text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// A save that went to its end holds each of these.
constexpr std::pair<TableKind, const char*> kPartsOfACompleteSave[] = {
    {TableKind::SettingParameters, "setting parameters"},
    {TableKind::TroubleRecords, "trouble records"},
    {TableKind::EventCounters, "event counters"},
    {TableKind::DriveStatus, "drive status"},
};

std::string missingParts(const SaveModel& model) {
  std::string missing;
  for (const auto& [kind, what] : kPartsOfACompleteSave)
    if (!model.table(kind)) missing += (missing.empty() ? "no " : ", no ") + std::string(what);
  return missing;
}

const char* kindText(SaveKind kind) {
  switch (kind) {
    case SaveKind::Archive: return "archive";
    case SaveKind::Folder: return "folder";
    case SaveKind::KeptAside: return "kept aside";
    case SaveKind::WorkingFolder: return "working folder";
    case SaveKind::Other: return "other";
  }
  return "";
}

std::string stateText(const SaveListing& save) {
  if (!save.damage.empty()) return "damaged";
  return save.complete ? "complete" : "incomplete: " + save.incomplete;
}

// One line per bank: its number where the save keeps it, fault time and faults.
std::vector<std::string> bankLines(const SaveListing& save) {
  std::vector<std::string> lines;
  for (const auto& bank : save.banks) {
    const std::string faults = Joined(bank.faults, ", ");
    lines.push_back((bank.number ? "bank " + std::to_string(*bank.number) + "  " : std::string()) + bank.faultTime + "  " +
                    (faults.empty() ? "no fault" : faults));
  }
  if (lines.empty()) lines.push_back(save.damage.empty() ? "none" : "");
  return lines;
}

bool sameFile(const fs::path& a, const fs::path& b) {
  std::error_code error;
  return fs::equivalent(a, b, error) && !error;
}

// `inner` is `outer` or lies inside it.
bool within(const fs::path& inner, const fs::path& outer) {
  for (fs::path at = fs::absolute(inner); !at.empty(); at = at.parent_path()) {
    if (sameFile(at, outer)) return true;
    if (at == at.parent_path()) break;
  }
  return false;
}

}  // namespace

FoundSave DescribeSave(const fs::path& path) {
  FoundSave save;
  save.path = path;
  std::error_code error;
  save.kind = kindOf(path, fs::is_directory(path, error));
  std::optional<std::string> stamp = stampOfName(path.filename().string());
  for (fs::path above = fs::absolute(path).parent_path(); !stamp && above.has_relative_path(); above = above.parent_path())
    stamp = stampOfName(above.filename().string());
  const std::string key = stamp.value_or(modificationStamp(path));
  save.sortKey = key + " " + path.filename().string();
  save.when = stampText(key);
  return save;
}

std::vector<FoundSave> FindSaves(const fs::path& folder) {
  std::vector<FoundSave> saves;
  findBelow(folder, kFolderLevels, saves);
  sortNewestFirst(saves);
  return saves;
}

SaveListing ListingOf(const FoundSave& save, const SaveModel& model) {
  SaveListing listing;
  listing.save = save;
  listing.driveType = trimmed(model.drive.driveType);
  listing.panelName = trimmed(model.drive.panelName);
  listing.softVersion = trimmed(model.drive.softVersion);
  for (const Bank& bank : model.banks) {
    SaveListing::BankFaults faults{bank.number, bank.faultTime, {}};
    for (const Fault& fault : bank.faults) faults.faults.push_back(fault.name.empty() ? "FI " + fault.code : fault.name);
    listing.banks.push_back(std::move(faults));
  }
  if (save.kind == SaveKind::KeptAside) listing.incomplete = "kept aside, the run did not complete";
  else if (save.kind == SaveKind::WorkingFolder) listing.incomplete = "working folder of a run in progress or ended early";
  else listing.incomplete = missingParts(model);
  listing.complete = listing.incomplete.empty();
  return listing;
}

std::vector<SaveListing> ListSaves(const fs::path& folder, const platform::shell::CodePage& codePage) {
  std::vector<SaveListing> listings;
  for (const FoundSave& save : FindSaves(folder)) {
    try {
      listings.push_back(ListingOf(save, ReadSave(save.path, codePage)));
    } catch (const std::exception& error) {
      SaveListing damaged;
      damaged.save = save;
      damaged.damage = error.what();
      damaged.incomplete = "cannot be read";
      listings.push_back(std::move(damaged));
    }
  }
  return listings;
}

std::string ListText(const std::vector<SaveListing>& saves) {
  std::vector<std::vector<std::string>> rows = {
      {"Saved", "Drive type", "Panel name", "Software", "State", "Banks", "Path"}};
  std::string damaged;
  for (const SaveListing& save : saves) {
    const std::vector<std::string> banks = bankLines(save);
    rows.push_back({save.save.when, save.driveType, save.panelName, save.softVersion, stateText(save), banks.front(),
                    save.save.path.string()});
    for (std::size_t b = 1; b < banks.size(); ++b) rows.push_back({"", "", "", "", "", banks[b]});
    if (!save.damage.empty()) damaged += "  " + save.damage + "\n";
  }
  std::string text = AlignedColumns(rows);
  if (!damaged.empty()) text += "\nDamaged saves:\n" + damaged;
  return text;
}

std::string ListJson(const std::vector<SaveListing>& saves) {
  std::string json = "[";
  for (std::size_t i = 0; i < saves.size(); ++i) {
    const SaveListing& save = saves[i];
    auto optional = [](const std::string& text) { return text.empty() ? std::optional<std::string>() : text; };
    json += (i == 0 ? "\n  {" : ",\n  {");
    json += "\"path\": " + JsonString(save.save.path.string()) + ", \"saved\": " + JsonString(save.save.when) +
            ", \"kind\": " + JsonString(kindText(save.save.kind)) +
            ", \"driveType\": " + JsonString(save.driveType) + ", \"panelName\": " + JsonString(save.panelName) +
            ", \"softwareVersion\": " + JsonString(save.softVersion) + ", \"banks\": [";
    for (std::size_t b = 0; b < save.banks.size(); ++b) {
      const auto& bank = save.banks[b];
      json += std::string(b == 0 ? "" : ", ") + "{\"bank\": " + (bank.number ? std::to_string(*bank.number) : "null") +
              ", \"faultTime\": " + JsonString(bank.faultTime) + ", \"faults\": [";
      for (std::size_t f = 0; f < bank.faults.size(); ++f) json += (f == 0 ? "" : ", ") + JsonString(bank.faults[f]);
      json += "]}";
    }
    json += std::string("], \"complete\": ") + (save.complete ? "true" : "false") +
            ", \"incomplete\": " + JsonOrNull(optional(save.incomplete)) +
            ", \"damaged\": " + JsonOrNull(optional(save.damage)) + "}";
  }
  return json + (saves.empty() ? "]\n" : "\n]\n");
}

std::optional<fs::path> PreviousSave(const fs::path& save, const SaveModel& model, const std::vector<fs::path>& folders,
                                     const platform::shell::CodePage& codePage) {
  const std::string before = DescribeSave(save).sortKey;
  std::vector<FoundSave> candidates;
  std::set<fs::path> searched;
  for (const fs::path& folder : folders) {
    std::error_code error;
    const fs::path canonical = fs::weakly_canonical(folder, error);
    if (!searched.insert(error ? folder : canonical).second) continue;
    for (FoundSave& found : FindSaves(folder))
      if (found.kind != SaveKind::WorkingFolder && found.sortKey < before && !within(save, found.path) &&
          std::none_of(candidates.begin(), candidates.end(), [&](const FoundSave& c) { return sameFile(c.path, found.path); }))
        candidates.push_back(std::move(found));
  }
  sortNewestFirst(candidates);
  const std::string driveType = trimmed(model.drive.driveType), panelName = trimmed(model.drive.panelName);
  for (const FoundSave& candidate : candidates) {
    try {
      const SaveModel other = ReadSave(candidate.path, codePage);
      if (trimmed(other.drive.driveType) == driveType && trimmed(other.drive.panelName) == panelName)
        return candidate.path;
    } catch (const std::exception&) {
      // a damaged save is no save to compare with; an older one may be
    }
  }
  return std::nullopt;
}

}  // namespace quillon::view
