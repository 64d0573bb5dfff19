#include "platform/db/recordset.h"

#include <algorithm>
#include <cctype>

namespace platform::db {

ColumnType columnTypeFromDeclaration(std::string_view declared) {
  std::string upper;
  for (char c : declared) upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  auto has = [&](std::string_view part) { return upper.find(part) != std::string::npos; };
  if (has("SINGLE") || has("FLOAT")) return ColumnType::Single;
  if (has("INT") || has("SHORT") || has("LONG") || has("BYTE") || has("BOOL") || has("COUNTER")) return ColumnType::Integer;
  if (has("REAL") || has("DOUB") || has("NUMERIC") || has("DECIMAL") || has("CURRENCY") || has("MONEY"))
    return ColumnType::Real;
  if (has("CHAR") || has("TEXT") || has("CLOB") || has("MEMO")) return ColumnType::Text;
  return ColumnType::Other;
}

Value fitToColumn(Value value, ColumnType type) {
  if (type != ColumnType::Single || value.isNull() || value.kind() == Value::Kind::Single) return value;
  if (auto number = value.number()) return Value(static_cast<float>(*number));
  return value;
}

Recordset::Recordset(std::shared_ptr<Backend> backend, std::string source, LoadedRows loaded)
    : backend_(std::move(backend)),
      source_(std::move(source)),
      table_(std::move(loaded.table)),
      columns_(std::move(loaded.columns)),
      updatable_(loaded.updatable) {
  rows_.reserve(loaded.rows.size());
  for (auto& loadedRow : loaded.rows) {
    Row row;
    row.values = std::move(loadedRow.values);
    row.changed.assign(columns_.size(), false);
    row.rowId = loadedRow.rowId;
    rows_.push_back(std::move(row));
  }
}

void Recordset::close() {
  open_ = false;
  rows_.clear();
  position_ = 0;
}

void Recordset::requireOpen() const {
  if (!open_) throw DbError("The recordset on " + source_ + " is closed.");
}

void Recordset::requireCurrentRow() const {
  requireOpen();
  if (eof()) throw DbError("No current row in " + source_ + " (end of rows).");
}

void Recordset::requireUpdatable() const {
  if (!updatable_) throw DbError("The recordset on " + source_ + " cannot be changed.");
}

void Recordset::skipDeleted() {
  while (position_ < rows_.size() && rows_[position_].state == RowState::Deleted) ++position_;
}

void Recordset::moveFirst() {
  requireOpen();
  position_ = 0;
  skipDeleted();
}

void Recordset::moveNext() {
  requireOpen();
  if (eof()) throw DbError("Cannot move past the end of " + source_ + ".");
  ++position_;
  skipDeleted();
}

bool Recordset::eof() const { return position_ >= rows_.size(); }

std::size_t Recordset::rowCount() const {
  return static_cast<std::size_t>(
      std::count_if(rows_.begin(), rows_.end(), [](const Row& row) { return row.state != RowState::Deleted; }));
}

int Recordset::findField(std::string_view name) const {
  for (std::size_t i = 0; i < columns_.size(); ++i)
    if (sameName(columns_[i].name, name)) return static_cast<int>(i);
  return -1;
}

int Recordset::requireField(std::string_view name) const {
  int ordinal = findField(name);
  if (ordinal < 0) throw DbError("No column \"" + std::string(name) + "\" in " + source_ + ".");
  return ordinal;
}

void Recordset::requireOrdinal(int ordinal) const {
  if (ordinal < 0 || ordinal >= fieldCount())
    throw DbError("No column number " + std::to_string(ordinal) + " in " + source_ + ".");
}

const std::string& Recordset::fieldName(int ordinal) const {
  requireOrdinal(ordinal);
  return columns_[static_cast<std::size_t>(ordinal)].name;
}

const Value& Recordset::field(std::string_view name) const { return field(requireField(name)); }

const Value& Recordset::field(int ordinal) const {
  requireCurrentRow();
  requireOrdinal(ordinal);
  return rows_[position_].values[static_cast<std::size_t>(ordinal)];
}

void Recordset::setField(std::string_view name, Value value) { setField(requireField(name), std::move(value)); }

void Recordset::setField(int ordinal, Value value) {
  requireCurrentRow();
  requireUpdatable();
  requireOrdinal(ordinal);
  auto column = static_cast<std::size_t>(ordinal);
  Row& row = rows_[position_];
  row.values[column] = fitToColumn(std::move(value), columns_[column].type);
  row.changed[column] = true;
  if (row.state == RowState::Unchanged) row.state = RowState::Modified;
}

void Recordset::addNew() {
  requireOpen();
  requireUpdatable();
  Row row;
  row.values.assign(columns_.size(), Value::null());
  row.changed.assign(columns_.size(), false);
  row.state = RowState::Added;
  rows_.push_back(std::move(row));
  position_ = rows_.size() - 1;
}

void Recordset::deleteCurrent() {
  requireCurrentRow();
  requireUpdatable();
  Row& row = rows_[position_];
  row.state = RowState::Deleted;
}

bool Recordset::hasPendingChanges() const {
  return std::any_of(rows_.begin(), rows_.end(), [](const Row& row) { return row.state != RowState::Unchanged; });
}

void Recordset::updateBatch() {
  requireOpen();
  if (!hasPendingChanges()) return;
  requireUpdatable();
  if (!backend_->isOpen()) throw DbError("The connection of " + source_ + " is closed.");

  BatchChanges changes;
  std::vector<std::size_t> addedRows;
  for (std::size_t index = 0; index < rows_.size(); ++index) {
    const Row& row = rows_[index];
    auto changedValues = [&] {
      std::vector<ColumnValue> values;
      for (std::size_t c = 0; c < columns_.size(); ++c)
        if (row.changed[c]) values.push_back({static_cast<int>(c), row.values[c]});
      return values;
    };
    switch (row.state) {
      case RowState::Unchanged: break;
      case RowState::Modified: changes.updates.push_back({row.rowId, changedValues()}); break;
      case RowState::Added:
        changes.insertions.push_back(changedValues());
        addedRows.push_back(index);
        break;
      case RowState::Deleted:
        if (row.rowId >= 0) changes.deletions.push_back(row.rowId);
        break;
    }
  }
  std::vector<std::int64_t> newIds = backend_->writeBack(table_, columns_, changes);

  for (std::size_t i = 0; i < addedRows.size() && i < newIds.size(); ++i) rows_[addedRows[i]].rowId = newIds[i];
  std::size_t newPosition = 0;
  std::vector<Row> kept;
  kept.reserve(rows_.size());
  for (std::size_t index = 0; index < rows_.size(); ++index) {
    if (index == position_) newPosition = kept.size();
    if (rows_[index].state == RowState::Deleted) continue;
    Row row = std::move(rows_[index]);
    row.state = RowState::Unchanged;
    row.changed.assign(columns_.size(), false);
    kept.push_back(std::move(row));
  }
  if (position_ >= rows_.size()) newPosition = kept.size();
  rows_ = std::move(kept);
  position_ = newPosition;
}

}  // namespace platform::db
