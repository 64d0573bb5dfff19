#include "platform/db/connection.h"

#include <array>
#include <cstring>
#include <fstream>

namespace platform::db {

namespace {
constexpr std::string_view kSqliteMagic{"SQLite format 3\0", 16};
constexpr std::size_t kJetMagicOffset = 4;
constexpr std::string_view kJetMagic = "Standard Jet DB";
constexpr std::string_view kAceMagic = "Standard ACE DB";
}  // namespace

FileKind detectFileKind(const std::filesystem::path& path) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) return FileKind::Missing;
  std::ifstream file(path, std::ios::binary);
  std::array<char, 32> head{};
  file.read(head.data(), head.size());
  std::string_view bytes(head.data(), static_cast<std::size_t>(file.gcount()));
  if (bytes.substr(0, kSqliteMagic.size()) == kSqliteMagic) return FileKind::Sqlite;
  if (bytes.size() >= kJetMagicOffset + kJetMagic.size()) {
    std::string_view format = bytes.substr(kJetMagicOffset, kJetMagic.size());
    if (format == kJetMagic || format == kAceMagic) return FileKind::Access;
  }
  return FileKind::Unknown;
}

std::shared_ptr<Connection> Connection::open(const std::filesystem::path& path, const OpenOptions& options) {
  FileKind kind = detectFileKind(path);
  switch (kind) {
    case FileKind::Missing: throw DbError("Database file not found: " + path.string());
    case FileKind::Unknown: throw DbError("Not a database file (damaged or of unknown kind): " + path.string());
    case FileKind::Sqlite:
      return std::shared_ptr<Connection>(new Connection(path, kind, openSqliteBackend(path.string(), options.verify)));
    case FileKind::Access:
      return std::shared_ptr<Connection>(new Connection(path, kind, openAccessBackend(path.string(), options.jet3CodePage, options.verify)));
  }
  throw DbError("Not a database file: " + path.string());
}

bool Connection::isOpen() const { return backend_ && backend_->isOpen(); }

bool Connection::readOnly() const { return !isOpen() || backend_->readOnly(); }

void Connection::close() {
  if (backend_) backend_->close();
}

void Connection::setSyncEachCommit(bool sync) {
  requireOpen();
  backend_->setSyncEachCommit(sync);
}

void Connection::requireOpen() const {
  if (!isOpen()) throw DbError("The connection to " + path_.string() + " is closed.");
}

std::unique_ptr<Recordset> Connection::openRecordset(std::string_view source) {
  requireOpen();
  LoadedRows rows = backend_->load(source);
  return std::make_unique<Recordset>(backend_, std::string(source), std::move(rows));
}

void Connection::execute(std::string_view sql) {
  requireOpen();
  backend_->execute(sql);
}

void Connection::executeAll(const std::vector<std::string>& statements) {
  requireOpen();
  if (!statements.empty()) backend_->executeAll(statements);
}

std::unique_ptr<TableWriter> Connection::openTableWriter(std::string_view table) {
  requireOpen();
  return backend_->openTableWriter(table);
}

std::vector<std::string> Connection::tableNames() {
  requireOpen();
  return backend_->tableNames();
}

bool Connection::hasTable(std::string_view table) {
  for (const auto& name : tableNames())
    if (sameName(name, table)) return true;
  return false;
}

}  // namespace platform::db
