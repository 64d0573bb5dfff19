#include "quillon/convert/record_tables.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <optional>

#include "platform/db/db_error.h"
#include "quillon/output/drive_status_file.h"

namespace quillon {

using platform::db::Connection;
using platform::db::DbError;
using platform::db::Recordset;
using platform::db::Value;

namespace {

constexpr int kBitsPerWord = 16;
constexpr const char* kStatusWordItem = "SSEQ_OUT1";

// A whole number field of a record file; a damaged file ends the conversion with this message.
std::int64_t wholeNumber(const std::string& text, const char* table, std::size_t line) {
  auto number = platform::db::parseNumber(text);
  if (!number || *number != std::floor(*number) || std::fabs(*number) > 4294967295.0)
    throw DbError(std::string("Line ") + std::to_string(line + 1) + " of the \"" + table +
                  "\" file holds \"" + text + "\" where a whole number belongs.");
  return static_cast<std::int64_t>(*number);
}

std::optional<std::vector<CsvFields>> linesOf(const std::filesystem::path& folder, std::string_view prefix,
                                              const platform::shell::CodePage& codePage) {
  auto file = FirstCsvFile(folder, prefix);
  if (!file) return std::nullopt;
  return ReadCsvFields(*file, codePage);
}

std::string twoDigitBit(int bit) { return (bit < 10 ? "0" : "") + std::to_string(bit); }

// The "MainBIT" row of a status word, read once per call.
struct BitGroupRow {
  bool found = false;
  std::array<std::string, kBitsPerWord> symbols;
};

BitGroupRow bitGroupRow(Connection& drive, const std::string& wordName) {
  auto bits = drive.openRecordset("MainBIT");
  BitGroupRow row;
  for (bits->moveFirst(); !bits->eof(); bits->moveNext()) {
    if (bits->field("BitGroup").text() != wordName) continue;
    row.found = true;
    for (int b = 0; b < kBitsPerWord; ++b) row.symbols[b] = bits->field(twoDigitBit(b) + "BitSymbol").text();
    break;
  }
  bits->close();
  return row;
}

int bitOf(std::uint32_t word, int bit) { return static_cast<int>((word >> bit) & 1u); }

// The last 4 hexadecimal digits of a status value such as " 00A3".
std::uint32_t statusWord(const std::string& text) {
  std::string digits = TrimBlanks(text);
  if (digits.size() > 4) digits = digits.substr(digits.size() - 4);
  return static_cast<std::uint32_t>(hexLiteralValue(digits)) & 0xFFFFu;
}

std::string textOf(Recordset& rows, const char* column) { return rows.field(column).textOr(""); }

float floatFromBits(std::int64_t value) {
  auto bits = static_cast<std::uint32_t>(value);
  float number;
  std::memcpy(&number, &bits, sizeof number);
  return number;
}

// Moves to the next template row, or appends one when the template has no more.
void nextTemplateRow(Recordset& rows) {
  if (rows.eof()) rows.addNew();
}

}  // namespace

double ApplyFormulaSteps(double value, const std::array<std::pair<std::string, std::string>, 3>& steps) {
  for (const auto& [type, symbol] : steps) {
    auto operand = platform::db::parseNumber(symbol);
    if (!operand) continue;
    std::string kind = TrimBlanks(type);
    if (kind == "*") value *= *operand;
    else if (kind == "/" && *operand != 0) value /= *operand;  // a zero divisor leaves the count
  }
  return value;
}

double RoundToDecimals(double value, int decimals) {
  if (decimals < 0) decimals = 0;
  if (decimals > 15) return value;
  const double scale = std::pow(10.0, decimals);
  return std::round(value * scale) / scale;
}

void WriteTroubleRecordTable(Connection& work, DatabaseState& databases, const std::vector<CsvFields>& lines) {
  auto rows = work.openRecordset("TroubleRecord");
  rows->moveFirst();
  for (const CsvFields& line : lines) {
    nextTemplateRow(*rows);
    rows->setField("TimeS", FieldOf(line, 1));
    rows->setField("FI1", FieldOf(line, 2));
    rows->setField("Fi2", FieldOf(line, 3));
    rows->setField("Fi1_Data", databases.lookups.FiCode2FiName(TrimBlanks(FieldOf(line, 2))));
    rows->setField("Fi2_Data", databases.lookups.FiCode2FiName(TrimBlanks(FieldOf(line, 3))));
    rows->moveNext();
  }
  rows->updateBatch();
  rows->close();
}

void WriteEventCountTable(Connection& work, DatabaseState& databases, const std::vector<CsvFields>& lines,
                          int interfaceLevel) {
  auto events = databases.driveDb->openRecordset("Events");
  auto rows = work.openRecordset("EventCount");
  events->moveFirst();
  rows->moveFirst();
  for (std::size_t n = 0; n < lines.size(); ++n) {
    const CsvFields& line = lines[n];
    nextTemplateRow(*rows);
    rows->setField("TimeS", FieldOf(line, 1));
    rows->setField("Event", FieldOf(line, 2));
    const std::int64_t count = wholeNumber(FieldOf(line, 2), "EventCount", n);
    double value = static_cast<double>(count);

    if (interfaceLevel >= 6) {
      std::string counter = "0" + TrimBlanks(FieldOf(line, 0));
      std::string address = databases.lookups.Symbol2Address("EVENT" + counter.substr(counter.size() - 2));
      if (address != "0") {
        databases.lookups.Address2Symbol(address);
        const LookupResults& item = databases.results;
        // A float counter holds the bits of its value; the formula steps start from it.
        if (item.ItemAccessUnit == "F") value = static_cast<double>(floatFromBits(count));
        databases.lookups.FindType(item.ItemType);
        rows->setField("Unit", item.ItemDisplayChar);
      }
    }

    if (!events->eof()) {
      rows->setField("TitleJP", events->field("TitleJP"));
      rows->setField("TitleUS", events->field("TitleUS"));
      value = ApplyFormulaSteps(value, {{{textOf(*events, "FormulaType1"), textOf(*events, "Symbol1")},
                                         {textOf(*events, "FormulaType2"), textOf(*events, "Symbol2")},
                                         {textOf(*events, "FormulaType3"), textOf(*events, "Symbol3")}}});
      auto decimals = platform::db::parseNumber(textOf(*events, "Decimalpoint"));
      value = RoundToDecimals(value, decimals ? static_cast<int>(*decimals) : 0);
      events->moveNext();
    }
    rows->setField("Event_Data", value);
    rows->moveNext();
  }
  rows->updateBatch();
  rows->close();
  events->close();
}

void WriteDriveStatusTable(Connection& work, DatabaseState& databases, const std::vector<CsvFields>& lines,
                           ProgramVersion version) {
  work.execute("CREATE TABLE DriveSts(Item TEXT(20), Data TEXT(30))");
  auto rows = work.openRecordset("DriveSts");
  auto addRow = [&rows](const std::string& item, const std::string& data) {
    rows->addNew();
    rows->setField("Item", item);
    rows->setField("Data", data);
  };
  addRow("Veltrane Ver", std::to_string(version.major) + "." + std::to_string(version.minor));
  const BitGroupRow bits = bitGroupRow(*databases.driveDb, kStatusWordItem);
  for (const CsvFields& line : lines) {
    const std::string& item = FieldOf(line, 0);
    const std::string& value = FieldOf(line, 1);
    if (item.starts_with("PR")) {
      addRow(item, databases.lookups.FiCode2FiName(TrimBlanks(value)));
    } else if (item == kStatusWordItem) {
      const std::uint32_t word = statusWord(value);
      for (int b = 0; b < kBitsPerWord; ++b) {
        std::string name = bits.found ? TrimBlanks(bits.symbols[b])
                                      : "NU_B" + std::to_string(b) + "_" + std::string(kStatusWordItem);
        addRow(name, std::to_string(bitOf(word, b)));
      }
    } else {
      addRow(item, value);
    }
  }
  rows->updateBatch();
  rows->close();
}

std::vector<std::string> BitFieldColumnNames(Connection& drive, const std::string& wordName) {
  const BitGroupRow row = bitGroupRow(drive, wordName);
  std::vector<std::string> names;
  for (int b = kBitsPerWord - 1; b >= 0; --b) {
    std::string symbol = row.found ? row.symbols[b] : "NU";
    std::string name = TrimBlanks(symbol + "_B" + std::to_string(b) + "_" + wordName);
    std::erase(name, '.');
    names.push_back(std::move(name));
  }
  return names;
}

std::string MakeBitField(Connection& drive, const std::string& wordName) {
  std::string definitions;
  for (const std::string& name : BitFieldColumnNames(drive, wordName)) {
    std::string quoted = name;
    for (std::size_t at = quoted.find('"'); at != std::string::npos; at = quoted.find('"', at + 2))
      quoted.insert(at, 1, '"');
    definitions += ", \"" + quoted + "\" Short";
  }
  return definitions;
}

void WriteEventLogTable(Connection& work, DatabaseState& databases, const std::vector<CsvFields>& lines) {
  // One statement for all columns: the table and its text are those that adding the bit columns
  // one by one gives, without the engine reading its whole schema again after each of the 80.
  std::string create = "CREATE TABLE Eventlog(ID Short, TimeS TEXT(30)";
  for (const char* word : kEventLogWords) create += MakeBitField(*databases.driveDb, word);
  work.execute(create + ")");
  auto rows = work.openRecordset("Eventlog");
  for (std::size_t n = 0; n < lines.size(); ++n) {
    const CsvFields& line = lines[n];
    rows->addNew();
    rows->setField(0, wholeNumber(FieldOf(line, 0), "Evtlg", n));
    rows->setField(1, FieldOf(line, 1));
    for (int w = 1; w <= static_cast<int>(kEventLogWords.size()); ++w) {
      const auto word =
          static_cast<std::uint32_t>(wholeNumber(FieldOf(line, static_cast<std::size_t>(w + 1)), "Evtlg", n)) & 0xFFFFu;
      for (int b = 0; b < kBitsPerWord; ++b) rows->setField(kBitsPerWord * w - b + 1, bitOf(word, b));
    }
  }
  rows->updateBatch();
  rows->close();
}

void WriteOtherBanksTable(Connection& work, DatabaseState& databases, const OtherBanks& otherBanks) {
  work.execute("CREATE TABLE OtherTRB(Bank Short, TimeS TEXT(30), FI1 TEXT(30), FI2 TEXT(30))");
  auto rows = work.openRecordset("OtherTRB");
  for (int bank = 0; bank < otherBanks.BankCount; ++bank) {
    const OtherBankFaults faults = otherBanks.readBankFaults ? otherBanks.readBankFaults(bank) : OtherBankFaults{};
    const auto& t = faults.time;
    rows->addNew();
    rows->setField("Bank", bank);
    rows->setField("TimeS", t[1] + "/" + t[2] + "/" + t[3] + "  " + t[4] + ":" + t[5] + ":" + t[6]);
    rows->setField("FI1", databases.lookups.FiCode2FiName(TrimBlanks(faults.code1)));
    rows->setField("FI2", databases.lookups.FiCode2FiName(TrimBlanks(faults.code2)));
  }
  rows->updateBatch();
  rows->close();
}

void WriteRecordTables(Connection& work, DatabaseState& databases, const std::filesystem::path& folder,
                       int interfaceLevel, ProgramVersion version, const std::optional<OtherBanks>& otherBanks,
                       const platform::shell::CodePage& codePage) {
  if (auto lines = linesOf(folder, "TroubleRecord_", codePage)) WriteTroubleRecordTable(work, databases, *lines);
  if (auto lines = linesOf(folder, "EventCount_", codePage))
    WriteEventCountTable(work, databases, *lines, interfaceLevel);
  if (auto lines = linesOf(folder, "DriveSts_", codePage)) WriteDriveStatusTable(work, databases, *lines, version);
  if (auto lines = linesOf(folder, "Evtlg_", codePage)) WriteEventLogTable(work, databases, *lines);
  if (otherBanks) WriteOtherBanksTable(work, databases, *otherBanks);
}

}  // namespace quillon
