#include "quillon/view/record_decoding.h"

#include <algorithm>

#include "quillon/convert/save_folder_files.h"

namespace quillon::view {

namespace {

constexpr const char* kNullText = "@NULL";
constexpr const char* kStatusWord = "SSEQ_OUT1";
constexpr std::size_t kBitsPerWord = 16;
constexpr const char* kNeedsDatabase =
    "Saved without the drive database of this drive type and firmware: the drive's values as read; "
    "names need the drive database.";

bool hasColumns(const RecordTable& table, std::initializer_list<const char*> names) {
  return std::all_of(names.begin(), names.end(), [&](const char* n) { return table.columnOf(n) < table.columns.size(); });
}

std::string field(const std::vector<std::string>& row, std::size_t column) {
  return column < row.size() ? TrimBlanks(row[column]) : std::string();
}

// "OC (FI 1)"; a code the database does not know is left as its code.
std::string faultText(const std::string& code, const std::string& name) {
  if (code.empty() || code == "0") return {};
  if (name.empty() || name == "No Data") return "FI " + code;
  return name + " (FI " + code + ")";
}

// Times are "yyyy/mm/dd hh:mm:ss": as text they sort as times.
void newestFirst(RecordTable& table, std::size_t timeColumn) {
  std::stable_sort(table.rows.begin(), table.rows.end(),
                   [&](const auto& a, const auto& b) { return field(a, timeColumn) > field(b, timeColumn); });
}

RecordTable troubleRecords(const RecordTable& raw) {
  RecordTable table{raw.title, raw.source, {"No.", "Time", "Fault 1", "Fault 2"}, {}, {}};
  const bool named = hasColumns(raw, {"TimeS", "FI1", "Fi2", "Fi1_Data", "Fi2_Data"});
  const std::size_t number = named ? raw.columnOf("ID") : 0, time = named ? raw.columnOf("TimeS") : 1,
                    code1 = named ? raw.columnOf("FI1") : 2, code2 = named ? raw.columnOf("Fi2") : 3;
  const std::size_t name1Column = raw.columnOf("Fi1_Data"), name2Column = raw.columnOf("Fi2_Data");
  for (const auto& row : raw.rows) {
    const std::string name1 = named ? field(row, name1Column) : "", name2 = named ? field(row, name2Column) : "";
    table.rows.push_back({field(row, number), field(row, time), faultText(field(row, code1), name1),
                          faultText(field(row, code2), name2)});
  }
  newestFirst(table, 1);
  if (!named) table.note = kNeedsDatabase;
  return table;
}

RecordTable eventCounters(const RecordTable& raw) {
  if (!hasColumns(raw, {"TimeS", "Event", "TitleUS", "Event_Data", "Unit"})) return RecordTable{raw.title, raw.source, raw.columns, raw.rows, kNeedsDatabase};
  RecordTable table{raw.title, raw.source, {"No.", "Counter", "Value", "Unit", "Count as read", "Time"}, {}, {}};
  const std::size_t number = raw.columnOf("ID"), title = raw.columnOf("TitleUS"), value = raw.columnOf("Event_Data"),
                    unit = raw.columnOf("Unit"), count = raw.columnOf("Event"), time = raw.columnOf("TimeS");
  for (const auto& row : raw.rows)
    table.rows.push_back({field(row, number), field(row, title), field(row, value), field(row, unit), field(row, count),
                          field(row, time)});
  return table;
}

bool isBitValue(const std::string& text) { return text == "0" || text == "1"; }

// The status word's sixteen bits stand in a row each, named by the database's bit symbols;
// a bit the database leaves unnamed is named by its place in the word.
RecordTable driveStatus(const RecordTable& raw) {
  RecordTable table = raw;
  if (table.columns.size() < 2) return table;
  for (std::size_t start = 0; start < table.rows.size();) {
    std::size_t end = start;
    while (end < table.rows.size() && isBitValue(field(table.rows[end], 1))) ++end;
    if (end - start == kBitsPerWord)
      for (std::size_t b = 0; b < kBitsPerWord; ++b)
        if (field(table.rows[start + b], 0).empty())
          table.rows[start + b][0] = std::string(kStatusWord) + " bit " + std::to_string(b) + " (no name)";
    start = end == start ? end + 1 : end;
  }
  return table;
}

std::string settingValue(const std::string& value, const std::string& displayForm) {
  if (displayForm == "(H)" && !value.empty()) return "0x" + value;
  return value;
}

// A symbol the workbook lists twice in a row (its hexadecimal and its decimal form, say) is
// shown once with both values.
RecordTable settingParameters(const RecordTable& raw, const SettingNames& longNames) {
  if (!hasColumns(raw, {"symbol", "Data", "Unit"})) return RecordTable{raw.title, raw.source, raw.columns, raw.rows, kNeedsDatabase};
  RecordTable table{raw.title, raw.source, {"No.", "Symbol", "Name", "Value", "Unit"}, {}, {}};
  const std::size_t number = raw.columnOf("ID"), symbol = raw.columnOf("symbol"), data = raw.columnOf("Data"),
                    unit = raw.columnOf("Unit");
  for (const auto& row : raw.rows) {
    const std::string name = field(row, symbol), form = field(row, unit);
    const std::string value = settingValue(field(row, data), form);
    if (!table.rows.empty() && table.rows.back()[1] == name) {
      auto& shown = table.rows.back();
      shown[3] += "; " + value;
      if (shown[4].empty()) shown[4] = SettingUnit(form);
      continue;
    }
    table.rows.push_back({field(row, number), name, longNames ? longNames(name) : std::string(), value, SettingUnit(form)});
  }
  if (!longNames) table.note = "Long names need the drive database of this drive type and firmware, which is not found.";
  return table;
}

RecordTable settingTexts(const RecordTable& raw) {
  RecordTable table = raw;
  if (hasColumns(raw, {"ID", "symbol", "CharData"}) && raw.columns.size() == 3) table.columns = {"No.", "Symbol", "Text"};
  for (auto& row : table.rows)
    for (auto& cell : row)
      if (TrimBlanks(cell) == kNullText) cell.clear();
  return table;
}

}  // namespace

std::string SettingUnit(const std::string& displayForm) {
  if (displayForm.starts_with("(%)")) return "%";
  if (displayForm == "(D)" || displayForm == "(H)" || displayForm == "(&)") return {};
  // Any other display form names its unit between the brackets.
  if (displayForm.size() > 2 && displayForm.front() == '(' && displayForm.back() == ')')
    return displayForm.substr(1, displayForm.size() - 2);
  return displayForm;
}

SaveModel WithDecodedRecords(const SaveModel& model, const SettingNames& longNames) {
  SaveModel shown = model;
  for (auto& [kind, table] : shown.tables) {
    switch (kind) {
      case TableKind::TroubleRecords: table = troubleRecords(table); break;
      case TableKind::EventCounters: table = eventCounters(table); break;
      case TableKind::DriveStatus: table = driveStatus(table); break;
      case TableKind::SettingParameters: table = settingParameters(table, longNames); break;
      case TableKind::SettingTexts: table = settingTexts(table); break;
      case TableKind::EventLog:
      case TableKind::OtherBanks: break;
    }
  }
  return shown;
}

}  // namespace quillon::view
