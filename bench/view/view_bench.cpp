// Opens the two largest saves a drive can make (8 banks x 255 signals x 960 samples, and
// 1 bank x 255 signals x 16320 samples), written by the program's own workbook writer and
// packed by its archiver, and times the viewer until its first plot is drawn, from the
// folder and from the archive; then writes the report of each. Baselines of the same run:
// a bare SQLite scan of the samples, and the archive's usual extraction. Last, two saves of
// eight banks with the largest setting-parameter image and the records, differing in one
// bank and a few words, are compared as `quillon diff` does; baseline: reading the two.
// usage: view_bench [scratch folder]
#include <sqlite3.h>

#include <QApplication>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "platform/archive/lzh_reader.h"
#include "platform/archive/unlha.h"
#include "platform/shell/folders.h"
#include "quillon/database/trace_workbook.h"
#include "quillon/output/setpoint_files.h"
#include "quillon/output/trouble_files.h"
#include "quillon/view/diff_writers.h"
#include "quillon/view/plot_widget.h"
#include "quillon/view/report.h"
#include "quillon/view/save_reader.h"
#include "quillon/view/viewer_window.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kSignals = 255;
constexpr int kTrials = 3;
const fs::path kTemplates = fs::path(QUILLON_BINARY_DIR) / "templates";

double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// Noise on a sine, so that no curve reduces to a straight line in the plot or the report.
std::int32_t sampleOf(int signal, int sample) {
  const std::uint32_t mixed = static_cast<std::uint32_t>(signal * 2654435761u) ^ static_cast<std::uint32_t>(sample * 40503u);
  return static_cast<std::int32_t>(1000 * std::sin(sample / 40.0 + signal) + (mixed % 97));
}

// A save folder of `banks` workbooks, each 255 signals in three groups of `depth` x 64 samples.
// Another `variant` moves the fault of the last bank.
void writeSave(const fs::path& app, int banks, int depth, int variant = 0) {
  quillon::DriveIdentity identity;
  identity.DriveType = "RX-Fenn";
  identity.PanelName = "BENCH";
  identity.InterfaceLevel = 6;
  const std::string safePanelName = "BENCH";
  quillon::TraceBackTables t;
  t.resizeBankTime();
  const auto unit = static_cast<std::uint8_t>(depth);
  t.GroupDepth = {unit, unit, unit, 0, 0};
  t.GroupSignals = {0, 85, 85, 85, 0, 0};
  t.GroupSampling = {0, 1000, 2000, 4000, 0, 0};
  t.GroupFaultIndex = {0, static_cast<std::int16_t>(depth * 32), static_cast<std::int16_t>(depth * 32),
                       static_cast<std::int16_t>(depth * 16), 0, 0};
  t.MaxGroupDepth = unit;
  t.SignalsPerBank = kSignals;
  const quillon::TraceWorkbookFiles files{kTemplates / "SIM01.00.mdb", kTemplates / quillon::kTraceTemplateName,
                                          app / "TRBSAVE"};
  for (int bank = 0; bank < banks; ++bank) {
    const int minute = 10 + bank + (bank == banks - 1 ? 30 * variant : 0);
    t.BankTime[static_cast<std::size_t>(bank)] = {"", "2014", "12", "07", "09", std::to_string(minute), "15"};
    t.resizeBankTables(identity.InterfaceLevel);
    t.BankSoftVersion[static_cast<std::size_t>(bank)] = "SIM01.00";
    auto& faults = t.BankFaults[static_cast<std::size_t>(bank)];
    for (int k = 1; k <= 30; ++k) faults[static_cast<std::size_t>(k)] = {std::nullopt, -1, -1};
    faults[1] = {std::nullopt, 1, 100};
    for (int s = 1; s <= kSignals; ++s) {
      t.SignalAddress[static_cast<std::size_t>(bank)][static_cast<std::size_t>(s)] = s % 2 ? "&H00010000" : "&H00010004";
      for (int i = 1; i <= t.sampleDepth(); ++i) t.SampleData32.set(s, i, sampleOf(s, i));
    }
    quillon::DatabaseState databases;
    quillon::ExchangeState exchange;
    const quillon::TraceBank read{static_cast<std::uint8_t>(bank), identity, t, safePanelName};
    if (!quillon::WriteTraceWorkbook(read, false, files, databases, exchange))
      std::fprintf(stderr, "workbook not written: %s\n", exchange.ErrorText.c_str());
  }
}

// The record files of a save without drive database beside its banks: the largest setting
// parameter area (14336 words), the event log, trouble records and event counters. Another
// `variant` changes a word in a thousand, one trouble record and every counter.
void writeRecords(const fs::path& app, int variant) {
  const platform::shell::CodePage codePage;
  quillon::MemoryTables memory;
  memory.ranges = {0x4059000, 0x405FFFC, 0x24058C00, 0x24058FFE};
  quillon::resizeSetpointWords(memory);
  for (std::size_t i = 0; i < memory.SetpointWords.size(); ++i)
    memory.SetpointWords[i] = static_cast<std::int16_t>((i * 7919) % 30000 + (variant && i % 1000 == 0));
  memory.EventLogWords.resize(64 * 8);
  for (std::size_t i = 0; i < memory.EventLogWords.size(); ++i) memory.EventLogWords[i] = static_cast<std::int16_t>(i * 31 + 0x0101);
  quillon::TroubleTables records;
  for (std::size_t r = 1; r < records.TroubleTime.size(); ++r) {
    records.TroubleTime[r] = {"", std::to_string(2000 + r + variant * (r == 1)), "01", "02", "03", "04", "05"};
    records.TroubleValues[r] = {static_cast<std::int32_t>(r), static_cast<std::int32_t>(r + 1)};
  }
  for (std::size_t e = 1; e < records.EventCountTime.size(); ++e) {
    records.EventCountTime[e] = {"", "2014", "12", "07", "09", "10", "15"};
    records.EventCountValue[e] = static_cast<std::int32_t>(1000 * e + variant);
  }
  const fs::path folder = app / "TRBSAVE";
  for (const std::string& error : {quillon::WriteSetpointFile(folder, "BENCH", memory, codePage),
                                   quillon::WriteEventLogFile(folder, "BENCH", memory, codePage),
                                   quillon::WriteTroubleFiles(folder, "BENCH", records, codePage)})
    if (!error.empty()) std::fprintf(stderr, "record file not written: %s\n", error.c_str());
}

bool pack(const fs::path& folder, const fs::path& archive) {
  char output[512] = {};
  const std::string command = "a \"" + archive.string() + "\" \"" + folder.string() + "\"\\ *.* -n1 -gm1";
  return Unlha(nullptr, command.c_str(), output, sizeof output) == 0;
}

// Every "Data" table stepped through with a bare SQLite query, each value taken as a double.
double scanDataTables(const fs::path& folder) {
  const auto start = Clock::now();
  double sum = 0;
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (entry.path().extension() != ".mdb") continue;
    sqlite3* db = nullptr;
    sqlite3_open_v2(entry.path().c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(db, "SELECT * FROM Data", -1, &statement, nullptr);
    while (sqlite3_step(statement) == SQLITE_ROW)
      for (int c = 0, n = sqlite3_column_count(statement); c < n; ++c) sum += sqlite3_column_double(statement, c);
    sqlite3_finalize(statement);
    sqlite3_close(db);
  }
  if (sum == 0.5) std::printf(" ");  // the sum is used
  return secondsSince(start);
}

double extract(const fs::path& archive, const fs::path& into) {
  platform::shell::DeleteFolder(into, true);
  fs::create_directories(into);
  const auto start = Clock::now();
  platform::archive::ExtractArchiveFile(archive, into);
  const double seconds = secondsSince(start);
  platform::shell::DeleteFolder(into, true);
  return seconds;
}

struct Opened {
  double read = 0, firstPlot = 0;
};

// From the path given to the first plot drawn, the way `quillon view` opens it.
Opened openInViewer(const fs::path& path) {
  Opened opened;
  const auto start = Clock::now();
  const quillon::view::SaveModel model = quillon::view::ReadSave(path, platform::shell::CodePage());
  opened.read = secondsSince(start);
  quillon::view::ViewerWindow window(model);
  window.resize(1400, 900);
  window.show();
  while (window.plot()->paintCount() == 0) QApplication::processEvents();
  opened.firstPlot = secondsSince(start);
  return opened;
}

template <typename F>
auto best(F measure) {
  auto result = measure();
  for (int i = 1; i < kTrials; ++i) {
    auto next = measure();
    if (next.firstPlot < result.firstPlot) result = next;
  }
  return result;
}

double bestOf(const std::function<double()>& measure) {
  double result = measure();
  for (int i = 1; i < kTrials; ++i) result = std::min(result, measure());
  return result;
}

void benchSave(const char* title, const fs::path& root, int banks, int depth) {
  const fs::path app = root / title;
  writeSave(app, banks, depth);
  const fs::path folder = app / "TRBSAVE";
  const fs::path archive = app / "TRBSAVE_20141207_091015.lzh";
  pack(folder, archive);
  std::uintmax_t folderBytes = 0;
  for (const auto& entry : fs::directory_iterator(folder)) folderBytes += entry.file_size();

  std::printf("\n%s: %d bank(s) x %d signals x %d samples; workbooks %.1f MB, archive %.1f MB\n", title, banks, kSignals,
              depth * 64, folderBytes / 1e6, fs::file_size(archive) / 1e6);
  const double scan = bestOf([&] { return scanDataTables(folder); });
  const double extraction = bestOf([&] { return extract(archive, root / "extract"); });
  const Opened fromFolder = best([&] { return openInViewer(folder); });
  const Opened fromArchive = best([&] { return openInViewer(archive); });
  std::printf("  baseline: bare SQLite scan of the Data tables        %7.3f s\n", scan);
  std::printf("  baseline: extract the archive (checked, then written) %7.3f s\n", extraction);
  std::printf("  folder:  save read %6.3f s (%.1f x the bare scan), first plot drawn %6.3f s (target 1 s: %3.0f %%)\n",
              fromFolder.read, fromFolder.read / scan, fromFolder.firstPlot, fromFolder.firstPlot * 100);
  std::printf("  archive: save read %6.3f s (%.1f x the extraction), first plot drawn %6.3f s (target 1 s: %3.0f %%)\n",
              fromArchive.read, fromArchive.read / extraction, fromArchive.firstPlot, fromArchive.firstPlot * 100);

  const quillon::view::SaveModel model = quillon::view::ReadSave(archive, platform::shell::CodePage());
  const fs::path html = root / (std::string(title) + ".html");
  const double report = bestOf([&] {
    const auto start = Clock::now();
    quillon::view::WriteReport(model, html);
    return secondsSince(start);
  });
  const auto size = fs::file_size(html);
  std::printf("  report (save already read): %7.3f s (target 3 s: %4.0f %%), %.2f MB (target 5 MB: %4.0f %%)\n", report,
              report / 3 * 100, size / 1e6, size / 5e6 * 100);
  const double whole = bestOf([&] {
    const auto start = Clock::now();
    quillon::view::WriteReport(quillon::view::ReadSave(archive, platform::shell::CodePage()), html);
    return secondsSince(start);
  });
  std::printf("  report from the archive:     %7.3f s (target 3 s: %4.0f %%)\n", whole, whole / 3 * 100);
}

void benchDiff(const fs::path& root) {
  fs::path archives[2];
  for (int variant = 0; variant < 2; ++variant) {
    const fs::path app = root / ("diff-" + std::to_string(variant));
    writeSave(app, 8, 15, variant);
    writeRecords(app, variant);
    archives[variant] = app / ("TRBSAVE_2014120" + std::to_string(7 + variant) + "_091015.lzh");
    pack(app / "TRBSAVE", archives[variant]);
  }
  const platform::shell::CodePage codePage;
  using quillon::view::ReadSave;
  const double read = bestOf([&] {
    const auto start = Clock::now();
    const auto older = ReadSave(archives[0], codePage), newer = ReadSave(archives[1], codePage);
    return secondsSince(start);
  });
  std::size_t differences = 0;
  const double whole = bestOf([&] {
    const auto start = Clock::now();
    const auto older = ReadSave(archives[0], codePage), newer = ReadSave(archives[1], codePage);
    const auto diff = quillon::view::CompareSaves({older, archives[0].string()}, {newer, archives[1].string()});
    differences = quillon::view::DiffText(diff).size();
    return secondsSince(start);
  });
  const auto older = ReadSave(archives[0], codePage), newer = ReadSave(archives[1], codePage);
  quillon::view::SaveDiff diff;
  const double compare = bestOf([&] {
    const auto start = Clock::now();
    diff = quillon::view::CompareSaves({older, "older"}, {newer, "newer"});
    differences = quillon::view::DiffText(diff).size();
    return secondsSince(start);
  });
  std::printf("\ndiff of two eight-bank archives with the largest setting-parameter image (%zu words): %s\n",
              older.table(quillon::view::TableKind::SettingParameters)->rows.size(), diff.summary().c_str());
  std::printf("  baseline: read both archives                      %7.3f s\n", read);
  std::printf("  diff (read both, compare, text of %zu bytes)      %7.3f s (%.2f x the reading time)\n", differences, whole,
              whole / read);
  std::printf("  of which comparing and the text                   %7.4f s (%.3f x the reading time)\n", compare,
              compare / read);
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  const fs::path root = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path() / "quillon-bench-view";
  platform::shell::DeleteFolder(root, true);
  fs::create_directories(root);
  int qtArgc = 1;
  char name[] = "view_bench";
  char* qtArgv[] = {name, nullptr};
  QApplication app(qtArgc, qtArgv);
  std::printf("viewer and report of the largest saves (best of %d)\n", kTrials);
  benchSave("eight-banks", root, 8, 15);
  benchSave("one-deep-bank", root, 1, 255);
  benchDiff(root);
  platform::shell::DeleteFolder(root, true);
  return 0;
}
