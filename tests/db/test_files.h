#pragma once
// Scratch files for the database tests.
#include <sqlite3.h>

#include <filesystem>
#include <random>
#include <string>

#include <gtest/gtest.h>

namespace db_test {

class ScratchFolder {
 public:
  ScratchFolder() {
    std::random_device seed;
    path_ = std::filesystem::temp_directory_path() / ("quillon-db-" + std::to_string(seed()));
    std::filesystem::create_directories(path_);
  }
  ~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, ignored);
    std::filesystem::remove_all(path_, ignored);
  }
  std::filesystem::path file(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

// Creates a SQLite file from SQL text.
inline void makeSqliteFile(const std::filesystem::path& path, const std::string& sql) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  char* message = nullptr;
  int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message);
  std::string why = message ? message : "";
  sqlite3_free(message);
  sqlite3_close(db);
  ASSERT_EQ(rc, SQLITE_OK) << why;
}

// First column of the first row of a query, as text ("NULL" for Null).
inline std::string queryText(const std::filesystem::path& path, const std::string& sql) {
  sqlite3* db = nullptr;
  std::string result = "<error>";
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) == SQLITE_OK) {
      int rc = sqlite3_step(statement);
      if (rc == SQLITE_ROW) {
        auto text = sqlite3_column_text(statement, 0);
        result = text ? reinterpret_cast<const char*>(text) : "NULL";
      } else {
        result = "<no row>";
      }
    }
    sqlite3_finalize(statement);
  }
  sqlite3_close(db);
  return result;
}

}  // namespace db_test
