#pragma once
// Comparing a save with another one named by path, or with the previous save of its drive:
// what `quillon diff`, `quillon report --compare` and the viewer's "Compare with..." share.
#include <filesystem>
#include <optional>
#include <vector>

#include "platform/shell/codepage.h"
#include "quillon/database/drive_db_location.h"
#include "quillon/view/save_diff.h"

namespace quillon::view {

struct CompareContext {
  platform::shell::CodePage codePage;           // of the saves read
  DriveDbSearch search;                         // drive databases that name setting parameters
  std::vector<std::filesystem::path> saveFolders;  // where the saves of every drive are kept
};

// A setting-parameter workbook alone holds no trace-back bank.
bool HoldsBanks(const std::filesystem::path& save);

SaveDiff CompareModels(const SaveModel& older, const std::filesystem::path& olderPath, const SaveModel& newer,
                       const std::filesystem::path& newerPath, const CompareContext& context);

// `model` (read from `path`) against the save at `other`, the earlier of the two as the older;
// throws SaveError when `other` cannot be read.
SaveDiff CompareWithSave(const SaveModel& model, const std::filesystem::path& path, const std::filesystem::path& other,
                         const CompareContext& context);

// The latest earlier save of the drive of `model`, below the context's folders and the folder
// that holds `path`.
std::optional<std::filesystem::path> PreviousSaveOf(const std::filesystem::path& path, const SaveModel& model,
                                                    const CompareContext& context);

}  // namespace quillon::view
