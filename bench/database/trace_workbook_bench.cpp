// Writes the workbook of a full bank (255 signals x 16320 samples) and, in the same run, the
// same values into a bare SQLite table with one prepared insert per row in one transaction.
// usage: bench_trace_workbook [scratch folder]
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "quillon/database/trace_workbook.h"

using namespace quillon;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kSignals = 255;
constexpr int kDepth = 255;  // x 64 = 16320 samples
constexpr int kSamples = kDepth * 64;
const std::filesystem::path kTemplates = std::filesystem::path(QUILLON_BINARY_DIR) / "templates";

std::int32_t sampleOf(int signal, int sample) { return signal * 100003 + sample * 7 - 50000; }

// Bank 0 of a drive with the 32-bit request set, in the run's own tables.
struct FullBank {
  DriveIdentity identity;
  TraceBackTables tables;
  std::string SafePanelName = "BENCH";

  FullBank() {
    identity.DriveType = "VX-SIM";
    identity.PanelName = "BENCH";
    identity.InterfaceLevel = 6;
    tables.GroupDepth = {kDepth, kDepth, kDepth, 0, 0, 0};
    tables.GroupSignals = {0, 85, 85, 85, 0, 0};
    tables.MaxGroupDepth = kDepth;
    tables.SignalsPerBank = kSignals;
    tables.resizeBankTime();
    tables.resizeBankTables(identity.InterfaceLevel);
    tables.BankTime[0] = {"", "2014", "12", "07", "09", "30", "15"};
    tables.BankSoftVersion[0] = "SIM01.00";
    for (int k = 1; k <= 30; ++k) tables.BankFaults[0][static_cast<std::size_t>(k)] = {std::nullopt, -1, -1};
    // Every signal a decimal item, as the bare table below holds them.
    for (int s = 1; s <= kSignals; ++s) tables.SignalAddress[0][static_cast<std::size_t>(s)] = s % 2 ? "&H00010000" : "&H00010004";
    for (int s = 1; s <= kSignals; ++s)
      for (int i = 1; i <= kSamples; ++i) tables.SampleData32.set(s, i, sampleOf(s, i));
  }
};

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

bool exec(sqlite3* db, const std::string& sql) {
  char* message = nullptr;
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message) == SQLITE_OK) return true;
  std::fprintf(stderr, "%s\n", message ? message : "sqlite error");
  sqlite3_free(message);
  return false;
}

double bareInsert(const std::filesystem::path& path) {
  std::filesystem::remove(path);
  sqlite3* db = nullptr;
  sqlite3_open(path.c_str(), &db);
  std::string create = "CREATE TABLE Data (ID INTEGER PRIMARY KEY";
  std::string insert = "INSERT INTO Data (", marks;
  for (int c = 1; c <= kSignals; ++c) {
    create += ", Data" + std::to_string(c) + " Single";
    insert += (c > 1 ? ", Data" : "Data") + std::to_string(c);
    marks += c > 1 ? ", ?" : "?";
  }
  exec(db, create + ")");
  insert += ") VALUES (" + marks + ")";

  auto start = Clock::now();
  exec(db, "BEGIN");
  sqlite3_stmt* statement = nullptr;
  sqlite3_prepare_v2(db, insert.c_str(), -1, &statement, nullptr);
  for (int r = 1; r <= kSamples; ++r) {
    for (int c = 1; c <= kSignals; ++c)
      sqlite3_bind_double(statement, c, static_cast<double>(static_cast<float>(sampleOf(c, r))));
    sqlite3_step(statement);
    sqlite3_reset(statement);
  }
  sqlite3_finalize(statement);
  exec(db, "COMMIT");
  double seconds = secondsSince(start);
  sqlite3_close(db);
  return seconds;
}

double workbook(const std::filesystem::path& folder, const FullBank& bank) {
  const TraceWorkbookFiles files{kTemplates / "SIM01.00.mdb", kTemplates / kTraceTemplateName, folder / "TRBSAVE"};
  DatabaseState databases;
  ExchangeState exchange;
  auto start = Clock::now();
  auto written = WriteTraceWorkbook(TraceBank{0, bank.identity, bank.tables, bank.SafePanelName}, false, files,
                                    databases, exchange);
  double seconds = secondsSince(start);
  if (!written) std::fprintf(stderr, "workbook failed: %s\n", exchange.ErrorText.c_str());
  return seconds;
}

}  // namespace

int main(int argc, char** argv) {
  std::filesystem::path folder = argc > 1 ? argv[1] : std::filesystem::temp_directory_path() / "quillon-bench-workbook";
  std::filesystem::create_directories(folder);
  std::printf("trace-back workbook, %d signals x %d samples\n", kSignals, kSamples);
  // Twice each, alternating, and the better of each: the machine is shared.
  const FullBank bank;
  double bare = bareInsert(folder / "bare.sqlite");
  double book = workbook(folder, bank);
  book = std::min(book, workbook(folder, bank));
  bare = std::min(bare, bareInsert(folder / "bare.sqlite"));
  std::printf("bare SQLite prepared insert : %8.3f s\n", bare);
  std::printf("trace-back workbook (whole) : %8.3f s\n", book);
  std::printf("ratio workbook / bare       : %8.2f (target at most 1.5)\n", book / bare);
  std::error_code ignored;
  std::filesystem::permissions(folder / "TRBSAVE", std::filesystem::perms::owner_all, ignored);
  std::filesystem::remove_all(folder, ignored);
  return 0;
}
