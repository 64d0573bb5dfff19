// Prints compressed size and throughput of our -lh5- writer beside `gzip -6` on the same
// bytes: CSV text shaped like a save run's trace files (comma-separated numbers, CRLF), a
// workbook file of float samples and one of setting texts as the save run writes them, and any
// files named on the command line (the files of a kept save, say).
//
//   archive_bench [FILE...]
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "platform/archive/lh5_encoder.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

constexpr int kTrials = 5;
constexpr int kSignals = 46;
constexpr int kSamples = 960;
constexpr int kSettingRows = 8000;

Bytes SaveFolderText(std::size_t bytes) {
  std::mt19937 random(11);
  std::string text;
  double a = 0, b = 50;
  for (long row = 0; text.size() < bytes; ++row) {
    a += static_cast<int>(random() % 7) - 3;
    b = b * 0.9 + (random() % 100) * 0.1;
    text += std::to_string(row) + "," + std::to_string(static_cast<int>(a)) + "," + std::to_string(static_cast<int>(b * 10) / 10.0).substr(0, 5) +
            "," + std::to_string(random() % 4) + ",0,1500\r\n";
  }
  return Bytes(text.begin(), text.end());
}

Bytes ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void Exec(sqlite3* db, const std::string& sql) { sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr); }

// A SQLite file as the workbooks are: `fill` writes its tables.
template <typename Fill>
Bytes WorkbookBytes(const char* name, Fill fill) {
  const fs::path path = fs::temp_directory_path() / (std::string("archive_bench_") + name + std::to_string(::getpid()));
  fs::remove(path);
  sqlite3* db = nullptr;
  sqlite3_open(path.c_str(), &db);
  Exec(db, "BEGIN");
  fill(db);
  Exec(db, "COMMIT");
  sqlite3_close(db);
  Bytes bytes = ReadFile(path);
  fs::remove(path);
  return bytes;
}

// Float samples of noisy signals, one row per sample, a Single column per signal.
Bytes SampleWorkbook() {
  return WorkbookBytes("samples", [](sqlite3* db) {
    std::string columns;
    for (int c = 1; c <= kSignals; ++c) columns += ", Data" + std::to_string(c) + " Single";
    Exec(db, "CREATE TABLE Data (ID Long" + columns + ")");
    std::string marks;
    for (int c = 1; c <= kSignals; ++c) marks += ", ?";
    sqlite3_stmt* insert = nullptr;
    const std::string sql = "INSERT INTO Data VALUES (?" + marks + ")";
    sqlite3_prepare_v2(db, sql.c_str(), -1, &insert, nullptr);
    std::mt19937 random(5);
    std::vector<double> level(kSignals, 0);
    for (int r = 1; r <= kSamples; ++r) {
      sqlite3_bind_int(insert, 1, r);
      for (int c = 0; c < kSignals; ++c) {
        level[c] += (static_cast<int>(random() % 2001) - 1000) / 100.0;
        const double value = c % 3 == 0 ? std::round(level[c]) : static_cast<float>(level[c] * 1.37);
        sqlite3_bind_double(insert, c + 2, value);
      }
      sqlite3_step(insert);
      sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
  });
}

// Setting parameters as texts: symbol, display form, unit.
Bytes SettingWorkbook() {
  return WorkbookBytes("settings", [](sqlite3* db) {
    Exec(db, "CREATE TABLE DataSet (ID Long, symbol TEXT(64), Data TEXT(64), Unit TEXT(32))");
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO DataSet VALUES (?, ?, ?, ?)", -1, &insert, nullptr);
    std::mt19937 random(7);
    for (int r = 1; r <= kSettingRows; ++r) {
      const std::string symbol = "P" + std::to_string(r % 40) + "_SET" + std::to_string(r);
      const std::string data = r % 5 == 0 ? std::to_string(random() % 65536) : " " + std::to_string(random() % 2000);
      sqlite3_bind_int(insert, 1, r);
      sqlite3_bind_text(insert, 2, symbol.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_text(insert, 3, data.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_text(insert, 4, r % 5 == 0 ? "(H)" : "(D)", -1, SQLITE_STATIC);
      sqlite3_step(insert);
      sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
  });
}

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

struct Result {
  std::size_t bytes = 0;
  double seconds = 0;  // quickest of the trials
};

Result Ours(const Bytes& input) {
  Result result{0, 1e9};
  for (int t = 0; t < kTrials; ++t) {
    const auto start = std::chrono::steady_clock::now();
    const auto packed = platform::archive::EncodeLh5(input.data(), input.size());
    result.seconds = std::min(result.seconds, Seconds(start));
    result.bytes = packed ? packed->size() : 0;
  }
  return result;
}

Result Gzip(const Bytes& input) {
  const fs::path path = fs::temp_directory_path() / ("archive_bench_input" + std::to_string(::getpid()));
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(input.data()), static_cast<std::streamsize>(input.size()));
  Result result{0, 1e9};
  const std::string command = "gzip -6 -c '" + path.string() + "'";
  for (int t = 0; t < kTrials; ++t) {
    const auto start = std::chrono::steady_clock::now();
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) break;
    std::size_t bytes = 0;
    char buffer[65536];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) bytes += got;
    ::pclose(pipe);
    result.seconds = std::min(result.seconds, Seconds(start));
    result.bytes = bytes;
  }
  fs::remove(path);
  return result;
}

void Compare(const std::string& name, const Bytes& input) {
  if (input.empty()) return;
  const double mb = input.size() / 1e6;
  const Result ours = Ours(input), gzip = Gzip(input);
  if (ours.bytes == 0 || gzip.bytes == 0) {
    std::printf("%s: cannot encode or run gzip\n", name.c_str());
    return;
  }
  std::printf("%s, %.2f MB:\n", name.c_str(), mb);
  std::printf("  lh5 (ours)   %9zu bytes, ratio %.3f, %6.1f MB/s\n", ours.bytes, ours.bytes / double(input.size()), mb / ours.seconds);
  std::printf("  gzip -6      %9zu bytes, ratio %.3f, %6.1f MB/s (process included)\n", gzip.bytes,
              gzip.bytes / double(input.size()), mb / gzip.seconds);
  std::printf("  ours / gzip  size %.3f, speed %.2f\n", ours.bytes / double(gzip.bytes), gzip.seconds / ours.seconds);
}

}  // namespace

int main(int argc, char** argv) {
  std::printf("quickest of %d trials each\n", kTrials);
  Compare("CSV text", SaveFolderText(4u << 20));
  Compare("workbook of float samples", SampleWorkbook());
  Compare("workbook of setting texts", SettingWorkbook());
  for (int i = 1; i < argc; ++i) Compare(fs::path(argv[i]).filename().string(), ReadFile(argv[i]));
  return 0;
}
