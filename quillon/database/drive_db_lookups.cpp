#include "quillon/database/drive_db_lookups.h"

#include <cstdint>

#include "platform/db/db_error.h"
#include "platform/db/value.h"
#include "quillon/requests/exchange.h"

namespace quillon {

using platform::db::DbError;
using platform::db::Value;

namespace {

constexpr std::string_view kNoDetectCode = "-1";
constexpr int kHighestBit = 15;

std::string trimmed(std::string_view text) {
  std::size_t start = text.find_first_not_of(' ');
  if (start == std::string_view::npos) return {};
  std::size_t end = text.find_last_not_of(' ');
  return std::string(text.substr(start, end - start + 1));
}

// An empty text is 0.
std::optional<std::uint64_t> parseHex(std::string_view hex) {
  if (hex.empty()) return 0;
  return HexDigitsValue(hex);
}

}  // namespace

std::string AddressKey(std::string_view hex) {
  // Like Right("0000000" & hex, 8): an empty text keeps all seven zeros, which no row's key equals.
  std::string padded = "0000000" + std::string(hex);
  std::string key = padded.substr(padded.size() >= 8 ? padded.size() - 8 : 0);
  for (char& c : key)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return key;
}

std::string Hex2Dec(std::string_view hex) {
  // Below 5 digits the text is read as a positive number; from 5 digits on as a 32-bit word
  // whose negative values count from 2^32. Both give the unsigned value of the digits.
  auto value = parseHex(hex);
  if (!value) return "0";
  return std::to_string(*value & 0xFFFFFFFFu);
}

std::optional<int> DriveDbLookups::Table::findColumn(std::string_view name) const {
  for (std::size_t i = 0; i < names.size(); ++i)
    if (platform::db::sameName(names[i], name)) return static_cast<int>(i);
  return std::nullopt;
}

int DriveDbLookups::Table::column(std::string_view name) const {
  if (auto found = findColumn(name)) return *found;
  throw DbError("The drive database has no column \"" + std::string(name) + "\".");
}

void DriveDbLookups::attach(std::shared_ptr<platform::db::Connection> drive) {
  drive_ = std::move(drive);
  main_.reset();
  mainByAddress_.clear();
  mainBySymbol_.clear();
  display_.reset();
  faults_.reset();
  bits_.reset();
  bitsByGroup_.clear();
}

platform::db::Connection& DriveDbLookups::drive() {
  if (!drive_ || !drive_->isOpen()) throw DbError("No drive database is open.");
  return *drive_;
}

DriveDbLookups::Table DriveDbLookups::readTable(std::string_view name) {
  auto recordset = drive().openRecordset(name);
  Table table;
  for (int c = 0; c < recordset->fieldCount(); ++c) table.names.push_back(recordset->fieldName(c));
  for (recordset->moveFirst(); !recordset->eof(); recordset->moveNext()) {
    std::vector<Value> row;
    row.reserve(table.names.size());
    for (int c = 0; c < recordset->fieldCount(); ++c) row.push_back(recordset->field(c));
    table.rows.push_back(std::move(row));
  }
  return table;
}

void DriveDbLookups::loadMain() {
  if (main_) return;
  Table table = readTable("MAIN");
  int symbol = table.column("symbol"), address = table.column("address"), type = table.column("Type"),
      displayUnit = table.column("DisplayUnit"), jp = table.column("LongNameJP"), us = table.column("LongNameUS"),
      accessUnit = table.column("AccessUnit"), arrayLength = table.column("ArrayLength");
  std::vector<MainItem> items;
  items.reserve(table.rows.size());
  for (auto& row : table.rows) {
    MainItem item{row[symbol].text(),   row[address].text(), row[type],          row[displayUnit],
                  row[jp],              row[us],             row[accessUnit],    row[arrayLength]};
    // A row without an address (Null or empty) names no memory and matches no lookup.
    if (!item.address.empty()) mainByAddress_.emplace(AddressKey(item.address), items.size());
    mainBySymbol_.emplace(item.symbol, items.size());
    items.push_back(std::move(item));
  }
  main_ = std::move(items);
}

std::string DriveDbLookups::Address2Symbol(std::string_view address) {
  loadMain();
  auto found = mainByAddress_.find(AddressKey(address));
  if (found == mainByAddress_.end()) {
    results_.ItemLongNameJP = "None";
    // The English name would otherwise be the previous item's.
    results_.ItemLongNameUS = "None";
    results_.ItemDisplayUnit = "D";
    results_.ItemType = "100";
    results_.ItemAccessUnit = "0";
    results_.ItemArrayLength = "0";
    return "0";
  }
  const MainItem& item = (*main_)[found->second];
  results_.ItemType = item.type.textOr("100");
  results_.ItemDisplayUnit = item.displayUnit.textOr("D");
  results_.ItemLongNameJP = item.longNameJP.text();
  results_.ItemLongNameUS = item.longNameUS.text();
  results_.ItemAccessUnit = item.accessUnit.text();
  results_.ItemArrayLength = item.arrayLength.text();
  return item.symbol;
}

std::string DriveDbLookups::Symbol2Address(std::string_view symbol) {
  loadMain();
  auto found = mainBySymbol_.find(std::string(symbol));
  return found == mainBySymbol_.end() ? "0" : (*main_)[found->second].address;
}

void DriveDbLookups::loadDisplay() {
  if (display_) return;
  Table table = readTable("MAIN%Display");
  int type = table.column("Type"), percent = table.column("100%Value"), displayChar = table.column("DiaplayChar"),
      decimalPoint = table.column("Decimalpoint");
  std::unordered_map<std::string, DisplayType> types;
  for (auto& row : table.rows) types.emplace(row[type].text(), DisplayType{row[percent], row[displayChar], row[decimalPoint]});
  display_ = std::move(types);
}

std::string DriveDbLookups::FindType(std::string_view type) {
  loadDisplay();
  auto found = display_->find(std::string(type));
  if (found == display_->end()) {
    results_.ItemDisplayChar = "0";
    results_.ItemDecimalPoint = "0";
    return "0";
  }
  results_.ItemDisplayChar = found->second.displayChar.textOr("%");
  results_.ItemDecimalPoint = found->second.decimalPoint.text();
  return found->second.percentValue.text();
}

void DriveDbLookups::loadFaults() {
  if (faults_) return;
  Table table = readTable("FI");
  int code = table.column("FI_CODE"), group = table.column("BitGroup"), bit = table.column("Bit");
  std::unordered_map<std::string, FaultBit> faults;
  for (auto& row : table.rows) faults.emplace(row[code].text(), FaultBit{row[group].text(), row[bit].text()});
  faults_ = std::move(faults);
}

void DriveDbLookups::loadBits() {
  if (bits_) return;
  Table table = readTable("MainBIT");
  int group = table.column("BitGroup");
  for (std::size_t r = 0; r < table.rows.size(); ++r) bitsByGroup_.emplace(table.rows[r][group].text(), r);
  bits_ = std::move(table);
}

std::string DriveDbLookups::FiCode2FiName(std::string_view code) {
  results_.FaultNameJP.clear();
  results_.FaultNameUS.clear();
  if (code == kNoDetectCode) return "No Detect";

  loadFaults();
  auto fault = faults_->find(std::string(code));
  if (fault == faults_->end()) return "No Data";
  loadBits();
  auto word = bitsByGroup_.find(fault->second.group);
  if (word == bitsByGroup_.end()) return "No Data";

  // The bit names its three columns by two digits: bit 3 reads 03BitSymbol, bit 12 12BitSymbol.
  auto bitNumber = platform::db::parseNumber(fault->second.bit);
  if (!bitNumber || *bitNumber < 0 || *bitNumber > kHighestBit || *bitNumber != static_cast<int>(*bitNumber))
    return "No Data";
  int bit = static_cast<int>(*bitNumber);
  std::string prefix = (bit < 10 ? "0" : "") + std::to_string(bit);
  const auto& row = bits_->rows[word->second];
  std::string symbol = trimmed(row[bits_->column(prefix + "BitSymbol")].text());
  results_.FaultNameJP = row[bits_->column(prefix + "BitLongNameJP")].text();
  results_.FaultNameUS = row[bits_->column(prefix + "BitLongNameUS")].text();
  return symbol;
}

}  // namespace quillon
