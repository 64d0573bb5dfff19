#include "quillon/view/save_reader.h"

#include <stdlib.h>

#include <algorithm>
#include <cctype>
#include <map>

#include "platform/archive/lzh_reader.h"
#include "platform/shell/folders.h"
#include "quillon/convert/save_folder_files.h"

namespace quillon::view {

namespace {

namespace fs = std::filesystem;

std::string lowerExtension(const fs::path& path) {
  std::string extension = path.extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return extension;
}

// A folder of its own under the temporary folder, removed with everything in it at the end
// of the scope, whether the save could be read or not.
class ScratchFolder {
 public:
  ScratchFolder() {
    std::string name = (fs::temp_directory_path() / "quillon-view-XXXXXX").string();
    if (!::mkdtemp(name.data())) throw SaveError("No temporary folder can be made to extract the archive into.");
    path_ = name;
  }
  ~ScratchFolder() { platform::shell::DeleteFolder(path_, true); }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

std::vector<fs::directory_entry> entriesOf(const fs::path& folder) {
  std::vector<fs::directory_entry> entries;
  std::error_code error;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) entries.push_back(*it);
  if (error) throw SaveError(folder.string() + ": the folder cannot be read (" + error.message() + ").");
  std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.path() < b.path(); });
  return entries;
}

// The bank numbers of the CSV sets in a folder, from their "Trb<bank>_Data.csv" files.
std::vector<int> csvSetBanks(const fs::path& folder) {
  std::vector<int> banks;
  for (const auto& entry : entriesOf(folder)) {
    const std::string name = entry.path().filename().string();
    if (!entry.is_regular_file() || !name.starts_with("Trb") || !name.ends_with("_Data.csv")) continue;
    const std::string digits = name.substr(3, name.size() - 3 - std::string("_Data.csv").size());
    if (digits.empty() || digits.size() > 3 ||
        !std::all_of(digits.begin(), digits.end(), [](unsigned char c) { return std::isdigit(c); }))
      continue;
    banks.push_back(std::stoi(digits));
  }
  std::sort(banks.begin(), banks.end());
  return banks;
}

void readCsvSets(const fs::path& folder, SaveModel& model, const platform::shell::CodePage& codePage) {
  for (int bank : csvSetBanks(folder)) model.banks.push_back(ReadCsvSet(folder, bank, model.drive, codePage));
}

bool isTraceWorkbookName(const std::string& name) {
  return name.starts_with("TRB") && !name.starts_with("TRB_TMP") && lowerExtension(name) == ".mdb";
}

bool isSettingWorkbookName(const std::string& name) {
  return name.starts_with("Set_Sram_") && lowerExtension(name) == ".mdb";
}

void readFolder(const fs::path& folder, SaveModel& model, const platform::shell::CodePage& codePage) {
  const auto entries = entriesOf(folder);
  // The drive's current identity first: the banks' own texts may be older.
  for (const auto& entry : entries)
    if (entry.is_regular_file() && isSettingWorkbookName(entry.path().filename().string())) {
      ReadSettingWorkbook(entry.path(), model);
      break;
    }
  for (const auto& entry : entries) {
    const std::string name = entry.path().filename().string();
    if (entry.is_regular_file() && isTraceWorkbookName(name))
      model.banks.push_back(ReadTraceWorkbook(entry.path(), model.drive));
    else if (entry.is_directory() && name.starts_with("TRB_"))
      readCsvSets(entry.path(), model, codePage);
  }
  readCsvSets(folder, model, codePage);  // a CSV set folder given by itself
  ReadRecordFiles(folder, model, codePage);
  if (model.banks.empty() && model.tables.empty())
    throw SaveError(folder.string() +
                    ": no save found here (no trace-back workbook, CSV set, setting-parameter workbook or record file).");
}

void readWorkbook(const fs::path& file, SaveModel& model) {
  if (isSettingWorkbookName(file.filename().string())) ReadSettingWorkbook(file, model);
  else model.banks.push_back(ReadTraceWorkbook(file, model.drive));
}

void readArchive(const fs::path& file, SaveModel& model, const platform::shell::CodePage& codePage) {
  ScratchFolder scratch;
  // The folder is ours and goes with any failure: one decoding pass, each member checked as written.
  platform::archive::ExtractPolicy policy;
  // Only what a save run can write: a header that claims more is refused before anything
  // is written. The free space is still checked.
  policy.maxMemberBytes = kLargestSaveFileBytes;
  policy.maxTotalBytes = kLargestSaveBytes;
  policy.check = platform::archive::ExtractPolicy::Check::EachMemberAsWritten;
  policy.nameCodePage = codePage.name();
  if (const std::string why = platform::archive::ExtractArchiveFile(file, scratch.path(), policy); !why.empty())
    throw SaveError(file.filename().string() + ": the archive cannot be extracted: " + why + ".");
  readFolder(scratch.path(), model, codePage);
}

void orderBanks(std::vector<Bank>& banks) {
  std::stable_sort(banks.begin(), banks.end(), [](const Bank& a, const Bank& b) {
    if (a.number && b.number) return *a.number < *b.number;
    if (a.number || b.number) return a.number.has_value();
    return a.faultTime < b.faultTime;
  });
}

// A run that ended early leaves its working folder under its own name; a run without the
// drive database writes CSV files, whose signals have no names.
void noteGaps(bool isFolder, bool isWorkbook, SaveModel& model) {
  // Kept by the next run as TRBSAVE_<date>_<time>_incomplete.
  if (isFolder && (model.name == "TRBSAVE" || model.name.ends_with("_incomplete")))
    model.gaps.push_back("This is the working folder of a save run that did not end: it holds only what was read "
                         "before the run stopped.");
  const bool csv = std::any_of(model.banks.begin(), model.banks.end(), [](const Bank& b) { return b.rawSamples; });
  if (csv)
    model.gaps.push_back("Saved without the drive database (CSV files): signals have no names, units or 100 % "
                         "values, and samples are the words the drive sent.");
  else if (!isWorkbook && !model.banks.empty() && !model.table(TableKind::SettingParameters))
    model.gaps.push_back("No setting-parameter workbook: the run ended before the setting parameters were "
                         "converted, so they and the tables made from them are missing.");
  if (!isWorkbook && model.banks.empty())
    model.gaps.push_back("No trace-back bank: the drive had no recorded fault, or the run ended before the first "
                         "bank was saved.");
}

// A workbook does not keep its bank number; a save made with "/l" lists every bank's fault
// time with its number in the other-banks table, which names it.
void numberBanksByOtherBanks(SaveModel& model) {
  const RecordTable* others = model.table(TableKind::OtherBanks);
  if (!others) return;
  const std::size_t bankColumn = others->columnOf("Bank"), timeColumn = others->columnOf("TimeS");
  if (bankColumn >= others->columns.size() || timeColumn >= others->columns.size()) return;
  for (Bank& bank : model.banks) {
    if (bank.number || bank.faultTime.empty()) continue;
    for (const auto& row : others->rows) {
      if (row.size() <= std::max(bankColumn, timeColumn) || TrimBlanks(row[timeColumn]) != TrimBlanks(bank.faultTime)) continue;
      char* end = nullptr;
      const long number = std::strtol(row[bankColumn].c_str(), &end, 10);
      if (end != row[bankColumn].c_str() && *end == '\0' && number >= 0 && number < 256) bank.number = static_cast<int>(number);
      break;
    }
  }
}

}  // namespace

void TakeDriveStatus(SaveModel& model) {
  const RecordTable* status = model.table(TableKind::DriveStatus);
  if (!status) return;
  for (const auto& row : status->rows) {
    if (row.size() < 2) continue;
    if (row[0] == "Drive Interface Ver") model.drive.interfaceVersion = TrimBlanks(row[1]);
    else if (row[0] == "Drive Time") model.drive.driveTime = TrimBlanks(row[1]);
  }
}

SaveModel ReadSave(const fs::path& path, const platform::shell::CodePage& codePage) {
  SaveModel model;
  model.name = path.filename().string();
  if (model.name.empty()) model.name = path.parent_path().filename().string();
  std::error_code error;
  const fs::file_status status = fs::status(path, error);
  if (error || !fs::exists(status)) throw SaveError(path.string() + ": no such file or folder.");
  if (fs::is_directory(status)) {
    readFolder(path, model, codePage);
  } else if (lowerExtension(path) == ".lzh") {
    readArchive(path, model, codePage);
  } else if (lowerExtension(path) == ".mdb") {
    readWorkbook(path, model);
  } else {
    throw SaveError(path.string() + ": not a save archive (.lzh), workbook (.mdb) or save folder.");
  }
  numberBanksByOtherBanks(model);
  orderBanks(model.banks);
  noteGaps(fs::is_directory(status), lowerExtension(path) == ".mdb", model);
  if (model.drive.softVersion.empty() && !model.banks.empty()) model.drive.softVersion = model.banks.front().softVersion;
  TakeDriveStatus(model);
  return model;
}

}  // namespace quillon::view
