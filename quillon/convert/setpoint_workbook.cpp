#include "quillon/convert/setpoint_workbook.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>
#include <stdexcept>

#include "platform/db/db_error.h"
#include "platform/db/table_writer.h"
#include "platform/shell/codepage.h"
#include "quillon/requests/exchange.h"

namespace quillon {

using platform::db::Connection;
using platform::db::DbError;
using platform::db::Value;

namespace {

constexpr int kMaxCharacterBytes = 4096;
constexpr const char* kToolIpSymbol = "TOOL_IP";

std::optional<std::uint32_t> hexValue(std::string_view digits) {
  if (digits.size() > 8) return std::nullopt;
  const std::optional<std::uint64_t> value = HexDigitsValue(digits);
  if (!value) return std::nullopt;
  return static_cast<std::uint32_t>(*value);
}

std::string hex4(std::uint32_t word) {
  char text[8];
  std::snprintf(text, sizeof text, "%04X", word & 0xFFFFu);
  return text;
}

std::string hex8(std::uint16_t high, std::uint16_t low) { return hex4(high) + hex4(low); }

// Decimal text with a leading blank when not negative, as the drive's tools show numbers.
std::string signedText(std::int64_t value) { return (value >= 0 ? " " : "") + std::to_string(value); }

std::string signalEntry(const std::string& value, const std::string& id) {
  return "<signal value=\"" + value + "\" id=\"" + id + "\"/>";
}

int wholeOr(const std::string& text, int fallback) {
  auto number = platform::db::parseNumber(text);
  if (!number || *number != std::floor(*number) || std::fabs(*number) > 1e6) return fallback;
  return static_cast<int>(*number);
}

bool isTwoWord(const std::string& access) { return access == "F" || access == "D"; }

// The character items kept, and the "Memo" row each fills.
struct CharacterTarget {
  const char* symbol;
  const char* memoTitle;  // nullptr: "CharSet" only
  bool appendsToCustomer;
};
constexpr CharacterTarget kCharacterTargets[] = {
    {"INF_M_TYPE", "DriveType", false}, {"INF_SOFTVER", "SoftVer", false}, {"INF_PANEL", "PanelName", false},
    {"INF_JOBNO", "Custmer", false},    {"INF_JOBNO1", "Custmer", true},   {"INF_JOBNO2", "Custmer", true},
    {"INF_TITLE", nullptr, false},      {"INF_MEMO", nullptr, false},      {"INF_TAG", nullptr, false},
    {"INF_DBREV", nullptr, false}};

const CharacterTarget* characterTarget(const std::string& symbol) {
  for (const auto& target : kCharacterTargets)
    if (symbol == target.symbol) return &target;
  return nullptr;
}

class ImageWalk {
 public:
  ImageWalk(const std::vector<SetpointLine>& lines, const std::vector<SetpointItem>& items, DriveDbLookups& lookups,
            const LookupResults& results, std::string& customer, const platform::shell::CodePage& codePage)
      : lines_(lines), items_(items), lookups_(lookups), results_(results), customer_(customer), codePage_(codePage) {}

  SetpointTables run() {
    customer_.clear();
    if (!lines_.empty()) start();
    while (line_ < lines_.size()) step();
    writeRow("SETEND", "00000000", "(H)");
    setMemo("Templete＃", " 0");
    setMemo("FileFor", "SetPoint");
    return std::move(tables_);
  }

 private:
  // An image from 0x0000 is the 16-bit layout: its first word is no parameter.
  void start() {
    const SetpointLine& first = lines_.front();
    if (first.addressText == "0x0000") {
      tables_.InterfaceLevel = 5;
      line_ = 1;
      while (row_ < items_.size() && !startsNarrowImage(items_[row_].address)) ++row_;
      return;
    }
    tables_.InterfaceLevel = 6;
    while (row_ < items_.size() && items_[row_].address != first.address) ++row_;
    if (row_ < items_.size()) writeRow(items_[row_].symbol, "00000000", "(H)");
  }

  static bool startsNarrowImage(std::uint32_t address) {
    return (address & 0xFFFFu) == 0x0004 || (address & 0xFFFFu) == 0x0010;
  }

  static std::uint32_t wordAddress(const SetpointItem& item) { return item.address & ~1u; }

  void step() {
    const SetpointLine& line = lines_[line_];
    // A database row for a word the walk has passed (inside a wider item, or a repeated
    // address) has no line of its own.
    while (row_ < items_.size() && wordAddress(items_[row_]) < line.address) ++row_;
    if (row_ >= items_.size() || line.address < wordAddress(items_[row_])) {
      lineWithoutItem(line);
      ++line_;
      return;
    }
    const SetpointItem& item = items_[row_++];
    if (item.DisplayUnit == "C") {
      characterItem(item);
      return;
    }
    const std::uint16_t low = line.word;
    const std::string& csvText = line.valueText;
    ++line_;
    std::uint16_t high = 0;
    if (isTwoWord(item.AccessUnit) && line_ < lines_.size()) high = lines_[line_++].word;
    valueItem(item, low, high, csvText);
    // The other byte of the same word, when the database names both.
    if (item.AccessUnit == "B" && (item.address & 1u) == 0 && row_ < items_.size() &&
        items_[row_].address == item.address + 1 && items_[row_].AccessUnit == "B" &&
        items_[row_].DisplayUnit != "C")
      valueItem(items_[row_++], low, 0, csvText);
  }

  void lineWithoutItem(const SetpointLine& line) {
    if (line.word == 0) return;
    std::string data = line.valueText;
    if (!data.starts_with('-')) data = " " + data;
    writeRow(line.addressText, data, "(D)");
  }

  void valueItem(const SetpointItem& item, std::uint16_t low, std::uint16_t high, const std::string& csvText) {
    const bool twoWord = isTwoWord(item.AccessUnit);
    const bool isByte = item.AccessUnit == "B";
    std::uint16_t word = low;
    if (isByte) word = (item.address & 1u) ? (low & 0xFFu) : (low >> 8);
    if (twoWord ? (low == 0 && high == 0) : word == 0) return;

    const std::string rawHex = twoWord ? hex8(high, low) : hex4(word);
    const std::string& code = item.DisplayUnit;
    std::string data, unit = "(D)";
    if (code == "H") {
      unit = "(H)";
      data = item.AccessUnit == "D" ? hex8(high, low) : hex4(word);
    } else if (code == "&") {
      unit = "(&)";
      if (tables_.InterfaceLevel >= 6) {
        const std::string target = hex8(high, low);
        const std::string symbol = lookups_.Address2Symbol(target);
        writeRow(item.symbol, symbol == "0" ? target : symbol, unit, Hex2Dec(target));
        return;
      }
      data = hex4(word);
      writeRow(item.symbol, data, unit, Hex2Dec(data));
      if (item.AccessUnit == "D" && high != 0) writeRow(item.symbol + "_H", hex4(high), unit, Hex2Dec(hex4(high)));
      return;
    } else if (code == "%") {
      const std::string base = lookups_.FindType(item.Type);
      const std::string decimals = results_.ItemDecimalPoint;
      unit = "(%)(" + base + ")";
      data = PercentText(percentOf(rawValue(item, low, high, word), base), decimals);
    } else if (code == "D") {
      if (twoWord) data = signedText(static_cast<std::int32_t>(std::uint32_t{high} << 16 | low));
      else if (isByte) data = signedText(word);
      else data = signedText(static_cast<std::int16_t>(word));
    } else {
      data = " " + csvText;
    }

    if (item.symbol == kToolIpSymbol) {
      toolIp(item, code == "H" ? data : rawHex, data, unit);
      return;
    }
    writeRow(item.symbol, data, unit, Hex2Dec(code == "H" ? data : rawHex));
  }

  static double rawValue(const SetpointItem& item, std::uint16_t low, std::uint16_t high, std::uint16_t word) {
    if (item.AccessUnit == "F") {
      const std::uint32_t bits = std::uint32_t{high} << 16 | low;
      float value;
      std::memcpy(&value, &bits, sizeof value);
      return static_cast<double>(value);
    }
    if (item.AccessUnit == "D") return static_cast<std::int32_t>(std::uint32_t{high} << 16 | low);
    if (item.AccessUnit == "B") return word;
    return static_cast<std::int16_t>(word);
  }

  // A display type without a usable 100 % value leaves the raw value unscaled.
  static double percentOf(double raw, const std::string& base) {
    auto hundred = platform::db::parseNumber(base);
    if (!hundred || *hundred == 0) return raw;
    return raw / *hundred * 100.0;
  }

  // The tool's address as four entries "TOOL_IP1" to "TOOL_IP4", most significant byte first.
  void toolIp(const SetpointItem& item, const std::string& hexDigits, const std::string& data, const std::string& unit) {
    std::string digits = hexDigits.size() < 8 ? std::string(8 - hexDigits.size(), '0') + hexDigits : hexDigits;
    std::uint32_t address = hexValue(digits.substr(digits.size() - 8)).value_or(0);
    writeRow(item.symbol, data, unit);
    for (int k = 0; k < 4; ++k) {
      int octet = static_cast<int>((address >> (24 - 8 * k)) & 0xFFu);
      tables_.toolIp[static_cast<std::size_t>(k)] = octet;
      tables_.signals += signalEntry(std::to_string(octet), item.symbol + std::to_string(k + 1));
    }
  }

  void characterItem(const SetpointItem& item) {
    const int length = std::clamp(wholeOr(item.ArrayLength, 0), 0, kMaxCharacterBytes);
    const std::size_t words = std::max<std::size_t>(1, static_cast<std::size_t>(length + 1) / 2);
    std::string bytes;
    for (std::size_t k = 0; k < words && line_ < lines_.size(); ++k, ++line_) {
      const std::uint16_t word = lines_[line_].word;
      bytes.push_back(static_cast<char>(word & 0xFFu));
      bytes.push_back(static_cast<char>(word >> 8));
    }
    if (bytes.size() > static_cast<std::size_t>(length)) bytes.resize(static_cast<std::size_t>(length));
    if (auto nul = bytes.find('\0'); nul != std::string::npos) bytes.resize(nul);
    characterText(item.symbol, TrimBlanks(codePage_.fromAnsi(bytes)));
  }

  void characterText(const std::string& symbol, const std::string& text) {
    const CharacterTarget* target = characterTarget(symbol);
    if (!target) return;
    if (target->appendsToCustomer) {
      if (tables_.InterfaceLevel < 6) return;
      std::erase_if(tables_.charSet, [](const CharSetRow& row) { return row.symbol == "INF_JOBNO"; });
    }
    tables_.charSet.push_back({symbol, text.empty() ? std::string("@NULL") : text});
    if (!target->memoTitle) return;
    if (target->appendsToCustomer) customer_ += text;
    else if (std::string_view(target->memoTitle) == "Custmer") customer_ = text;
    setMemo(target->memoTitle, std::string_view(target->memoTitle) == "Custmer" ? customer_ : text);

    if (symbol == "INF_M_TYPE") tables_.driveModel = text;
    else if (symbol == "INF_SOFTVER") tables_.firmwareVersion = text;
    else if (symbol == "INF_PANEL") tables_.configurationName = TrimBlanks(firstCharacters(text, 8));
  }

  // The first `count` characters (not bytes) of UTF-8 text.
  static std::string firstCharacters(const std::string& text, std::size_t count) {
    std::size_t at = 0;
    for (std::size_t seen = 0; at < text.size() && seen < count; ++seen) {
      ++at;
      while (at < text.size() && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80) ++at;
    }
    return text.substr(0, at);
  }

  void setMemo(const std::string& title, const std::string& value) {
    for (auto& entry : tables_.memo)
      if (entry.first == title) {
        entry.second = value;
        return;
      }
    tables_.memo.emplace_back(title, value);
  }

  void writeRow(const std::string& symbol, const std::string& data, const std::string& unit) {
    tables_.dataSet.push_back({nextId_++, symbol, data, unit});
  }
  void writeRow(const std::string& symbol, const std::string& data, const std::string& unit,
                const std::string& signalValue) {
    writeRow(symbol, data, unit);
    tables_.signals += signalEntry(signalValue, symbol);
  }

  const std::vector<SetpointLine>& lines_;
  const std::vector<SetpointItem>& items_;
  DriveDbLookups& lookups_;
  const LookupResults& results_;
  std::string& customer_;
  const platform::shell::CodePage& codePage_;
  SetpointTables tables_;
  std::size_t line_ = 0;
  std::size_t row_ = 0;
  int nextId_ = 1;
};

std::runtime_error badLine(std::size_t index, const std::string& why) {
  return std::runtime_error("Line " + std::to_string(index + 1) + " of the setting-parameter file " + why);
}

}  // namespace

std::vector<SetpointLine> ParseSetpointLines(const std::vector<CsvFields>& lines) {
  std::vector<SetpointLine> parsed;
  parsed.reserve(lines.size());
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const CsvFields& fields = lines[i];
    if (fields.size() == 1 && TrimBlanks(fields[0]).empty()) continue;
    SetpointLine line;
    line.addressText = TrimBlanks(FieldOf(fields, 1));
    std::string_view digits = line.addressText;
    if (!digits.starts_with("0x") && !digits.starts_with("0X")) throw badLine(i, "has no \"0x\" address.");
    auto address = hexValue(digits.substr(2));
    if (!address) throw badLine(i, "has the address \"" + line.addressText + "\", which is not hexadecimal.");
    line.address = *address;
    line.valueText = TrimBlanks(FieldOf(fields, 2));
    auto value = platform::db::parseNumber(line.valueText);
    if (!value || *value != std::floor(*value) || *value < -32768 || *value > 65535)
      throw badLine(i, "has the value \"" + line.valueText + "\", which is no 16-bit number.");
    line.word = static_cast<std::uint16_t>(static_cast<std::int32_t>(*value) & 0xFFFF);
    parsed.push_back(std::move(line));
  }
  return parsed;
}

std::vector<SetpointItem> ReadSetpointItems(Connection& drive) {
  auto rows = drive.openRecordset("Select * From MAIN Order By address");
  std::vector<SetpointItem> items;
  for (rows->moveFirst(); !rows->eof(); rows->moveNext()) {
    // A row without an address (Null or empty) names no memory.
    if (rows->field("address").text().empty()) continue;
    auto address = hexValue(TrimBlanks(AddressKey(rows->field("address").text())));
    if (!address) continue;
    SetpointItem item;
    item.symbol = rows->field("symbol").text();
    item.address = *address;
    item.Type = rows->field("Type").textOr("100");
    item.DisplayUnit = rows->field("DisplayUnit").textOr("D");
    item.LongNameJP = rows->field("LongNameJP").textOr("");
    item.LongNameUS = rows->field("LongNameUS").textOr("");
    item.AccessUnit = rows->field("AccessUnit").textOr("");
    item.ArrayLength = rows->field("ArrayLength").textOr("");
    items.push_back(std::move(item));
  }
  rows->close();
  // Addresses of 4 and 8 digits sort apart as text; the walk needs them in numeric order.
  std::stable_sort(items.begin(), items.end(),
                   [](const SetpointItem& a, const SetpointItem& b) { return a.address < b.address; });
  return items;
}

SetpointTables ConvertSetpointImage(const std::vector<SetpointLine>& lines, const std::vector<SetpointItem>& items,
                                    DriveDbLookups& lookups, const LookupResults& results, std::string& customer,
                                    const platform::shell::CodePage& codePage) {
  return ImageWalk(lines, items, lookups, results, customer, codePage).run();
}

void WriteSetpointTables(Connection& work, const SetpointTables& tables) {
  // Thousands of rows appended: the row writer, without a recordset's copy of each row.
  auto dataSet = work.openTableWriter("DataSet");
  const int id = dataSet->fieldOrdinal("ID"), symbol = dataSet->fieldOrdinal("symbol"),
            data = dataSet->fieldOrdinal("Data"), unit = dataSet->fieldOrdinal("Unit");
  for (const DataSetRow& row : tables.dataSet) {
    dataSet->addNew();
    dataSet->setField(id, Value(row.ID));
    dataSet->setField(symbol, Value(row.symbol));
    dataSet->setField(data, Value(row.Data));
    dataSet->setField(unit, Value(row.Unit));
    dataSet->update();
  }
  dataSet->close();

  auto charSet = work.openTableWriter("CharSet");
  const int charSymbol = charSet->fieldOrdinal("symbol"), charData = charSet->fieldOrdinal("CharData");
  for (const CharSetRow& row : tables.charSet) {
    charSet->addNew();
    charSet->setField(charSymbol, Value(row.symbol));
    charSet->setField(charData, Value(row.CharData));
    charSet->update();
  }
  charSet->close();

  auto memo = work.openRecordset("Memo");
  for (const auto& [title, value] : tables.memo) {
    bool found = false;
    for (memo->moveFirst(); !memo->eof() && !found; memo->moveNext()) {
      if (memo->field("Title").text() != title) continue;
      memo->setField("Memo", value);
      found = true;
    }
    if (!found) throw DbError("The workbook template has no \"Memo\" row titled \"" + title + "\".");
  }
  memo->updateBatch();
  memo->close();
}

std::string PercentText(double value, const std::string& decimalPoint) {
  const int decimals = wholeOr(decimalPoint, 0);
  char text[64];
  if (decimals >= 1 && decimals <= 6) {
    const double scale = std::pow(10.0, decimals);
    double rounded = std::round(value * scale) / scale;
    if (rounded == 0) rounded = 0;  // no "-0.0"
    std::snprintf(text, sizeof text, "%.*f", decimals, rounded);
    return text;
  }
  double rounded = std::round(value);
  if (rounded == 0) rounded = 0;
  std::snprintf(text, sizeof text, "%.0f.", rounded);
  return text;
}

}  // namespace quillon
