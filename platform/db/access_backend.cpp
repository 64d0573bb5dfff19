// Access (Jet 3/4, ACE) files through libmdb, read-only. A table is read whole; the plain
// SELECT form is filtered and ordered here, as Jet would: text compared without regard to
// case, numbers as numbers, Null first.
#include <glib.h>
#include <mdbtools.h>
#include <cstring>

#include <algorithm>
#include <memory>

#include "platform/db/backend.h"
#include "platform/db/db_error.h"
#include "platform/db/select_statement.h"
#include "platform/db/table_writer.h"

namespace platform::db {

namespace {

constexpr const char* kDateFormat = "%Y-%m-%d %H:%M:%S";
constexpr const char* kShortDateFormat = "%Y-%m-%d";

ColumnType columnTypeOf(int mdbType) {
  switch (mdbType) {
    case MDB_BOOL:
    case MDB_BYTE:
    case MDB_INT:
    case MDB_LONGINT:
    case MDB_COMPLEX: return ColumnType::Integer;
    case MDB_FLOAT: return ColumnType::Single;
    case MDB_DOUBLE:
    case MDB_MONEY:
    case MDB_NUMERIC: return ColumnType::Real;
    case MDB_TEXT:
    case MDB_MEMO: return ColumnType::Text;
    default: return ColumnType::Other;
  }
}

int compareText(std::string_view a, std::string_view b) {
  std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    auto ca = static_cast<unsigned char>(a[i]), cb = static_cast<unsigned char>(b[i]);
    if (ca >= 'A' && ca <= 'Z') ca = static_cast<unsigned char>(ca - 'A' + 'a');
    if (cb >= 'A' && cb <= 'Z') cb = static_cast<unsigned char>(cb - 'A' + 'a');
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

// Both sides non-Null. Numbers compare as numbers when the column is numeric or both read as numbers.
int compareValues(const Value& a, const Value& b, ColumnType type) {
  auto na = a.number(), nb = b.number();
  bool numeric = type == ColumnType::Integer || type == ColumnType::Real || type == ColumnType::Single ||
                 (type != ColumnType::Text && a.kind() != Value::Kind::Text && b.kind() != Value::Kind::Text);
  if (na && nb && (numeric || (a.kind() != Value::Kind::Text || b.kind() != Value::Kind::Text)))
    return *na < *nb ? -1 : (*na > *nb ? 1 : 0);
  return compareText(a.text(), b.text());
}

bool holds(const Value& value, const Condition& condition, ColumnType type) {
  if (value.isNull() || condition.literal.isNull()) return false;
  int order = compareValues(value, condition.literal, type);
  switch (condition.comparison) {
    case Comparison::Equal: return order == 0;
    case Comparison::NotEqual: return order != 0;
    case Comparison::Less: return order < 0;
    case Comparison::LessOrEqual: return order <= 0;
    case Comparison::Greater: return order > 0;
    case Comparison::GreaterOrEqual: return order >= 0;
  }
  return false;
}

struct MdbHandleCloser {
  void operator()(MdbHandle* handle) const { mdb_close(handle); }
};
struct TableDefFreer {
  void operator()(MdbTableDef* table) const { mdb_free_tabledef(table); }
};

class AccessBackend : public Backend {
 public:
  explicit AccessBackend(const std::string& path) : path_(path) {
    handle_.reset(mdb_open(path.c_str(), MDB_NOFLAGS));
    if (!handle_) throw DbError("Cannot open Access database " + path + " (damaged or unreadable).");
    mdb_set_date_fmt(handle_.get(), kDateFormat);
    mdb_set_shortdate_fmt(handle_.get(), kShortDateFormat);
    if (!mdb_read_catalog(handle_.get(), MDB_TABLE)) {
      handle_.reset();
      throw DbError("Cannot read the table list of Access database " + path + ".");
    }
  }

  std::string kindName() const override { return "Access"; }
  bool isOpen() const override { return handle_ != nullptr; }
  void close() override { handle_.reset(); }
  bool readOnly() const override { return true; }
  void setSyncEachCommit(bool) override {}

  LoadedRows load(std::string_view source) override {
    requireOpen();
    SelectStatement select;
    if (looksLikeSelect(source)) {
      auto parsed = parseSelect(source);
      if (!parsed) throw DbError("Only plain SELECT ... FROM ... [WHERE ...] [ORDER BY ...] is read from Access files: " +
                                 std::string(source));
      select = std::move(*parsed);
    } else {
      select.table = std::string(source);
    }
    LoadedRows whole = readTable(select.table);
    return applySelect(std::move(whole), select);
  }

  void execute(std::string_view sql) override {
    throw DbError("Access files are read-only here; cannot run: " + std::string(sql));
  }
  void executeAll(const std::vector<std::string>& statements) override {
    throw DbError("Access files are read-only here; cannot run: " + (statements.empty() ? std::string() : statements.front()));
  }
  std::vector<std::int64_t> writeBack(const std::string&, const std::vector<ColumnInfo>&, const BatchChanges&) override {
    throw DbError("Access files are read-only here: " + path_);
  }
  std::unique_ptr<TableWriter> openTableWriter(std::string_view) override {
    throw DbError("Access files are read-only here: " + path_);
  }

  std::vector<std::string> tableNames() override {
    requireOpen();
    std::vector<std::string> names;
    GPtrArray* catalog = handle_->catalog;
    for (guint i = 0; catalog && i < catalog->len; ++i) {
      auto entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(catalog, i));
      if (entry->object_type != MDB_TABLE) continue;
      std::string name = entry->object_name;
      if (mdb_is_system_table(entry) || name.rfind("MSys", 0) == 0) continue;
      names.push_back(name);
    }
    return names;
  }

 private:
  void requireOpen() const {
    if (!handle_) throw DbError("The connection to " + path_ + " is closed.");
  }

  MdbCatalogEntry* findTable(std::string_view table) {
    GPtrArray* catalog = handle_->catalog;
    for (guint i = 0; catalog && i < catalog->len; ++i) {
      auto entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(catalog, i));
      if (entry->object_type == MDB_TABLE && sameName(entry->object_name, table)) return entry;
    }
    throw DbError("No table \"" + std::string(table) + "\" in " + path_ + ".");
  }

  LoadedRows readTable(std::string_view tableName) {
    MdbCatalogEntry* entry = findTable(tableName);
    std::unique_ptr<MdbTableDef, TableDefFreer> table(mdb_read_table(entry));
    if (!table) throw DbError("Cannot read table \"" + std::string(tableName) + "\" in " + path_ + ".");
    if (!mdb_read_columns(table.get())) throw DbError("Cannot read the columns of \"" + std::string(tableName) + "\".");
    mdb_rewind_table(table.get());

    LoadedRows loaded;
    loaded.table = entry->object_name;
    std::size_t count = table->num_cols;
    std::vector<std::unique_ptr<char[]>> buffers(count);
    std::vector<int> lengths(count, 0);
    for (std::size_t c = 0; c < count; ++c) {
      auto column = static_cast<MdbColumn*>(g_ptr_array_index(table->columns, c));
      loaded.columns.push_back({column->name, columnTypeOf(column->col_type)});
      buffers[c] = std::make_unique<char[]>(MDB_BIND_SIZE);
      mdb_bind_column(table.get(), static_cast<int>(c + 1), buffers[c].get(), &lengths[c]);
    }
    std::int64_t rowNumber = 0;
    while (mdb_fetch_row(table.get())) {
      LoadedRow row;
      row.rowId = rowNumber++;
      row.values.reserve(count);
      for (std::size_t c = 0; c < count; ++c) {
        // libmdb leaves a Null field with length 0.
        if (lengths[c] <= 0) {
          row.values.push_back(Value::null());
        } else {
          auto size = std::min<std::size_t>(static_cast<std::size_t>(lengths[c]), MDB_BIND_SIZE);
          row.values.push_back(Value(std::string(buffers[c].get(), strnlen(buffers[c].get(), size))));
        }
      }
      loaded.rows.push_back(std::move(row));
    }
    return loaded;
  }

  static LoadedRows applySelect(LoadedRows whole, const SelectStatement& select) {
    auto ordinalOf = [&](const std::string& name) {
      for (std::size_t c = 0; c < whole.columns.size(); ++c)
        if (sameName(whole.columns[c].name, name)) return c;
      throw DbError("No column \"" + name + "\" in table " + whole.table + ".");
    };
    std::vector<std::pair<std::size_t, const Condition*>> conditions;
    for (const auto& condition : select.conditions) conditions.push_back({ordinalOf(condition.column), &condition});
    std::vector<std::pair<std::size_t, bool>> order;
    for (const auto& term : select.order) order.push_back({ordinalOf(term.column), term.descending});
    std::vector<std::size_t> picked;
    if (select.columns.empty()) {
      for (std::size_t c = 0; c < whole.columns.size(); ++c) picked.push_back(c);
    } else {
      for (const auto& name : select.columns) picked.push_back(ordinalOf(name));
    }

    std::vector<LoadedRow> rows;
    for (auto& row : whole.rows) {
      bool keep = std::all_of(conditions.begin(), conditions.end(), [&](const auto& condition) {
        return holds(row.values[condition.first], *condition.second, whole.columns[condition.first].type);
      });
      if (keep) rows.push_back(std::move(row));
    }
    std::stable_sort(rows.begin(), rows.end(), [&](const LoadedRow& a, const LoadedRow& b) {
      for (const auto& [column, descending] : order) {
        const Value& va = a.values[column];
        const Value& vb = b.values[column];
        int result = 0;
        if (va.isNull() || vb.isNull()) result = va.isNull() == vb.isNull() ? 0 : (va.isNull() ? -1 : 1);
        else result = compareValues(va, vb, whole.columns[column].type);
        if (result != 0) return descending ? result > 0 : result < 0;
      }
      return false;
    });

    LoadedRows result;
    result.table = whole.table;
    for (std::size_t c : picked) result.columns.push_back(whole.columns[c]);
    for (auto& row : rows) {
      LoadedRow projected;
      projected.rowId = row.rowId;
      for (std::size_t c : picked) projected.values.push_back(row.values[c]);
      result.rows.push_back(std::move(projected));
    }
    result.updatable = false;
    return result;
  }

  std::string path_;
  std::unique_ptr<MdbHandle, MdbHandleCloser> handle_;
};

}  // namespace

std::shared_ptr<Backend> openAccessBackend(const std::string& path) { return std::make_shared<AccessBackend>(path); }

}  // namespace platform::db
