#pragma once
// What a database file kind offers the connection and recordset classes. Not used by callers.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/db/value.h"

namespace platform::db {

enum class ColumnType { Text, Integer, Real, Single, Other };

struct ColumnInfo {
  std::string name;
  ColumnType type = ColumnType::Other;
};

// Column type from a declared type name ("Short", "TEXT(20)", "Single", "INTEGER" ...).
ColumnType columnTypeFromDeclaration(std::string_view declared);

// Fits a value to its column: numbers for a single-precision column become floats.
Value fitToColumn(Value value, ColumnType type);

struct LoadedRow {
  std::vector<Value> values;
  std::int64_t rowId = -1;
};

struct LoadedRows {
  std::string table;  // base table, empty when the source is not one table
  std::vector<ColumnInfo> columns;
  std::vector<LoadedRow> rows;
  bool updatable = false;
};

struct ColumnValue {
  int column = 0;
  Value value;
};

struct BatchChanges {
  struct Update {
    std::int64_t rowId;
    std::vector<ColumnValue> values;
  };
  std::vector<std::int64_t> deletions;
  std::vector<Update> updates;
  std::vector<std::vector<ColumnValue>> insertions;  // new row ids come back in this order
};

class TableWriter;

class Backend {
 public:
  virtual ~Backend() = default;
  virtual std::string kindName() const = 0;
  virtual bool isOpen() const = 0;
  virtual void close() = 0;
  virtual bool readOnly() const = 0;
  virtual void setSyncEachCommit(bool sync) = 0;
  virtual LoadedRows load(std::string_view source) = 0;
  virtual void execute(std::string_view sql) = 0;
  // Runs the statements in one transaction, or none of them.
  virtual void executeAll(const std::vector<std::string>& statements) = 0;
  // Applies every change in one transaction, or none of them.
  virtual std::vector<std::int64_t> writeBack(const std::string& table, const std::vector<ColumnInfo>& columns,
                                              const BatchChanges& changes) = 0;
  virtual std::unique_ptr<TableWriter> openTableWriter(std::string_view table) = 0;
  virtual std::vector<std::string> tableNames() = 0;
};

// An Access date (days since 1899-12-30, the fraction being the time of day) as
// "YYYY-MM-DD hh:mm:ss", or "YYYY-MM-DD" for a date-only column, to the nearest second;
// nothing for a value outside the years 100 to 9999, which Access does not hold.
std::optional<std::string> AccessDateText(double stored, bool dateOnly);

inline constexpr const char* kDefaultJet3CodePage = "windows-1252";

// `verify`: check the file as a whole before it is used (see OpenOptions).
std::shared_ptr<Backend> openSqliteBackend(const std::string& path, bool verify);
std::shared_ptr<Backend> openAccessBackend(const std::string& path, const std::string& jet3CodePage, bool verify);

}  // namespace platform::db
