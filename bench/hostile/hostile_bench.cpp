// Hostile-input figures of the save run: whole runs against a drive that refuses, falls
// silent, sends header-only, short or non-hex replies at each command, with damaged drive
// databases, hostile drive database archives, a disk that fills, Cancel at random points, and a
// run after one that ended early within the same second. Each run goes in a child process
// (in-process exchange, nothing sent anywhere), so a crash or a hang is counted, not suffered.
// For each class: runs, crashes, hangs, data lost (a file the run completed that is missing
// afterwards or not whole), wrong successes ("Complete" while a fault was hit, or with files
// that differ from a clean run's without a notice saying why) and files written outside the
// program folder. Every figure but the runs must be 0; the exit status says whether they are.
//
//   hostile_bench [--quick]      (--quick: about a fifth of the runs)
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "drivesim/command_model.h"
#include "drivesim/lzh_store.h"
#include "platform/shell/complete_file.h"
#include "platform/shell/folders.h"
#include "platform/shell/message_box.h"
#include "quillon/requests/drive_database_download.h"
#include "quillon/run/archiver.h"
#include "quillon/run/run_context.h"
#include "quillon/run/save_names.h"
#include "quillon/window/main_window.h"
#include "tests/requests/scripted_exchange.h"

namespace {
namespace fs = std::filesystem;
using namespace quillon;
using quillon_test::ScriptedExchange;
using quillon_test::ScriptedReply;

constexpr int kHangSeconds = 60;  // a run in process takes well under a second
const fs::path kBuiltTemplates = fs::path(QUILLON_BINARY_DIR) / "templates";

std::tm fixedClock() {
  std::tm t{};
  t.tm_year = 2026 - 1900;
  t.tm_mon = 1;
  t.tm_mday = 3;
  t.tm_hour = 9;
  t.tm_min = 5;
  t.tm_sec = 7;
  return t;
}

std::string readText(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void writeText(const fs::path& file, const std::string& text) { std::ofstream(file, std::ios::binary) << text; }

// ---------------------------------------------------------------------------------------------
// A trial: one drive, one fault.

struct Trial {
  std::string cls;
  drivesim::DriveOptions drive;
  drivesim::Misbehaviour misbehaviour;
  std::string faultCommand;  // header-only, short or non-hex replies of this command
  int refuseRequest = 0;     // the n-th request (from 1) is refused
  int silentRequest = 0;     // the n-th request is never answered
  int cancelAtEvent = 0;     // Cancel is pressed at the n-th run event
  rlim_t fileSizeLimit = 0;  // a disk that fills: no file may grow past this
  bool dbLoad = false;
  bool earlierRunEndsEarly = false;  // a first run is refused at `refuseRequest`; then a clean one
  bool withoutDatabase = false;      // templates without the drive database: CSV sets
  std::function<void(const fs::path& appFolder)> prepare;
  bool faultMustShow = false;  // once the fault was hit, "Complete" would be a wrong success
};

Trial trialOf(std::string cls, drivesim::DriveOptions drive) {
  Trial trial;
  trial.cls = std::move(cls);
  trial.drive = std::move(drive);
  return trial;
}

// What the child leaves for the parent, as lines in result.txt.
struct ChildResult {
  bool present = false;
  int outcome = -1;  // RunOutcome of the last run
  bool hit = false;  // the fault was reached
  std::vector<fs::path> locations;  // per run
  std::size_t notices = 0;
  std::string closing;
};

// ---------------------------------------------------------------------------------------------
// The child: one trial as the program runs it, in this process.

class CountingListener : public RunListener {
 public:
  CountingListener(RunContext& run, MainWindow& window, int cancelAt) : run_(run), window_(window), cancelAt_(cancelAt) {
    run_.events.add(*this);
  }
  ~CountingListener() override { run_.events.remove(*this); }
  void onRunEvent(const RunEvent& event) override {
    if (++count == cancelAt_ && window_.running()) window_.clickCancel();
    if (const auto* ended = std::get_if<RunEnded>(&event)) last = *ended;
  }
  int count = 0;
  RunEnded last;

 private:
  RunContext& run_;
  MainWindow& window_;
  int cancelAt_;
};

class QuietMessages : public platform::shell::MessageBoxes {
 public:
  void showMessage(const std::string&) override {}
  void showError(const std::string&) override {}
  bool askYesNo(const std::string&) override { return false; }
};

fs::path templatesWithoutDatabase(const fs::path& folder) {
  fs::create_directories(folder);
  for (const char* name : {"TRB_TMP.mdb", "SET_TMP.mdb"})
    fs::copy_file(kBuiltTemplates / name, folder / name, fs::copy_options::overwrite_existing);
  return folder;
}

[[noreturn]] void runChild(const Trial& trial, const fs::path& folder) {
  std::ofstream published(folder / "published.txt");
  int runNumber = 0;
  platform::shell::SetPublishObserver([&](const fs::path& target, std::uintmax_t size) {
    published << runNumber << '\t' << size << '\t' << target.string() << '\n';
  });
  const fs::path templates = trial.withoutDatabase ? templatesWithoutDatabase(folder / "templates") : kBuiltTemplates;
  drivesim::CommandModel model{drivesim::DriveProfile(trial.drive), trial.misbehaviour};
  ScriptedExchange exchange;
  RunContext run(exchange, RunFolders::InDocuments(folder / "docs", templates, folder / "no-install"),
                 RunSwitches::Of(""), fixedClock);
  QuietMessages messages;
  MainWindow window(run, {&messages, {}, {}, {}});
  window.setDbLoad(trial.dbLoad);
  window.startUp();
  if (trial.prepare) trial.prepare(run.folders.AppFolder);

  bool hit = false;
  int refuseAt = trial.refuseRequest, silentAt = trial.silentRequest;
  exchange.responder = [&](const std::string& request) {
    const int number = static_cast<int>(exchange.sent.size());
    if (number == refuseAt) {
      hit = true;
      return ScriptedReply::Nak(0x1F);
    }
    if (number == silentAt) {
      hit = true;
      return ScriptedReply::Silence(request);
    }
    const auto bytes = model.answer(std::span(reinterpret_cast<const std::uint8_t*>(request.data()), request.size()));
    if (!trial.faultCommand.empty() && drivesim::CommandModel::commandOf(std::span(
                                           reinterpret_cast<const std::uint8_t*>(request.data()), request.size())) ==
                                           trial.faultCommand)
      hit = true;
    if (!bytes) return ScriptedReply::Silence(request);
    return ScriptedReply{std::string(bytes->begin(), bytes->end()), *bytes, {}};
  };
  if (trial.fileSizeLimit) {
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{trial.fileSizeLimit, trial.fileSizeLimit};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    hit = true;
  }

  std::vector<fs::path> locations;
  CountingListener listener(run, window, trial.cancelAtEvent);
  if (trial.earlierRunEndsEarly) {
    window.clickStart();
    locations.push_back(listener.last.location);
    window.clickCancel();  // Reset
    exchange.sent.clear();
    refuseAt = 0;
    ++runNumber;
  }
  window.clickStart();
  locations.push_back(listener.last.location);
  if (trial.cancelAtEvent && listener.count >= trial.cancelAtEvent) hit = true;
  published.close();

  // The result is written without the limit: it is no part of the run.
  rlimit unlimited{RLIM_INFINITY, RLIM_INFINITY};
  ::setrlimit(RLIMIT_FSIZE, &unlimited);
  std::ostringstream result;
  result << static_cast<int>(window.lastOutcome()) << '\n' << hit << '\n' << listener.last.notices.size() << '\n';
  result << locations.size() << '\n';
  for (const fs::path& location : locations) result << location.string() << '\n';
  result << ClosingMessage(listener.last);
  writeText(folder / "result.txt", result.str());
  std::fflush(nullptr);
  ::_exit(0);
}

ChildResult readResult(const fs::path& folder) {
  ChildResult r;
  std::ifstream in(folder / "result.txt");
  std::size_t runs = 0;
  if (!(in >> r.outcome >> r.hit >> r.notices >> runs)) return r;
  std::string line;
  std::getline(in, line);
  for (std::size_t i = 0; i < runs && std::getline(in, line); ++i) r.locations.emplace_back(line);
  r.closing.assign(std::istreambuf_iterator<char>(in), {});
  r.present = true;
  return r;
}

enum class ChildEnd { Exited, Crashed, Hung };

ChildEnd runInChild(const Trial& trial, const fs::path& folder) {
  std::fflush(nullptr);
  const pid_t child = ::fork();
  if (child == 0) runChild(trial, folder);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kHangSeconds);
  int status = 0;
  while (::waitpid(child, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(child, SIGKILL);
      ::waitpid(child, &status, 0);
      return ChildEnd::Hung;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? ChildEnd::Exited : ChildEnd::Crashed;
}

// ---------------------------------------------------------------------------------------------
// What a run left, and how it compares.

using Files = std::map<std::string, fs::path>;  // path below the save -> file

Files filesBelow(const fs::path& folder) {
  Files files;
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) return files;
  for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
    if (it->is_regular_file()) files[fs::relative(it->path(), folder).string()] = it->path();
  return files;
}

// The files of a save: an archive is extracted into `scratch` first.
Files savedFiles(const fs::path& location, const fs::path& scratch) {
  if (location.empty()) return {};
  if (location.extension() != kArchiveExtension) return filesBelow(location);
  platform::shell::DeleteFolder(scratch, true);
  fs::create_directories(scratch);
  if (RunUnlha(ExtractCommand(location, scratch), platform::shell::CodePage()) != 0) return {};
  return filesBelow(scratch);
}

// A workbook as text: every table's rows in order, so that two files of the same content compare
// equal whatever their page layout.
std::string workbookText(const fs::path& file) {
  sqlite3* db = nullptr;
  std::string text;
  if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    sqlite3_close(db);
    return "<unreadable>";
  }
  std::vector<std::string> tables;
  sqlite3_exec(
      db, "SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name",
      [](void* out, int, char** values, char**) {
        static_cast<std::vector<std::string>*>(out)->push_back(values[0] ? values[0] : "");
        return 0;
      },
      &tables, nullptr);
  for (const std::string& table : tables) {
    text += "[" + table + "]\n";
    const std::string sql = "SELECT * FROM \"" + table + "\" ORDER BY rowid";
    sqlite3_exec(
        db, sql.c_str(),
        [](void* out, int columns, char** values, char**) {
          auto& t = *static_cast<std::string*>(out);
          for (int c = 0; c < columns; ++c) t += (values[c] ? values[c] : "NULL") + std::string("|");
          t += "\n";
          return 0;
        },
        &text, nullptr);
  }
  sqlite3_close(db);
  return text;
}

std::string contentOf(const fs::path& file) {
  return file.extension() == ".mdb" ? workbookText(file) : readText(file);
}

bool isPartial(const std::string& name) { return name.ends_with(".part") || name.ends_with(".partial.mdb"); }

bool isConvertedRecordFile(const std::string& relative) {
  if (relative.find('/') != std::string::npos || !relative.ends_with(".csv")) return false;
  for (const char* start : {"Set_Sram_", "Evtlg_", "TroubleRecord_", "EventCount_", "DriveSts_"})
    if (relative.starts_with(start)) return true;
  return false;
}

bool holdsSetpointWorkbook(const Files& files) {
  for (const auto& [name, path] : files)
    if (name.starts_with("Set_Sram_") && name.ends_with(".mdb")) return true;
  return false;
}

std::size_t bankCount(const Files& files) {
  std::set<std::string> banks;
  for (const auto& [name, path] : files) {
    if (name.starts_with("TRB") && name.ends_with(".mdb") && name.find('/') == std::string::npos) banks.insert(name);
    if (name.starts_with("TRB_") && name.find('/') != std::string::npos) banks.insert(name.substr(0, name.find('/')));
  }
  return banks.size();
}

struct Reference {
  Files withDatabase, withoutDatabase;
  std::vector<std::string> requests;
  int events = 0;
};

struct Verdict {
  bool dataLost = false;
  bool wrongSuccess = false;
  bool outside = false;
  std::string why;
};

// Every file a run completed must be found afterwards, whole: in the run's save, in a folder an
// earlier run's data was kept in, or (the drive's own database files) in the program folder. The
// record files a conversion took into its workbook are gone by design.
void checkNothingLost(const fs::path& folder, const ChildResult& result, Verdict& verdict) {
  const fs::path app = folder / "docs" / kProgramFolderName;
  const fs::path working = app / kWorkingFolderName;
  std::vector<Files> saves;
  for (std::size_t i = 0; i < result.locations.size(); ++i)
    saves.push_back(savedFiles(result.locations[i], folder / ("saved" + std::to_string(i))));
  std::vector<Files> kept;
  for (const auto& entry : fs::directory_iterator(app))
    if (entry.is_directory() && entry.path().filename().string().ends_with("_incomplete"))
      kept.push_back(filesBelow(entry.path()));

  std::map<std::pair<int, std::string>, std::uintmax_t> last;  // (run, path) -> size
  std::ifstream in(folder / "published.txt");
  int run = 0;
  std::uintmax_t size = 0;
  std::string path;
  while (in >> run && in >> size && in.get() && std::getline(in, path)) last[{run, path}] = size;

  for (const auto& [key, bytes] : last) {
    const auto& [runIndex, file] = key;
    const fs::path published(file);
    auto whole = [&](const Files& files, const std::string& relative) {
      const auto it = files.find(relative);
      return it != files.end() && fs::file_size(it->second) == bytes;
    };
    if (published.parent_path() == app) {
      if (published.filename() != kReceivedArchiveName && !(fs::exists(published) && fs::file_size(published) == bytes))
        verdict.dataLost = true, verdict.why += " lost " + file;
      continue;
    }
    const std::string relative = fs::relative(published, working).string();
    if (relative.starts_with("..")) continue;
    const Files& save = saves.at(static_cast<std::size_t>(runIndex));
    if (whole(save, relative)) continue;
    if (isConvertedRecordFile(relative) && holdsSetpointWorkbook(save)) continue;
    bool found = false;
    for (const Files& k : kept) found = found || whole(k, relative);
    if (!found) verdict.dataLost = true, verdict.why += " lost " + relative;
  }
  for (const Files& save : saves)
    for (const auto& [name, path] : save)
      if (isPartial(name)) verdict.dataLost = true, verdict.why += " partial " + name;
  for (const auto& entry : fs::directory_iterator(folder / "docs"))
    if (entry.path().filename() != kProgramFolderName) verdict.outside = true, verdict.why += " outside " + entry.path().string();
}

// "Complete" must mean the save holds what a clean run saves: the same files with the same
// content, or (when a notice said why) each bank as workbook or CSV set and every file as one
// of the two clean runs has it.
void checkSuccess(const Trial& trial, const fs::path& folder, const ChildResult& result, const Reference& reference,
                  Verdict& verdict) {
  if (result.outcome != static_cast<int>(RunOutcome::Completed)) return;
  if (trial.faultMustShow && result.hit) {
    verdict.wrongSuccess = true;
    verdict.why += " completed although the fault was hit";
    return;
  }
  // A drive database archive that was not taken must be named: nothing of it in the program folder.
  if (trial.dbLoad) {
    bool extracted = false;
    for (const auto& entry : fs::directory_iterator(folder / "docs" / kProgramFolderName))
      extracted = extracted || !entry.path().filename().string().starts_with(kWorkingFolderName);
    if (!extracted && result.closing.find("The drive database archive") == std::string::npos) {
      verdict.wrongSuccess = true;
      verdict.why += " a refused drive database archive is not named";
    }
  }
  const Files save = savedFiles(result.locations.back(), folder / "compared");
  const Files& clean = trial.withoutDatabase ? reference.withoutDatabase : reference.withDatabase;
  auto sameAs = [](const fs::path& a, const Files& files, const std::string& name) {
    const auto it = files.find(name);
    return it != files.end() && contentOf(a) == contentOf(it->second);
  };
  if (result.notices == 0) {
    if (save.size() != clean.size()) verdict.wrongSuccess = true, verdict.why += " other files than a clean run";
    for (const auto& [name, path] : save)
      if (!sameAs(path, clean, name)) verdict.wrongSuccess = true, verdict.why += " differs: " + name;
    return;
  }
  if (bankCount(save) != bankCount(clean)) verdict.wrongSuccess = true, verdict.why += " a bank is missing";
  for (const auto& [name, path] : save)
    if (!sameAs(path, reference.withDatabase, name) && !sameAs(path, reference.withoutDatabase, name))
      verdict.wrongSuccess = true, verdict.why += " differs: " + name;
}

// What a trial does, for the list of problems.
std::string describe(const Trial& t) {
  std::string text = t.drive.driveType;
  const drivesim::Misbehaviour& m = t.misbehaviour;
  if (t.refuseRequest) text += ", request " + std::to_string(t.refuseRequest) + " refused";
  if (t.silentRequest) text += ", request " + std::to_string(t.silentRequest) + " unanswered";
  if (!m.headerOnlyCommand.empty()) text += ", \"" + m.headerOnlyCommand + "\" header only";
  if (!m.shortCommand.empty()) text += ", \"" + m.shortCommand + "\" short";
  if (!m.nonHexCommand.empty()) text += ", \"" + m.nonHexCommand + "\" non-hex";
  if (t.cancelAtEvent) text += ", Cancel at event " + std::to_string(t.cancelAtEvent);
  if (t.fileSizeLimit) text += ", files up to " + std::to_string(t.fileSizeLimit) + " bytes";
  return text;
}

// ---------------------------------------------------------------------------------------------
// The classes.

struct ClassFigures {
  int runs = 0, crashes = 0, hangs = 0, lost = 0, wrong = 0, outside = 0;
  int completed = 0, failed = 0, cancelled = 0;
};

const std::set<std::string> kFreeTextCommands{"Q1", "Q2", "Q3", "Q4", "QA1", "QA2"};

drivesim::DriveOptions ardo() {
  drivesim::DriveOptions d;
  d.driveType = "RX-Ardo";
  d.interfaceLevel = 5;
  d.interfaceMinor = 1;
  return d;
}

std::string commandOf(const std::string& request) {
  return drivesim::CommandModel::commandOf(
      std::span(reinterpret_cast<const std::uint8_t*>(request.data()), request.size()));
}

// The request numbers (from 1) of each command's first and last request.
std::vector<int> requestPoints(const std::vector<std::string>& requests, bool lastToo) {
  std::map<std::string, std::pair<int, int>> span;
  for (std::size_t i = 0; i < requests.size(); ++i) {
    auto [it, fresh] = span.try_emplace(commandOf(requests[i]), static_cast<int>(i + 1), static_cast<int>(i + 1));
    if (!fresh) it->second.second = static_cast<int>(i + 1);
  }
  std::set<int> points;
  for (const auto& [command, firstLast] : span) {
    points.insert(firstLast.first);
    if (lastToo) points.insert(firstLast.second);
  }
  return {points.begin(), points.end()};
}

std::vector<std::string> commandsOf(const std::vector<std::string>& requests) {
  std::set<std::string> commands;
  for (const std::string& request : requests) commands.insert(commandOf(request));
  return {commands.begin(), commands.end()};
}

// A copy of the drive database in the program folder, where it is found first, damaged.
std::function<void(const fs::path&)> damagedDatabase(std::function<void(std::string&)> damage) {
  return [damage](const fs::path& app) {
    std::string bytes = readText(kBuiltTemplates / "SIM01.00.mdb");
    damage(bytes);
    writeText(app / "SIM01.00.mdb", bytes);
  };
}

std::vector<Trial> damagedDatabases(const drivesim::DriveOptions& drive, std::size_t quickDivisor) {
  std::vector<Trial> trials;
  auto add = [&](std::function<void(std::string&)> damage) {
    Trial t = trialOf("damaged drive databases", drive);
    t.prepare = damagedDatabase(std::move(damage));
    trials.push_back(t);
  };
  for (std::size_t cut : {100u, 1000u, 4096u, 8192u}) add([cut](std::string& b) { b.resize(b.size() > cut ? b.size() - cut : 0); });
  add([](std::string& b) { b.resize(b.size() / 2); });
  add([](std::string& b) { b.resize(100); });
  add([](std::string& b) { b = "not a database at all"; });
  const std::size_t page = 4096;
  for (std::size_t p = 1; p < 12; p += quickDivisor > 1 ? 4 : 1)
    add([p, page](std::string& b) {
      if (b.size() >= (p + 1) * page) std::fill(b.begin() + static_cast<std::ptrdiff_t>(p * page), b.begin() + static_cast<std::ptrdiff_t>((p + 1) * page), '\0');
    });
  for (std::size_t at : {18u, 28u, 32u, 44u, 56u})
    add([at](std::string& b) { b[at] = static_cast<char>(b[at] ^ 0x5A); });
  return trials;
}

std::vector<Trial> hostileArchives(const drivesim::DriveOptions& drive) {
  auto text = [](const std::string& t) { return std::vector<std::uint8_t>(t.begin(), t.end()); };
  const std::vector<std::vector<drivesim::LzhMember>> memberLists{
      {{"TRBSAVE/x.csv", text("1,2\r\n")}},
      {{"trbsave/Trb0_Data.csv", text("1,2\r\n")}},
      {{"TRBSAVE_20260203_090507.lzh", text("not a save")}},
      {{"TRBSAVE_20260203_090507_incomplete/x", text("x")}},
      {{"SIM01.00.mdb", text("a")}, {"SIM01.00.mdb", text("b")}},
      {{"ok.txt", text("fine")}, {"../escaped.txt", text("x")}},
      {{"/tmp/absolute.txt", text("x")}},
      {{"a/../../b.txt", text("x")}},
      {{"ok.txt", text("fine")}},
  };
  std::vector<Trial> trials;
  for (const auto& members : memberLists) {
    Trial t = trialOf("hostile drive archives", drive);
    t.drive.archive = drivesim::StoredLzhArchive(members);
    t.dbLoad = true;
    trials.push_back(t);
  }
  // The drive's real archive cut short or with a byte changed.
  const std::vector<std::uint8_t> real = drivesim::StoredDatabaseArchive();
  for (const std::size_t cut : std::vector<std::size_t>{10, 100, 1000, real.size() / 2, real.size() - 3}) {
    Trial t = trialOf("hostile drive archives", drive);
    t.drive.archive = std::vector<std::uint8_t>(real.begin(), real.begin() + static_cast<std::ptrdiff_t>(std::min(cut, real.size())));
    t.dbLoad = true;
    trials.push_back(t);
  }
  for (const std::size_t at : std::vector<std::size_t>{0, 2, 5, 21, 40, 300, real.size() / 3}) {
    Trial t = trialOf("hostile drive archives", drive);
    std::vector<std::uint8_t> changed = real;
    changed[at % changed.size()] ^= 0x41;
    t.drive.archive = changed;
    t.dbLoad = true;
    trials.push_back(t);
  }
  return trials;
}

}  // namespace

int main(int argc, char** argv) {
  const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
  const std::size_t divisor = quick ? 5 : 1;
  const fs::path base = fs::temp_directory_path() / ("quillon_hostile_bench_" + std::to_string(::getpid()));
  platform::shell::DeleteFolder(base, true);
  fs::create_directories(base);
  const auto started = std::chrono::steady_clock::now();
  int trialNumber = 0;
  auto trialFolder = [&] {
    const fs::path folder = base / std::to_string(++trialNumber);
    fs::create_directories(folder);
    return folder;
  };

  // Clean runs of each drive, with and without its database: what every other run is held to.
  std::map<std::string, Reference> references;
  const std::vector<drivesim::DriveOptions> drives{drivesim::DriveOptions{}, ardo()};
  for (const drivesim::DriveOptions& drive : drives) {
    Reference& ref = references[drive.driveType];
    for (const bool withoutDatabase : {false, true}) {
      Trial clean = trialOf("reference", drive);
      clean.withoutDatabase = withoutDatabase;
      const fs::path folder = trialFolder();
      const ChildEnd end = runInChild(clean, folder);
      const ChildResult result = readResult(folder);
      if (end != ChildEnd::Exited || result.outcome != static_cast<int>(RunOutcome::Completed)) {
        std::fprintf(stderr, "hostile_bench: the clean run of %s did not complete\n", drive.driveType.c_str());
        return 2;
      }
      (withoutDatabase ? ref.withoutDatabase : ref.withDatabase) = savedFiles(result.locations.back(), folder / "saved");
    }
    // The requests and events of a clean run, counted by a run that refuses nothing past the end.
    ScriptedExchange exchange;
    drivesim::CommandModel model{drivesim::DriveProfile(drive)};
    exchange.responder = quillon_test::AnswersOf(model);
    const fs::path folder = trialFolder();
    RunContext run(exchange, RunFolders::InDocuments(folder / "docs", kBuiltTemplates, folder / "no-install"),
                   RunSwitches::Of(""), fixedClock);
    QuietMessages messages;
    MainWindow window(run, {&messages, {}, {}, {}});
    window.startUp();
    CountingListener counter(run, window, 0);
    window.clickStart();
    ref.requests = exchange.sent;
    ref.events = counter.count;
  }

  std::vector<Trial> trials;
  std::mt19937 random(18);
  for (const drivesim::DriveOptions& drive : drives) {
    const Reference& ref = references[drive.driveType];
    const bool firstDrive = &drive == &drives.front();
    std::vector<int> points = requestPoints(ref.requests, firstDrive && !quick);
    if (quick) points.resize(std::min<std::size_t>(points.size(), 6));
    for (const int n : points) {
      Trial refused = trialOf("refusal at every command", drive);
      refused.refuseRequest = n;
      refused.faultMustShow = true;
      trials.push_back(refused);
      Trial silent = trialOf("silence at every command", drive);
      silent.silentRequest = n;
      silent.faultMustShow = true;
      trials.push_back(silent);
    }
    std::vector<std::string> commands = commandsOf(ref.requests);
    if (quick) commands.resize(std::min<std::size_t>(commands.size(), 6));
    for (const std::string& command : commands) {
      Trial headerOnly = trialOf("header-only replies", drive);
      headerOnly.misbehaviour.headerOnlyCommand = command;
      headerOnly.faultCommand = command;
      headerOnly.faultMustShow = true;
      trials.push_back(headerOnly);
      // The texts of the identity replies are taken as the drive sends them, whatever their
      // length or characters, and so is the version text of "MV": another text there is the
      // drive's word, not a fault the program could see.
      const bool freeText = kFreeTextCommands.count(command) != 0;
      if (!freeText) {
        Trial cut = trialOf("short and non-hex replies", drive);
        cut.misbehaviour.shortCommand = command;
        trials.push_back(cut);
      }
      if (!freeText && command != "MV") {
        Trial nonHex = trialOf("short and non-hex replies", drive);
        nonHex.misbehaviour.nonHexCommand = command;
        trials.push_back(nonHex);
      }
    }
    const int cancels = quick ? 6 : 30;
    std::uniform_int_distribution<int> event(1, ref.events);
    for (int i = 0; i < cancels; ++i) {
      Trial cancel = trialOf("Cancel at random points", drive);
      cancel.cancelAtEvent = event(random);
      cancel.faultMustShow = true;
      trials.push_back(cancel);
    }
    std::uniform_int_distribution<int> request(1, static_cast<int>(ref.requests.size()));
    for (int i = 0; i < (quick ? 2 : 8); ++i) {
      Trial again = trialOf("next run within the second", drive);
      again.earlierRunEndsEarly = true;
      again.refuseRequest = request(random);
      trials.push_back(again);
    }
  }
  for (Trial& t : damagedDatabases(drives.front(), divisor)) trials.push_back(t);
  for (Trial& t : hostileArchives(drives.front())) trials.push_back(t);
  for (const rlim_t limit : {500u, 2000u, 8000u, 20000u, 60000u, 150000u, 400000u, 1000000u}) {
    Trial full = trialOf("disk full (file size limit)", drives.front());
    full.fileSizeLimit = limit;
    trials.push_back(full);
  }
  {
    Trial blocked = trialOf("disk full (file size limit)", drives.front());
    blocked.prepare = [](const fs::path& app) { writeText(app / kWorkingFolderName, "a file where the folder goes"); };
    trials.push_back(blocked);
  }
  if (quick)
    for (std::size_t i = trials.size(); i-- > 0;)
      if (i % divisor != 0 && (trials[i].cls.starts_with("damaged") || trials[i].cls.starts_with("hostile")))
        trials.erase(trials.begin() + static_cast<std::ptrdiff_t>(i));

  std::vector<std::string> order;
  std::map<std::string, ClassFigures> figures;
  std::vector<std::string> problems;
  for (const Trial& trial : trials) {
    if (!figures.count(trial.cls)) order.push_back(trial.cls);
    ClassFigures& f = figures[trial.cls];
    ++f.runs;
    const fs::path folder = trialFolder();
    const ChildEnd end = runInChild(trial, folder);
    const ChildResult result = readResult(folder);
    if (end == ChildEnd::Crashed || (end == ChildEnd::Exited && !result.present)) {
      ++f.crashes;
      problems.push_back(trial.cls + " #" + folder.filename().string() + ": crashed");
      continue;
    }
    if (end == ChildEnd::Hung) {
      ++f.hangs;
      problems.push_back(trial.cls + " #" + folder.filename().string() + ": hung");
      continue;
    }
    f.completed += result.outcome == static_cast<int>(RunOutcome::Completed);
    f.failed += result.outcome == static_cast<int>(RunOutcome::Failed);
    f.cancelled += result.outcome == static_cast<int>(RunOutcome::Cancelled);
    Verdict verdict;
    checkNothingLost(folder, result, verdict);
    checkSuccess(trial, folder, result, references[trial.drive.driveType], verdict);
    f.lost += verdict.dataLost;
    f.wrong += verdict.wrongSuccess;
    f.outside += verdict.outside;
    if (!verdict.why.empty()) problems.push_back(trial.cls + " #" + folder.filename().string() + " (" + describe(trial) + "):" +
                                                    verdict.why.substr(0, 300));
    platform::shell::DeleteFolder(folder, true);
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

  std::printf("hostile inputs against the save run (in process, each run in a child process), %.0f s\n\n", seconds);
  std::printf("%-30s %5s %8s %6s %10s %15s %8s   %s\n", "class", "runs", "crashes", "hangs", "data lost",
              "wrong successes", "outside", "completed/failed/cancelled");
  ClassFigures total;
  for (const std::string& cls : order) {
    const ClassFigures& f = figures[cls];
    std::printf("%-30s %5d %8d %6d %10d %15d %8d   %d/%d/%d\n", cls.c_str(), f.runs, f.crashes, f.hangs, f.lost,
                f.wrong, f.outside, f.completed, f.failed, f.cancelled);
    total.runs += f.runs, total.crashes += f.crashes, total.hangs += f.hangs, total.lost += f.lost,
        total.wrong += f.wrong, total.outside += f.outside;
  }
  std::printf("%-30s %5d %8d %6d %10d %15d %8d\n", "all", total.runs, total.crashes, total.hangs, total.lost,
              total.wrong, total.outside);
  for (const std::string& problem : problems) std::printf("  %s\n", problem.c_str());
  platform::shell::DeleteFolder(base, true);
  return total.crashes + total.hangs + total.lost + total.wrong + total.outside == 0 ? 0 : 1;
}
