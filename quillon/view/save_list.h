#pragma once
// The saves kept under a program folder, in the layout of one drive (Quillon/TRBSAVE_...) and
// in that of one folder per drive (Quillon/<panel name>/TRBSAVE_...), newest first; and the
// previous save of a drive.
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/shell/codepage.h"
#include "quillon/view/save_model.h"

namespace quillon::view {

enum class SaveKind { Archive, Folder, KeptAside, WorkingFolder, Other };

struct FoundSave {
  std::filesystem::path path;
  SaveKind kind = SaveKind::Other;
  std::string sortKey;  // "YYYYMMDDhhmmss" then the name: later sorts higher
  std::string when;     // "YYYY-MM-DD hh:mm:ss", local time
};

// What `path` is and when it was saved: the date and time of its name (TRBSAVE_<date>_<time>,
// Set_Sram_..._<date>_<time>.mdb) or of the save folder that holds it, else of the file.
FoundSave DescribeSave(const std::filesystem::path& path);

// Archives and folders TRBSAVE_<date>_<time> (also those kept aside as _incomplete), and
// working folders TRBSAVE that hold something, up to three folder levels below `folder`;
// newest first.
std::vector<FoundSave> FindSaves(const std::filesystem::path& folder);

struct SaveListing {
  FoundSave save;
  std::string driveType, panelName, softVersion;
  struct BankFaults {
    std::optional<int> number;
    std::string faultTime;
    std::vector<std::string> faults;  // names, or "FI <code>" where the save names none
  };
  std::vector<BankFaults> banks;
  bool complete = false;
  std::string incomplete;  // why not, when it is not
  std::string damage;      // why the save cannot be read; empty when it can
};

SaveListing ListingOf(const FoundSave& save, const SaveModel& model);
// Every save found, read; a save that cannot be read is listed with the reason.
std::vector<SaveListing> ListSaves(const std::filesystem::path& folder, const platform::shell::CodePage& codePage);

std::string ListText(const std::vector<SaveListing>& saves);
// [{"path", "saved", "kind", "driveType", "panelName", "softwareVersion",
//   "banks": [{"bank", "faultTime", "faults"}], "complete", "incomplete", "damaged"}]
std::string ListJson(const std::vector<SaveListing>& saves);

// The latest save below `folders` of the drive `model` is of (same drive type and panel
// name) made before `save`. Saves that cannot be read are passed over.
std::optional<std::filesystem::path> PreviousSave(const std::filesystem::path& save, const SaveModel& model,
                                                  const std::vector<std::filesystem::path>& folders,
                                                  const platform::shell::CodePage& codePage);

}  // namespace quillon::view
