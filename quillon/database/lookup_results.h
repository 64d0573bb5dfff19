#pragma once
// What the drive-database lookups leave behind for the conversions to read right after a call.
#include <filesystem>
#include <string>

namespace quillon {

struct LookupResults {
  // Address2Symbol
  std::string ItemType;
  std::string ItemDisplayUnit;
  std::string ItemLongNameJP;
  std::string ItemLongNameUS;
  std::string ItemAccessUnit;
  std::string ItemArrayLength;
  // FindType
  std::string ItemDisplayChar;
  std::string ItemDecimalPoint;
  // FiCode2FiName
  std::string FaultNameJP;
  std::string FaultNameUS;
  // The drive database found last.
  std::filesystem::path DriveDbPath;
};

}  // namespace quillon
