// Workbooks are read with SQLite itself, read-only: the "Data" table of a full bank holds
// 255 x 16320 values, which are taken straight into the sample matrix instead of one
// variant per field as the recordset layer would hold them.
#include <sqlite3.h>

#include <charconv>
#include <cmath>
#include <functional>
#include <limits>
#include <map>
#include <memory>

#include "quillon/view/save_reader.h"

namespace quillon::view {

namespace {

struct DatabaseCloser {
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
struct StatementCloser {
  void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};

std::string trimmed(const std::string& text) {
  const auto first = text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

class Workbook {
 public:
  explicit Workbook(const std::filesystem::path& file) : name_(file.filename().string()) {
    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    db_.reset(db);
    if (rc != SQLITE_OK) fail("cannot be opened");
    // Any read of a damaged file fails here already when its first page is not SQLite's.
    for (const std::string& table : query("SELECT name FROM sqlite_master WHERE type = 'table'", 1))
      tables_.push_back(table);
  }

  const std::string& name() const { return name_; }

  bool hasTable(std::string_view table) const {
    for (const std::string& t : tables_)
      if (sameName(t, table)) return true;
    return false;
  }

  void requireTable(std::string_view table) const {
    if (!hasTable(table)) throw SaveError(name_ + ": the workbook has no table \"" + std::string(table) + "\".");
  }

  // Runs `sql`; `row` sees each row's statement.
  void forEachRow(const std::string& sql, const std::function<void(sqlite3_stmt*)>& row) {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db_.get(), sql.c_str(), -1, &raw, nullptr) != SQLITE_OK) fail("cannot be read");
    std::unique_ptr<sqlite3_stmt, StatementCloser> statement(raw);
    int rc;
    while ((rc = sqlite3_step(raw)) == SQLITE_ROW) row(raw);
    if (rc != SQLITE_DONE) fail("cannot be read");
  }

  // The first `columns` columns of every row, as text.
  std::vector<std::string> query(const std::string& sql, int columns) {
    std::vector<std::string> values;
    forEachRow(sql, [&](sqlite3_stmt* s) {
      for (int c = 0; c < columns; ++c) values.push_back(textOf(s, c));
    });
    return values;
  }

  // The whole table in row order, every value as text.
  RecordTable readTable(const std::string& table) {
    RecordTable result;
    result.source = name_;
    forEachRow("SELECT * FROM \"" + table + "\" ORDER BY rowid", [&](sqlite3_stmt* s) {
      const int count = sqlite3_column_count(s);
      if (result.columns.empty())
        for (int c = 0; c < count; ++c) result.columns.push_back(sqlite3_column_name(s, c));
      std::vector<std::string> row;
      for (int c = 0; c < count; ++c) row.push_back(textOf(s, c));
      result.rows.push_back(std::move(row));
    });
    if (result.columns.empty()) result.columns = columnsOf(table);
    return result;
  }

  std::vector<std::string> columnsOf(const std::string& table) {
    return query("SELECT name FROM pragma_table_info('" + table + "')", 1);
  }

  static std::string textOf(sqlite3_stmt* s, int column) {
    switch (sqlite3_column_type(s, column)) {
      case SQLITE_NULL: return {};
      case SQLITE_INTEGER: return std::to_string(sqlite3_column_int64(s, column));
      case SQLITE_FLOAT: return StoredNumberText(sqlite3_column_double(s, column));
      default: {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(s, column));
        return text ? std::string(text, static_cast<std::size_t>(sqlite3_column_bytes(s, column))) : std::string();
      }
    }
  }

  [[noreturn]] void fail(const std::string& what) const {
    std::string why = db_ ? sqlite3_errmsg(db_.get()) : "out of memory";
    throw SaveError(name_ + ": the workbook " + what + " (" + why + ").");
  }

  static bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
      if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
    return true;
  }

 private:
  std::string name_;
  std::unique_ptr<sqlite3, DatabaseCloser> db_;
  std::vector<std::string> tables_;
};

// Named columns of a table, row by row as text; a missing column is a damaged workbook.
std::vector<std::map<std::string, std::string>> namedRows(Workbook& book, const std::string& table,
                                                          const std::vector<std::string>& columns) {
  book.requireTable(table);
  const std::vector<std::string> present = book.columnsOf(table);
  std::string select;
  for (const std::string& column : columns) {
    bool found = false;
    for (const std::string& p : present) found = found || Workbook::sameName(p, column);
    if (!found)
      throw SaveError(book.name() + ": the table \"" + table + "\" has no column \"" + column + "\".");
    select += (select.empty() ? "\"" : ", \"") + column + "\"";
  }
  std::vector<std::map<std::string, std::string>> rows;
  const std::vector<std::string> values =
      book.query("SELECT " + select + " FROM \"" + table + "\" ORDER BY rowid", static_cast<int>(columns.size()));
  for (std::size_t at = 0; at < values.size(); at += columns.size()) {
    std::map<std::string, std::string> row;
    for (std::size_t c = 0; c < columns.size(); ++c) row[columns[c]] = values[at + c];
    rows.push_back(std::move(row));
  }
  return rows;
}

// A whole number within [low, high]; anything else is a damaged workbook.
long long wholeNumber(const Workbook& book, const std::string& where, const std::string& text, long long low,
                      long long high) {
  const std::string t = trimmed(text);
  double value = 0;
  const auto result = std::from_chars(t.data(), t.data() + t.size(), value);
  if (t.empty() || result.ec != std::errc() || result.ptr != t.data() + t.size() || value != std::floor(value) ||
      value < static_cast<double>(low) || value > static_cast<double>(high))
    throw SaveError(book.name() + ": " + where + " holds \"" + text + "\" where a whole number from " +
                    std::to_string(low) + " to " + std::to_string(high) + " belongs.");
  return static_cast<long long>(value);
}

std::optional<double> optionalNumber(const std::string& text) {
  const std::string t = trimmed(text);
  double value = 0;
  const auto result = std::from_chars(t.data(), t.data() + t.size(), value);
  if (t.empty() || result.ec != std::errc() || result.ptr != t.data() + t.size()) return std::nullopt;
  return value;
}

constexpr int kRecordedGroups = 3;
constexpr long long kInt32Min = std::numeric_limits<std::int32_t>::min();
constexpr long long kInt32Max = std::numeric_limits<std::int32_t>::max();

void readMemo(Workbook& book, Bank& bank, DriveInfo& drive) {
  // The first three rows name the drive type, the bank's firmware and the panel, in this order.
  const auto rows = namedRows(book, "Memo", {"Memo"});
  auto memo = [&rows](std::size_t row) { return row < rows.size() ? rows[row].at("Memo") : std::string(); };
  if (drive.driveType.empty()) drive.driveType = memo(0);
  bank.softVersion = memo(1);
  if (drive.panelName.empty()) drive.panelName = memo(2);
}

void readTitle(Workbook& book, Bank& bank, DriveInfo& drive) {
  const auto rows = namedRows(book, "Title", {"OrderNumber", "DetectTime", "Inv_Rating", "Motor_Rating"});
  if (rows.empty()) throw SaveError(book.name() + ": the table \"Title\" has no row.");
  const auto& title = rows.front();
  bank.faultTime = title.at("DetectTime");
  if (drive.orderNumber.empty()) drive.orderNumber = title.at("OrderNumber");
  if (drive.inverterRating.empty()) drive.inverterRating = title.at("Inv_Rating");
  if (drive.motorRating.empty()) drive.motorRating = title.at("Motor_Rating");
}

void readGroups(Workbook& book, Bank& bank) {
  const auto rows = namedRows(book, "SampleParameters", {"Block_Max", "Channel_Max", "Fault_idx", "SAMPLING"});
  if (rows.size() < kRecordedGroups)
    throw SaveError(book.name() + ": the table \"SampleParameters\" has " + std::to_string(rows.size()) +
                    " rows, 3 expected.");
  for (int g = 1; g <= kRecordedGroups; ++g) {
    const auto& row = rows[static_cast<std::size_t>(g - 1)];
    const std::string where = "group " + std::to_string(g) + " of \"SampleParameters\"";
    SampleGroup group;
    group.number = g;
    group.depth = static_cast<int>(wholeNumber(book, where, row.at("Block_Max"), 0, kMaxSamples));
    group.signalsUpTo = static_cast<int>(wholeNumber(book, where, row.at("Channel_Max"), 0, kMaxSignals));
    group.faultSample = static_cast<int>(wholeNumber(book, where, row.at("Fault_idx"), -32768, 32767));
    group.sampling = wholeNumber(book, where, row.at("SAMPLING"), kInt32Min, kInt32Max);
    bank.groups.push_back(group);
  }
}

void readFaults(Workbook& book, Bank& bank) {
  const auto rows = namedRows(book, "FI", {"FINmae", "FIExp", "FiCode", "FiDetectedSample"});
  for (std::size_t k = 0; k < rows.size(); ++k) {
    const auto& row = rows[k];
    const std::string code = trimmed(row.at("FiCode"));
    if (code.empty() || code == "-1") continue;  // entries the drive left empty
    Fault fault;
    fault.entry = static_cast<int>(k + 1);
    fault.code = code;
    fault.name = row.at("FINmae");
    fault.explanation = row.at("FIExp");
    if (auto sample = optionalNumber(row.at("FiDetectedSample"))) fault.detectedSample = static_cast<long long>(*sample);
    bank.faults.push_back(std::move(fault));
  }
}

int groupOfSignal(const Bank& bank, int number) {
  for (const SampleGroup& group : bank.groups)
    if (number <= group.signalsUpTo) return group.number;
  return 0;
}

void readSignals(Workbook& book, Bank& bank) {
  const auto rows = namedRows(book, "Word", {"address", "symbol", "DisplayChar", "PCTValue", "LongName"});
  if (rows.size() > kMaxSignals)
    throw SaveError(book.name() + ": the table \"Word\" lists " + std::to_string(rows.size()) +
                    " signals; a bank holds at most 255.");
  for (const auto& row : rows) {
    Signal signal;
    signal.number = static_cast<int>(bank.signals.size() + 1);
    signal.address = trimmed(row.at("address"));
    signal.symbol = row.at("symbol").empty() ? signal.address : row.at("symbol");
    const std::string& longName = row.at("LongName");
    signal.longName = longName.empty() || longName == "None" ? signal.address : longName;
    // "D" marks a plain decimal item; other display characters are the unit of a percent item.
    signal.unit = row.at("DisplayChar") == "D" ? std::string() : row.at("DisplayChar");
    signal.pctValue = optionalNumber(row.at("PCTValue"));
    signal.group = groupOfSignal(bank, signal.number);
    bank.signals.push_back(std::move(signal));
  }
}

void readSamples(Workbook& book, Bank& bank) {
  book.requireTable("Data");
  const std::vector<std::string> columns = book.columnsOf("Data");
  const std::size_t signals = bank.signals.size();
  std::vector<int> ordinal(signals, -1);
  for (std::size_t i = 0; i < signals; ++i) {
    const std::string wanted = "Data" + std::to_string(i + 1);
    for (std::size_t c = 0; c < columns.size(); ++c)
      if (Workbook::sameName(columns[c], wanted)) ordinal[i] = static_cast<int>(c);
    if (ordinal[i] < 0) throw SaveError(book.name() + ": the table \"Data\" has no column \"" + wanted + "\".");
  }
  const std::vector<std::string> count = book.query("SELECT count(*) FROM Data", 1);
  const long long rows = wholeNumber(book, "the row count of \"Data\"", count.empty() ? "" : count[0], 0,
                                     static_cast<long long>(kMaxSamples));
  bank.rows = static_cast<std::size_t>(rows);
  bank.samples.assign(signals * bank.rows, std::numeric_limits<double>::quiet_NaN());
  std::size_t r = 0;
  book.forEachRow("SELECT * FROM Data ORDER BY rowid", [&](sqlite3_stmt* s) {
    if (r >= bank.rows) throw SaveError(book.name() + ": the table \"Data\" changed while it was read.");
    for (std::size_t i = 0; i < signals; ++i) {
      const int column = ordinal[i];
      const int type = sqlite3_column_type(s, column);
      if (type == SQLITE_NULL) continue;  // a sample never written stays a gap
      if (type != SQLITE_INTEGER && type != SQLITE_FLOAT)
        throw SaveError(book.name() + ": sample " + std::to_string(r + 1) + " of \"Data" + std::to_string(i + 1) +
                        "\" is not a number.");
      bank.samples[i * bank.rows + r] = sqlite3_column_double(s, column);
    }
    ++r;
  });
}

// Template rows the conversion never filled hold nothing but their "ID".
bool isUnfilledRow(const RecordTable& table, const std::vector<std::string>& row) {
  for (std::size_t c = 0; c < row.size(); ++c)
    if (!Workbook::sameName(table.columns[c], "ID") && !trimmed(row[c]).empty()) return false;
  return true;
}

struct WorkbookTable {
  const char* name;
  TableKind kind;
};
constexpr WorkbookTable kRecordTables[] = {
    {"TroubleRecord", TableKind::TroubleRecords}, {"EventCount", TableKind::EventCounters},
    {"DriveSts", TableKind::DriveStatus},         {"Eventlog", TableKind::EventLog},
    {"DataSet", TableKind::SettingParameters},    {"CharSet", TableKind::SettingTexts},
    {"OtherTRB", TableKind::OtherBanks},
};

}  // namespace

Bank ReadTraceWorkbook(const std::filesystem::path& file, DriveInfo& drive) {
  Workbook book(file);
  Bank bank;
  bank.source = book.name();
  readMemo(book, bank, drive);
  readTitle(book, bank, drive);
  readGroups(book, bank);
  readFaults(book, bank);
  readSignals(book, bank);
  readSamples(book, bank);
  return bank;
}

void ReadSettingWorkbook(const std::filesystem::path& file, SaveModel& model) {
  Workbook book(file);
  book.requireTable("DataSet");
  if (book.hasTable("Memo")) {
    for (const auto& row : namedRows(book, "Memo", {"Title", "Memo"})) {
      const std::string& title = row.at("Title");
      const std::string& memo = row.at("Memo");
      if (memo.empty()) continue;
      // The drive's current texts; a bank's may be older.
      if (title == "DriveType") model.drive.driveType = memo;
      else if (title == "SoftVer") model.drive.softVersion = memo;
      else if (title == "PanelName") model.drive.panelName = memo;
      else if (title == "Custmer") model.drive.customer = memo;
    }
  }
  for (const WorkbookTable& wanted : kRecordTables) {
    if (!book.hasTable(wanted.name) || model.table(wanted.kind)) continue;
    RecordTable table = book.readTable(wanted.name);
    table.title = TableTitle(wanted.kind);
    std::erase_if(table.rows, [&table](const auto& row) { return isUnfilledRow(table, row); });
    model.tables.emplace_back(wanted.kind, std::move(table));
  }
}

}  // namespace quillon::view
