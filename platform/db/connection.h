#pragma once
// A connection to one database file. The file's first bytes choose the engine: SQLite files are
// read and written, Access (Jet) files are read through libmdb only.
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/db/backend.h"
#include "platform/db/db_error.h"
#include "platform/db/recordset.h"
#include "platform/db/table_writer.h"

namespace platform::db {

enum class FileKind { Missing, Sqlite, Access, Unknown };

// How a database file is opened.
struct OpenOptions {
  // Access 97 (Jet 3) files store text in a single/multi-byte code page without saying which:
  // it is the ANSI code page of the system that wrote them. Any iconv name.
  std::string jet3CodePage = kDefaultJet3CodePage;
  // Check the file before anything is read from it: SQLite files get a quick integrity check
  // and their size compared with their page count; Access files their page size and every
  // table definition. A damaged file is refused with a DbError that names it.
  bool verify = false;
};

// Looks at the first bytes of the file.
FileKind detectFileKind(const std::filesystem::path& path);

class Connection {
 public:
  // Throws DbError when the file is missing, unreadable, or not a database of a known kind.
  static std::shared_ptr<Connection> open(const std::filesystem::path& path, const OpenOptions& options = {});

  const std::filesystem::path& path() const { return path_; }
  FileKind kind() const { return kind_; }
  bool isOpen() const;
  bool readOnly() const;
  void close();

  // For a file built under a temporary name and published only when complete: commits need
  // not reach the disk one by one; the builder flushes the finished file once.
  void setSyncEachCommit(bool sync);

  // A table name ("MAIN", "MAIN%Display") or a SELECT text.
  std::unique_ptr<Recordset> openRecordset(std::string_view source);
  // Table creation and column addition, as Access writes them ("TEXT(30)", "Short", "Single").
  void execute(std::string_view sql);
  // Several such statements in one transaction: all take effect or none.
  void executeAll(const std::vector<std::string>& statements);
  std::unique_ptr<TableWriter> openTableWriter(std::string_view table);
  std::vector<std::string> tableNames();
  bool hasTable(std::string_view table);

 private:
  Connection(std::filesystem::path path, FileKind kind, std::shared_ptr<Backend> backend)
      : path_(std::move(path)), kind_(kind), backend_(std::move(backend)) {}
  void requireOpen() const;

  std::filesystem::path path_;
  FileKind kind_;
  std::shared_ptr<Backend> backend_;
};

}  // namespace platform::db
