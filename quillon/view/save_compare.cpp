#include "quillon/view/save_compare.h"

#include <algorithm>
#include <cctype>

#include "quillon/view/save_list.h"
#include "quillon/view/save_reader.h"
#include "quillon/view/setting_names.h"

namespace quillon::view {

namespace fs = std::filesystem;

bool HoldsBanks(const fs::path& save) {
  std::string extension = save.extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return !(save.filename().string().starts_with("Set_Sram_") && extension == ".mdb");
}

SaveDiff CompareModels(const SaveModel& older, const fs::path& olderPath, const SaveModel& newer,
                       const fs::path& newerPath, const CompareContext& context) {
  SettingNames names = DriveDbSettingNames(context.search, newer.drive);
  if (!names) names = DriveDbSettingNames(context.search, older.drive);
  return CompareSaves({older, olderPath.string(), HoldsBanks(olderPath)}, {newer, newerPath.string(), HoldsBanks(newerPath)},
                      names);
}

SaveDiff CompareWithSave(const SaveModel& model, const fs::path& path, const fs::path& other,
                         const CompareContext& context) {
  const SaveModel otherModel = ReadSave(other, context.codePage);
  if (DescribeSave(other).sortKey > DescribeSave(path).sortKey)
    return CompareModels(model, path, otherModel, other, context);
  return CompareModels(otherModel, other, model, path, context);
}

std::optional<fs::path> PreviousSaveOf(const fs::path& path, const SaveModel& model, const CompareContext& context) {
  std::vector<fs::path> folders = context.saveFolders;
  folders.push_back(fs::absolute(path).parent_path());
  return PreviousSave(path, model, folders, context.codePage);
}

}  // namespace quillon::view
