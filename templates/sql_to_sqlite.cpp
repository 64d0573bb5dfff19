// Build-time helper: runs an SQL schema file into a fresh SQLite file.
// usage: sql_to_sqlite <schema.sql> <output.mdb>
#include <sqlite3.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s <schema.sql> <output.mdb>\n", argv[0]);
    return 2;
  }
  std::ifstream input(argv[1], std::ios::binary);
  if (!input) {
    std::fprintf(stderr, "cannot read %s\n", argv[1]);
    return 1;
  }
  std::stringstream text;
  text << input.rdbuf();

  // Built beside the target and renamed, so a failed build never leaves a half-made file.
  std::filesystem::path output(argv[2]);
  std::filesystem::path partial = output;
  partial += ".partial";
  std::error_code ignored;
  std::filesystem::remove(partial, ignored);

  sqlite3* db = nullptr;
  if (sqlite3_open(partial.c_str(), &db) != SQLITE_OK) {
    std::fprintf(stderr, "cannot create %s\n", partial.c_str());
    sqlite3_close(db);
    return 1;
  }
  char* message = nullptr;
  std::string sql = "BEGIN;\n" + text.str() + "\nCOMMIT;";
  int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message);
  if (rc != SQLITE_OK) {
    std::fprintf(stderr, "%s: %s\n", argv[1], message ? message : "error");
    sqlite3_free(message);
    sqlite3_close(db);
    std::filesystem::remove(partial, ignored);
    return 1;
  }
  sqlite3_close(db);
  std::filesystem::rename(partial, output);
  return 0;
}
