#pragma once
// A save run in the test process: a documents folder of its own, the scripted exchange answered
// by the simulated drive's command model (or a test's own responder around it), and the run
// context over them, with a fixed clock. What the run packed is read back with the archiver;
// what it told its listeners is heard as one text per event.
#include <gtest/gtest.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>

#include "drivesim/command_model.h"
#include "platform/shell/folders.h"
#include "quillon/requests/drive_database_download.h"
#include "quillon/run/archiver.h"
#include "quillon/run/run_context.h"
#include "quillon/run/save_sequence.h"
#include "quillon/run/save_names.h"
#include "tests/output/record_file_expectations.h"
#include "tests/requests/scripted_exchange.h"

namespace quillon_test {

// 09:05:07 on 3 February 2026.
inline std::tm February3rd() {
  std::tm t{};
  t.tm_year = 2026 - 1900;
  t.tm_mon = 1;
  t.tm_mday = 3;
  t.tm_hour = 9;
  t.tm_min = 5;
  t.tm_sec = 7;
  return t;
}

// Every regular file below `folder`, by file name, with its bytes.
inline std::map<std::string, std::string> FilesBelow(const std::filesystem::path& folder) {
  std::map<std::string, std::string> files;
  std::error_code ignored;
  for (std::filesystem::recursive_directory_iterator it(folder, ignored), end; !ignored && it != end; ++it)
    if (it->is_regular_file()) files[it->path().filename().string()] = FileText(it->path());
  return files;
}

// A folder below the system's temporary folder for one test, removed with its contents.
class TestFolder {
 public:
  TestFolder() {
    path_ = std::filesystem::temp_directory_path() /
            ("quillon_run_" + std::to_string(::getpid()) + "_" + std::to_string(++count()));
    platform::shell::DeleteFolder(path_, true);
    std::filesystem::create_directories(path_);
  }
  ~TestFolder() { platform::shell::DeleteFolder(path_, true); }
  TestFolder(const TestFolder&) = delete;
  TestFolder& operator=(const TestFolder&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  static int& count() {
    static int n = 0;
    return n;
  }
  std::filesystem::path path_;
};

struct RunSetup {
  drivesim::DriveOptions drive;
  std::string commandLine;
  // Where the templates and the simulated drive's database are: the build's templates folder
  // gives workbooks; by default the templates alone, without the database: CSV sets.
  std::filesystem::path templateFolder;
};

// The build's templates, with the simulated drive's database "SIM01.00.mdb".
inline std::filesystem::path BuiltTemplates() { return std::filesystem::path(QUILLON_BINARY_DIR) / "templates"; }
// Copies of the build's templates `names` in `folder`, made if need be; returns `folder`.
inline std::filesystem::path CopiedTemplates(const std::filesystem::path& folder,
                                             std::initializer_list<const char*> names) {
  std::filesystem::create_directories(folder);
  for (const char* name : names) std::filesystem::copy_file(BuiltTemplates() / name, folder / name);
  return folder;
}

class RunRig {
 public:
  explicit RunRig(RunSetup setup = {}) {
    // The program is told the drive's code page, as a user does with --codepage.
    exchange.useCodePage(setup.drive.codePage);
    useDrive(std::move(setup.drive));
    const std::filesystem::path templates =
        setup.templateFolder.empty() ? CopiedTemplates(scratch_.path() / "templates-only", {"TRB_TMP.mdb", "SET_TMP.mdb"})
                                     : setup.templateFolder;
    run_ = std::make_unique<quillon::RunContext>(
        exchange, quillon::RunFolders::InDocuments(documents_.path(), templates, documents_.path() / "no-install-root"),
        quillon::RunSwitches::Of(setup.commandLine), [this] { return now; });
    platform::shell::CreateFolder(run_->folders.AppFolder);
  }

  // The drive from now on; the exchange answers as it does.
  void useDrive(drivesim::DriveOptions options, drivesim::Misbehaviour misbehaviour = {}) {
    model_ = std::make_unique<drivesim::CommandModel>(drivesim::DriveProfile(std::move(options)), misbehaviour);
    exchange.responder = AnswersOf(*model_);
  }
  const drivesim::DriveProfile& drive() const { return model_->profile(); }
  Responder driveAnswers() { return AnswersOf(*model_); }

  quillon::RunContext& run() { return *run_; }
  const std::filesystem::path& documents() const { return documents_.path(); }
  std::filesystem::path appFolder() const { return run_->folders.AppFolder; }
  std::filesystem::path working() const { return run_->folders.workingFolder(); }
  // The archive (or moved folder) of a run at `now`.
  std::filesystem::path archive() const { return appFolder() / (quillon::DatedSaveName(now) + ".lzh"); }
  std::filesystem::path movedFolder() const { return appFolder() / quillon::DatedSaveName(now); }

  // The files in the run's archive, extracted by the archiver the program uses; none without one.
  std::map<std::string, std::string> archivedFiles() const {
    return std::filesystem::exists(archive()) ? FilesBelow(savedFolder()) : std::map<std::string, std::string>{};
  }
  // Where the run left its files: its archive extracted, else its working folder.
  std::filesystem::path savedFolder() const {
    if (!std::filesystem::exists(archive())) return working();
    const std::filesystem::path into = scratch_.path() / "extracted";
    platform::shell::DeleteFolder(into, true);
    std::filesystem::create_directories(into);
    EXPECT_EQ(quillon::RunUnlha(quillon::ExtractCommand(archive(), into), exchange.codePage()), 0);
    return into;
  }

  ScriptedExchange exchange;
  std::tm now = February3rd();  // the run's clock

 private:
  TestFolder documents_;
  TestFolder scratch_;
  std::unique_ptr<drivesim::CommandModel> model_;
  std::unique_ptr<quillon::RunContext> run_;
};

// What a listener heard, one text per event; the bar's moves only as its last width.
class Heard : public quillon::RunListener {
 public:
  explicit Heard(quillon::RunContext& run) : run_(run) { run_.events.add(*this); }
  ~Heard() override { run_.events.remove(*this); }

  void onRunEvent(const quillon::RunEvent& event) override {
    using namespace quillon;
    std::visit(Overloaded{
                   [this](const StepChanged& e) {
                     static const char* states[] = {"started", "done", "skipped", "failed", "cancelled"};
                     told.push_back(std::string(StepCaption(e.step)) + " " + states[static_cast<int>(e.state)]);
                   },
                   [this](const DriveIdentified& e) { told.push_back("drive " + e.DriveType); },
                   [this](const BanksCounted& e) { told.push_back("banks " + std::to_string(e.recorded)); },
                   [this](const BankStarted& e) { told.push_back(quillon::BankLine(e)); },
                   [](const BankRead&) {},
                   [this](const MemoryBlocksRead& e) {
                     if (e.done == e.of) told.push_back(quillon::MemoryBlocksLine(e));
                   },
                   [](const DatabaseBlockReceived&) {},
                   [this](const RequestResent& e) {
                     told.push_back("re-send " + e.request + " " + std::to_string(e.resend) + "/" + std::to_string(e.of));
                   },
                   [this](const RequestAnswered& e) { told.push_back("answered " + e.request); },
                   [this](const ProgressMoved& e) { barWidth = e.width; },
                   [this](const Notice& e) {
                     told.push_back("notice " + e.text);
                     notices.push_back(e.text);
                   },
                   [this](const RunEnded& e) {
                     static const char* outcomes[] = {"not run", "completed", "failed", "cancelled"};
                     told.push_back(std::string("ended ") + outcomes[static_cast<int>(e.outcome)] + " " +
                                    e.location.string());
                     ended = e;
                   },
               },
               event);
  }

  std::vector<std::string> told, notices;
  quillon::RunEnded ended;
  int barWidth = 0;

 private:
  quillon::RunContext& run_;
};

}  // namespace quillon_test
