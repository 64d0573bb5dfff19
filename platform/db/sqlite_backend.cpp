// SQLite files: read and written. Table sources read with their row ids so that changed rows
// can be written back; SQL sources of the plain SELECT form likewise, other SQL read-only.
#include <sqlite3.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include "platform/db/backend.h"
#include "platform/db/db_error.h"
#include "platform/db/select_statement.h"
#include "platform/db/table_writer.h"

namespace platform::db {

namespace {

constexpr int kBusyTimeoutMs = 5000;

class Statement {
 public:
  Statement(sqlite3* db, std::string_view sql) : db_(db) {
    if (sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &statement_, nullptr) != SQLITE_OK)
      throw DbError(std::string(sqlite3_errmsg(db)) + " in: " + std::string(sql));
  }
  ~Statement() { sqlite3_finalize(statement_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  sqlite3_stmt* get() const { return statement_; }
  // True while rows come; throws on an engine error.
  bool step() {
    int rc = sqlite3_step(statement_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    throw DbError(sqlite3_errmsg(db_));
  }
  void reset() {
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
  }
  // Runs a statement that returns no rows and makes it ready for its next bindings.
  void stepOnce() {
    const int rc = sqlite3_step(statement_);
    if (rc != SQLITE_DONE && rc != SQLITE_ROW) {
      std::string message = sqlite3_errmsg(db_);
      reset();
      throw DbError(message);
    }
    reset();
  }

 private:
  sqlite3* db_;
  sqlite3_stmt* statement_ = nullptr;
};

// Prepared statements for a batch of writes, found by a key of the caller's (what the
// statement does and to which columns), so that the SQL text is put together only once.
class StatementCache {
 public:
  explicit StatementCache(sqlite3* db) : db_(db) {}
  template <typename MakeSql>
  Statement& get(const std::vector<int>& key, MakeSql makeSql) {
    auto found = statements_.find(key);
    if (found == statements_.end()) found = statements_.emplace(key, std::make_unique<Statement>(db_, makeSql())).first;
    return *found->second;
  }

 private:
  sqlite3* db_;
  std::map<std::vector<int>, std::unique_ptr<Statement>> statements_;
};

// Text is bound without a copy: the value outlives the statement's step and the reset after it.
void bindValue(sqlite3_stmt* statement, int index, const Value& value) {
  switch (value.kind()) {
    case Value::Kind::Null: sqlite3_bind_null(statement, index); return;
    case Value::Kind::Integer: sqlite3_bind_int64(statement, index, *value.storedInteger()); return;
    case Value::Kind::Real:
    case Value::Kind::Single: sqlite3_bind_double(statement, index, *value.number()); return;
    case Value::Kind::Text: {
      const std::string& text = *value.storedText();
      sqlite3_bind_text(statement, index, text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
      return;
    }
  }
}

Value readValue(sqlite3_stmt* statement, int column, ColumnType type) {
  switch (sqlite3_column_type(statement, column)) {
    case SQLITE_NULL: return Value::null();
    case SQLITE_INTEGER: return Value(static_cast<std::int64_t>(sqlite3_column_int64(statement, column)));
    case SQLITE_FLOAT: {
      double number = sqlite3_column_double(statement, column);
      if (type == ColumnType::Single) return Value(static_cast<float>(number));
      return Value(number);
    }
    default: {
      auto text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
      int size = sqlite3_column_bytes(statement, column);
      return Value(std::string(text ? text : "", static_cast<std::size_t>(size)));
    }
  }
}

std::string comparisonSql(Comparison comparison) {
  switch (comparison) {
    case Comparison::Equal: return " = ";
    case Comparison::NotEqual: return " <> ";
    case Comparison::Less: return " < ";
    case Comparison::LessOrEqual: return " <= ";
    case Comparison::Greater: return " > ";
    case Comparison::GreaterOrEqual: return " >= ";
  }
  return " = ";
}

class SqliteBackend;

class SqliteTableWriter : public TableWriter {
 public:
  SqliteTableWriter(sqlite3* db, std::string table, std::vector<ColumnInfo> columns, std::vector<std::int64_t> rowIds)
      : db_(db), table_(std::move(table)), columns_(std::move(columns)), rowIds_(std::move(rowIds)) {
    pending_.assign(columns_.size(), Value::null());
    pendingNumbers_.assign(columns_.size(), 0.0);
    pendingIsNumber_.assign(columns_.size(), false);
    set_.assign(columns_.size(), false);
  }
  ~SqliteTableWriter() override {
    statements_.clear();
    if (inTransaction_) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  }

  void begin() {
    exec("BEGIN IMMEDIATE");
    inTransaction_ = true;
  }

  int fieldCount() const override { return static_cast<int>(columns_.size()); }
  std::string fieldName(int ordinal) const override {
    requireOrdinal(ordinal);
    return columns_[static_cast<std::size_t>(ordinal)].name;
  }
  void moveFirst() override { position_ = 0; }
  void moveNext() override {
    if (eof()) throw DbError("Cannot move past the end of " + table_ + ".");
    ++position_;
  }
  bool eof() const override { return position_ >= rowIds_.size(); }
  void addNew() override { startRow(Mode::Append); }
  void edit() override {
    if (eof()) throw DbError("No current row in " + table_ + " to edit.");
    startRow(Mode::Edit);
  }
  void setField(int ordinal, const Value& value) override {
    requireRow();
    requireOrdinal(ordinal);
    auto column = static_cast<std::size_t>(ordinal);
    pending_[column] = fitToColumn(value, columns_[column].type);
    pendingIsNumber_[column] = false;
    set_[column] = true;
  }
  void setField(int ordinal, double number) override {
    requireRow();
    requireOrdinal(ordinal);
    auto column = static_cast<std::size_t>(ordinal);
    // Bulk samples go straight to the statement, without a Value in between.
    pendingNumbers_[column] =
        columns_[column].type == ColumnType::Single ? static_cast<double>(static_cast<float>(number)) : number;
    pendingIsNumber_[column] = true;
    set_[column] = true;
  }
  void update() override {
    requireRow();
    Statement& statement = statementFor(mode_);
    int index = 1;
    for (std::size_t c = 0; c < columns_.size(); ++c) {
      if (!set_[c]) continue;
      if (pendingIsNumber_[c]) sqlite3_bind_double(statement.get(), index++, pendingNumbers_[c]);
      else bindValue(statement.get(), index++, pending_[c]);
    }
    if (mode_ == Mode::Edit) sqlite3_bind_int64(statement.get(), index, rowIds_[position_]);
    statement.step();
    statement.reset();
    mode_ = Mode::None;
  }
  void close() override {
    if (!inTransaction_) return;
    lastStatement_ = nullptr;
    statements_.clear();
    exec("COMMIT");
    inTransaction_ = false;
  }

 private:
  enum class Mode { None, Append, Edit };

  void exec(const char* sql) {
    char* message = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &message) != SQLITE_OK) {
      std::string text = message ? message : "unknown error";
      sqlite3_free(message);
      throw DbError(text + " (" + sql + " on " + table_ + ")");
    }
  }
  void requireOrdinal(int ordinal) const {
    if (ordinal < 0 || ordinal >= fieldCount())
      throw DbError("No column number " + std::to_string(ordinal) + " in " + table_ + ".");
  }
  void requireRow() const {
    if (mode_ == Mode::None) throw DbError("No row being added or edited in " + table_ + ".");
  }
  void startRow(Mode mode) {
    if (!inTransaction_) throw DbError("The writer of " + table_ + " is closed.");
    mode_ = mode;
    set_.assign(columns_.size(), false);
  }
  // One prepared statement per set of columns written, so a run of like rows reuses it.
  Statement& statementFor(Mode mode) {
    if (lastStatement_ && lastMode_ == mode && lastSet_ == set_) return *lastStatement_;
    std::vector<char> key = set_;
    key.push_back(mode == Mode::Edit);
    auto found = statements_.find(key);
    if (found != statements_.end()) return remember(mode, *found->second);
    std::string sql;
    if (mode == Mode::Append) {
      std::string names, marks;
      for (std::size_t c = 0; c < columns_.size(); ++c) {
        if (!set_[c]) continue;
        if (!names.empty()) {
          names += ", ";
          marks += ", ";
        }
        names += quoteName(columns_[c].name);
        marks += "?";
      }
      sql = names.empty() ? "INSERT INTO " + quoteName(table_) + " DEFAULT VALUES"
                          : "INSERT INTO " + quoteName(table_) + " (" + names + ") VALUES (" + marks + ")";
    } else {
      std::string assignments;
      for (std::size_t c = 0; c < columns_.size(); ++c) {
        if (!set_[c]) continue;
        if (!assignments.empty()) assignments += ", ";
        assignments += quoteName(columns_[c].name) + " = ?";
      }
      if (assignments.empty()) assignments = "rowid = rowid";
      sql = "UPDATE " + quoteName(table_) + " SET " + assignments + " WHERE rowid = ?";
    }
    auto inserted = statements_.emplace(std::move(key), std::make_unique<Statement>(db_, sql));
    return remember(mode, *inserted.first->second);
  }
  Statement& remember(Mode mode, Statement& statement) {
    lastStatement_ = &statement;
    lastMode_ = mode;
    lastSet_ = set_;
    return statement;
  }

  sqlite3* db_;
  std::string table_;
  std::vector<ColumnInfo> columns_;
  std::vector<std::int64_t> rowIds_;
  std::size_t position_ = 0;
  Mode mode_ = Mode::None;
  std::vector<Value> pending_;
  std::vector<double> pendingNumbers_;
  std::vector<char> pendingIsNumber_;
  std::vector<char> set_;
  Statement* lastStatement_ = nullptr;
  Mode lastMode_ = Mode::None;
  std::vector<char> lastSet_;
  std::map<std::vector<char>, std::unique_ptr<Statement>> statements_;
  bool inTransaction_ = false;
};

class SqliteBackend : public Backend {
 public:
  SqliteBackend(const std::string& path, bool verify) : path_(path) {
    int rc = sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE, nullptr);
    if (rc != SQLITE_OK) {
      std::string message = db_ ? sqlite3_errmsg(db_) : "out of memory";
      sqlite3_close(db_);
      db_ = nullptr;
      throw DbError("Cannot open database " + path + ": " + message);
    }
    sqlite3_busy_timeout(db_, kBusyTimeoutMs);
    sqlite3_extended_result_codes(db_, 1);
    // A damaged file shows itself on the first read of the schema.
    try {
      Statement probe(db_, "SELECT count(*) FROM sqlite_master");
      probe.step();
    } catch (const DbError& error) {
      sqlite3_close(db_);
      db_ = nullptr;
      throw DbError("Damaged database " + path + ": " + error.what());
    }
    if (!verify) return;
    if (std::string damage = damageFound(); !damage.empty()) {
      sqlite3_close(db_);
      db_ = nullptr;
      throw DbError("The database " + path + " is damaged (" + damage + ") and is not used.");
    }
  }
  ~SqliteBackend() override { close(); }

  std::string kindName() const override { return "SQLite"; }
  bool isOpen() const override { return db_ != nullptr; }
  void close() override {
    if (db_) sqlite3_close_v2(db_);
    db_ = nullptr;
  }
  bool readOnly() const override { return db_ && sqlite3_db_readonly(db_, "main") == 1; }
  void setSyncEachCommit(bool sync) override {
    requireOpen();
    execute(sync ? "PRAGMA synchronous = FULL" : "PRAGMA synchronous = OFF");
    // Commits that need not reach the disk need no journal file made and removed for each
    // either: a transaction that fails is still rolled back from the journal in memory.
    execute(sync ? "PRAGMA journal_mode = DELETE" : "PRAGMA journal_mode = MEMORY");
  }

  LoadedRows load(std::string_view source) override {
    requireOpen();
    if (!looksLikeSelect(source)) {
      SelectStatement whole;
      whole.table = std::string(source);
      return loadSelect(whole);
    }
    if (auto statement = parseSelect(source)) return loadSelect(*statement);
    return loadRaw(source);
  }

  void execute(std::string_view sql) override {
    requireOpen();
    std::string text(sql);
    char* message = nullptr;
    if (sqlite3_exec(db_, text.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
      std::string why = message ? message : sqlite3_errmsg(db_);
      sqlite3_free(message);
      throw DbError(why + " in: " + text);
    }
  }

  void executeAll(const std::vector<std::string>& statements) override {
    requireOpen();
    execute("BEGIN IMMEDIATE");
    try {
      for (const auto& statement : statements) execute(statement);
      execute("COMMIT");
    } catch (...) {
      sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
      throw;
    }
  }

  std::vector<std::int64_t> writeBack(const std::string& table, const std::vector<ColumnInfo>& columns,
                                      const BatchChanges& changes) override {
    requireOpen();
    if (table.empty()) throw DbError("The rows do not come from one table and cannot be written back.");
    execute("BEGIN IMMEDIATE");
    std::vector<std::int64_t> newIds;
    newIds.reserve(changes.insertions.size());
    try {
      writeChanges(table, columns, changes, newIds);
      execute("COMMIT");
    } catch (...) {
      sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
      throw;
    }
    return newIds;
  }

  // Rows that change the same columns share one prepared statement: preparing is most of the
  // cost of a small row. The statements are finalized when this returns, before a commit or a
  // rollback.
  void writeChanges(const std::string& table, const std::vector<ColumnInfo>& columns, const BatchChanges& changes,
                    std::vector<std::int64_t>& newIds) {
    enum StatementKind { kDelete = -1, kUpdate = -2, kInsert = -3 };
    const std::string quotedTable = quoteName(table);
    auto names = [&](const std::vector<ColumnValue>& values, const char* separator, const char* after) {
      std::string text;
      for (std::size_t i = 0; i < values.size(); ++i)
        text += (i ? separator : "") + quoteName(columns[static_cast<std::size_t>(values[i].column)].name) + after;
      return text;
    };
    auto keyOf = [](StatementKind kind, const std::vector<ColumnValue>& values) {
      std::vector<int> key{kind};
      for (const ColumnValue& value : values) key.push_back(value.column);
      return key;
    };
    StatementCache statements(db_);
    for (std::int64_t rowId : changes.deletions) {
      Statement& statement =
          statements.get({kDelete}, [&] { return "DELETE FROM " + quotedTable + " WHERE rowid = ?"; });
      sqlite3_bind_int64(statement.get(), 1, rowId);
      statement.stepOnce();
    }
    for (const auto& update : changes.updates) {
      if (update.values.empty()) continue;
      Statement& statement = statements.get(keyOf(kUpdate, update.values), [&] {
        return "UPDATE " + quotedTable + " SET " + names(update.values, ", ", " = ?") + " WHERE rowid = ?";
      });
      int index = 1;
      for (const auto& value : update.values) bindValue(statement.get(), index++, value.value);
      sqlite3_bind_int64(statement.get(), index, update.rowId);
      statement.stepOnce();
    }
    for (const auto& insertion : changes.insertions) {
      Statement& statement = statements.get(keyOf(kInsert, insertion), [&] {
        if (insertion.empty()) return "INSERT INTO " + quotedTable + " DEFAULT VALUES";
        std::string marks = "?";
        for (std::size_t i = 1; i < insertion.size(); ++i) marks += ", ?";
        return "INSERT INTO " + quotedTable + " (" + names(insertion, ", ", "") + ") VALUES (" + marks + ")";
      });
      int index = 1;
      for (const auto& value : insertion) bindValue(statement.get(), index++, value.value);
      statement.stepOnce();
      newIds.push_back(sqlite3_last_insert_rowid(db_));
    }
  }

  std::unique_ptr<TableWriter> openTableWriter(std::string_view table) override {
    requireOpen();
    std::string name = existingTableName(table);
    std::vector<ColumnInfo> columns = tableColumns(name);
    std::vector<std::int64_t> rowIds;
    Statement statement(db_, "SELECT rowid FROM " + quoteName(name) + " ORDER BY rowid");
    while (statement.step()) rowIds.push_back(sqlite3_column_int64(statement.get(), 0));
    auto writer = std::make_unique<SqliteTableWriter>(db_, name, std::move(columns), std::move(rowIds));
    writer->begin();
    return writer;
  }

  std::vector<std::string> tableNames() override {
    requireOpen();
    std::vector<std::string> names;
    Statement statement(db_, "SELECT name FROM sqlite_master WHERE type IN ('table', 'view') AND name NOT LIKE 'sqlite_%' ORDER BY rowid");
    while (statement.step()) names.push_back(reinterpret_cast<const char*>(sqlite3_column_text(statement.get(), 0)));
    return names;
  }

 private:
  void requireOpen() const {
    if (!db_) throw DbError("The connection to " + path_ + " is closed.");
  }

  // The table's own spelling; a clear message when there is no such table.
  std::string existingTableName(std::string_view table) {
    for (const auto& name : tableNames())
      if (sameName(name, table)) return name;
    throw DbError("No table \"" + std::string(table) + "\" in " + path_ + ".");
  }

  std::vector<ColumnInfo> tableColumns(const std::string& table) {
    std::vector<ColumnInfo> columns;
    Statement statement(db_, "SELECT name, type FROM pragma_table_info(?)");
    sqlite3_bind_text(statement.get(), 1, table.c_str(), -1, SQLITE_TRANSIENT);
    while (statement.step()) {
      auto name = reinterpret_cast<const char*>(sqlite3_column_text(statement.get(), 0));
      auto type = reinterpret_cast<const char*>(sqlite3_column_text(statement.get(), 1));
      columns.push_back({name ? name : "", columnTypeFromDeclaration(type ? type : "")});
    }
    return columns;
  }

  bool isView(const std::string& table) {
    Statement statement(db_, "SELECT type FROM sqlite_master WHERE name = ?");
    sqlite3_bind_text(statement.get(), 1, table.c_str(), -1, SQLITE_TRANSIENT);
    return statement.step() && std::string_view(reinterpret_cast<const char*>(sqlite3_column_text(statement.get(), 0))) == "view";
  }

  LoadedRows loadSelect(const SelectStatement& select) {
    LoadedRows loaded;
    loaded.table = existingTableName(select.table);
    std::vector<ColumnInfo> all = tableColumns(loaded.table);
    if (select.columns.empty()) {
      loaded.columns = all;
    } else {
      for (const auto& wanted : select.columns) {
        auto found = std::find_if(all.begin(), all.end(), [&](const ColumnInfo& c) { return sameName(c.name, wanted); });
        if (found == all.end()) throw DbError("No column \"" + wanted + "\" in table " + loaded.table + ".");
        loaded.columns.push_back(*found);
      }
    }
    loaded.updatable = !isView(loaded.table) && !readOnly();

    std::string sql = loaded.updatable ? "SELECT rowid" : "SELECT NULL";
    for (const auto& column : loaded.columns) sql += ", " + quoteName(column.name);
    sql += " FROM " + quoteName(loaded.table);
    for (std::size_t i = 0; i < select.conditions.size(); ++i) {
      const Condition& condition = select.conditions[i];
      sql += (i ? " AND " : " WHERE ") + quoteName(condition.column) + comparisonSql(condition.comparison) +
             "? COLLATE NOCASE";
    }
    for (std::size_t i = 0; i < select.order.size(); ++i)
      sql += (i ? ", " : " ORDER BY ") + quoteName(select.order[i].column) + " COLLATE NOCASE" +
             (select.order[i].descending ? " DESC" : "");
    if (select.order.empty()) sql += loaded.updatable ? " ORDER BY rowid" : "";

    Statement statement(db_, sql);
    for (std::size_t i = 0; i < select.conditions.size(); ++i)
      bindValue(statement.get(), static_cast<int>(i + 1), select.conditions[i].literal);
    readRows(statement, loaded, 1);
    return loaded;
  }

  LoadedRows loadRaw(std::string_view sql) {
    LoadedRows loaded;
    Statement statement(db_, sql);
    int count = sqlite3_column_count(statement.get());
    for (int c = 0; c < count; ++c) {
      const char* declared = sqlite3_column_decltype(statement.get(), c);
      loaded.columns.push_back({sqlite3_column_name(statement.get(), c), columnTypeFromDeclaration(declared ? declared : "")});
    }
    readRows(statement, loaded, 0);
    return loaded;
  }

  void readRows(Statement& statement, LoadedRows& loaded, int firstValueColumn) {
    while (statement.step()) {
      LoadedRow row;
      if (firstValueColumn == 1 && sqlite3_column_type(statement.get(), 0) == SQLITE_INTEGER)
        row.rowId = sqlite3_column_int64(statement.get(), 0);
      row.values.reserve(loaded.columns.size());
      for (std::size_t c = 0; c < loaded.columns.size(); ++c)
        row.values.push_back(readValue(statement.get(), static_cast<int>(c) + firstValueColumn, loaded.columns[c].type));
      loaded.rows.push_back(std::move(row));
    }
  }

  std::int64_t pragmaNumber(const char* pragma) {
    Statement statement(db_, std::string("PRAGMA ") + pragma);
    return statement.step() ? sqlite3_column_int64(statement.get(), 0) : -1;
  }

  // What is wrong with the file as a whole; empty when nothing is. A file cut short still
  // opens and reads its first pages, so its size is compared with the pages its header counts.
  std::string damageFound() {
    try {
      const std::int64_t pages = pragmaNumber("page_count");
      const std::int64_t pageSize = pragmaNumber("page_size");
      std::error_code error;
      const auto size = static_cast<std::int64_t>(std::filesystem::file_size(path_, error));
      if (error) return "its size cannot be read";
      if (pages < 0 || pageSize <= 0 || size < pages * pageSize)
        return std::to_string(size) + " bytes where its " + std::to_string(pages) + " pages need " +
               std::to_string(pages * pageSize);
      Statement check(db_, "PRAGMA quick_check(1)");
      if (!check.step()) return "the integrity check gives no answer";
      auto verdict = reinterpret_cast<const char*>(sqlite3_column_text(check.get(), 0));
      std::string text = verdict ? verdict : "";
      return text == "ok" ? std::string() : "integrity check: " + text;
    } catch (const DbError& error) {
      return error.what();
    }
  }

  std::string path_;
  sqlite3* db_ = nullptr;
};

}  // namespace

std::shared_ptr<Backend> openSqliteBackend(const std::string& path, bool verify) {
  return std::make_shared<SqliteBackend>(path, verify);
}

}  // namespace platform::db
