#pragma once
// A client-side, static, batch-optimistic recordset: all rows of the source are read when it
// opens; changes stay in memory until updateBatch() writes them back in one transaction.
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/db/backend.h"
#include "platform/db/db_error.h"
#include "platform/db/value.h"

namespace platform::db {

class Recordset {
 public:
  Recordset(std::shared_ptr<Backend> backend, std::string source, LoadedRows rows);

  bool isOpen() const { return open_; }
  void close();

  void moveFirst();
  void moveNext();
  bool eof() const;
  // Rows not deleted, pending additions included.
  std::size_t rowCount() const;

  int fieldCount() const { return static_cast<int>(columns_.size()); }
  const std::string& fieldName(int ordinal) const;
  bool hasField(std::string_view name) const { return findField(name) >= 0; }
  // Ordinal of the named field, or -1.
  int findField(std::string_view name) const;

  const Value& field(std::string_view name) const;
  const Value& field(int ordinal) const;
  void setField(std::string_view name, Value value);
  void setField(int ordinal, Value value);

  // Appends an empty row and makes it current.
  void addNew();
  // Marks the current row deleted; it is skipped by the moves and removed at write-back.
  void deleteCurrent();
  // Writes all pending additions, changes and deletions back in one transaction.
  void updateBatch();
  bool hasPendingChanges() const;

  bool updatable() const { return updatable_; }

 private:
  enum class RowState { Unchanged, Modified, Added, Deleted };
  struct Row {
    std::vector<Value> values;
    std::vector<bool> changed;
    std::int64_t rowId = -1;
    RowState state = RowState::Unchanged;
  };

  void requireOpen() const;
  void requireCurrentRow() const;
  void requireUpdatable() const;
  int requireField(std::string_view name) const;
  void requireOrdinal(int ordinal) const;
  void skipDeleted();

  std::shared_ptr<Backend> backend_;
  std::string source_;
  std::string table_;
  std::vector<ColumnInfo> columns_;
  std::vector<Row> rows_;
  std::size_t position_ = 0;
  bool updatable_ = false;
  bool open_ = true;
};

}  // namespace platform::db
