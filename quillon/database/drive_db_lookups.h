#pragma once
// Lookups in the drive database: address to symbol with the item's attributes, symbol to
// address, display type to scaling, fault code to fault name. Each leaves its secondary
// results in LookupResults. The tables are read once per connection and kept; the first
// matching row in table order wins, as a full scan would find it.
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/db/connection.h"
#include "quillon/database/lookup_results.h"

namespace quillon {

class DriveDbLookups {
 public:
  explicit DriveDbLookups(LookupResults& results) : results_(results) {}

  // The drive-database connection the lookups read; a new one drops what was kept.
  void attach(std::shared_ptr<platform::db::Connection> drive);
  void detach() { attach(nullptr); }

  // `address`: hexadecimal text without prefix. "0" when no "MAIN" row has that address.
  std::string Address2Symbol(std::string_view address);
  // The "address" of the first "MAIN" row with that symbol, or "0".
  std::string Symbol2Address(std::string_view symbol);
  // "100%Value" of the display type, or "0".
  std::string FindType(std::string_view type);
  // The fault's bit symbol; "No Detect" for "-1", "No Data" when the code or its word is unknown.
  std::string FiCode2FiName(std::string_view code);

 private:
  struct Table {
    std::vector<std::string> names;
    std::vector<std::vector<platform::db::Value>> rows;
    int column(std::string_view name) const;  // throws DbError when absent
    std::optional<int> findColumn(std::string_view name) const;
  };
  struct MainItem {
    std::string symbol, address;
    platform::db::Value type, displayUnit, longNameJP, longNameUS, accessUnit, arrayLength;
  };

  platform::db::Connection& drive();
  Table readTable(std::string_view name);
  void loadMain();
  void loadDisplay();
  void loadFaults();
  void loadBits();

  LookupResults& results_;
  std::shared_ptr<platform::db::Connection> drive_;

  std::optional<std::vector<MainItem>> main_;
  std::unordered_map<std::string, std::size_t> mainByAddress_;
  std::unordered_map<std::string, std::size_t> mainBySymbol_;

  struct DisplayType {
    platform::db::Value percentValue, displayChar, decimalPoint;
  };
  std::optional<std::unordered_map<std::string, DisplayType>> display_;

  struct FaultBit {
    std::string group, bit;
  };
  std::optional<std::unordered_map<std::string, FaultBit>> faults_;

  std::optional<Table> bits_;
  std::unordered_map<std::string, std::size_t> bitsByGroup_;
};

// Hexadecimal text (no prefix) as unsigned decimal text: FFFF -> 65535, FFFFFFFF -> 4294967295.
// Text that is not hexadecimal gives "0"; more than 8 digits keep the low 32 bits.
std::string Hex2Dec(std::string_view hex);

// The last 8 characters of "0000000" + hex, in upper case: the form addresses are compared in.
std::string AddressKey(std::string_view hex);

}  // namespace quillon
