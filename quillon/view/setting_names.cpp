#include "quillon/view/setting_names.h"

#include <memory>
#include <unordered_map>

#include "platform/db/connection.h"
#include "quillon/database/drive_db_lookups.h"

namespace quillon::view {

namespace {

// Reads the database's items once, on the first name asked for.
class LongNames {
 public:
  explicit LongNames(std::filesystem::path database) : database_(std::move(database)) {}

  std::string of(const std::string& symbol) {
    if (!lookups_ && !failed_) attach();
    if (failed_) return {};
    if (auto known = names_.find(symbol); known != names_.end()) return known->second;
    std::string name;
    try {
      const std::string address = lookups_->Symbol2Address(symbol);
      if (address != "0" && lookups_->Address2Symbol(address) == symbol) {
        name = results_.ItemLongNameUS;
        if (name == "None") name.clear();
      }
    } catch (const std::exception&) {
      failed_ = true;  // a damaged database names nothing, rather than ending the comparison
    }
    return names_[symbol] = name;
  }

 private:
  void attach() {
    try {
      lookups_ = std::make_unique<DriveDbLookups>(results_);
      lookups_->attach(platform::db::Connection::open(database_));
    } catch (const std::exception&) {
      failed_ = true;
    }
  }

  std::filesystem::path database_;
  LookupResults results_;
  std::unique_ptr<DriveDbLookups> lookups_;
  std::unordered_map<std::string, std::string> names_;
  bool failed_ = false;
};

}  // namespace

SettingNames DriveDbSettingNames(const DriveDbSearch& search, const DriveInfo& drive, std::filesystem::path* found) {
  const auto database = LocateDriveDb(search, drive.driveType, drive.softVersion);
  if (!database) return {};
  if (found) *found = *database;
  auto names = std::make_shared<LongNames>(*database);
  return [names](const std::string& symbol) { return names->of(symbol); };
}

}  // namespace quillon::view
