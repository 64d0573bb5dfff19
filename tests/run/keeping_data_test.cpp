// Nothing the drive delivered is lost: the next Start keeps what an earlier run left, no save
// is ever replaced, a bank whose workbook cannot be written is kept as its CSV set, and a file
// that cannot be written completely is never left short under its name.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "quillon/run/save_names.h"
#include "quillon/run/save_sequence.h"
#include "tests/db/test_files.h"
#include "tests/run/run_rig.h"
#include "tests/shell/file_size_limit.h"

namespace {
namespace fs = std::filesystem;
using namespace quillon;
using quillon_test::CopiedTemplates;
using quillon_test::FilesBelow;
using quillon_test::FileText;
using quillon_test::Heard;
using quillon_test::RunRig;
using quillon_test::RunSetup;
using quillon_test::ScriptedReply;

// A run of the rig's drive with "MX205" refused (banks 0 and 2 saved), or answered throughout.
RunOutcome runRefusingBank5(RunRig& rig, bool refuse) {
  const auto answer = rig.driveAnswers();
  rig.exchange.responder = [answer, refuse](const std::string& request) {
    return refuse && request == "MX205" ? ScriptedReply::Nak(2) : answer(request);
  };
  return RunSaveSequence(rig.run(), false);
}

TEST(KeepingData, AnEarlierRunsDataIsKeptAndNoSaveIsReplaced) {
  RunRig rig;
  const fs::path app = rig.appFolder();
  ASSERT_EQ(runRefusingBank5(rig, true), RunOutcome::Failed);
  const auto firstRun = FilesBelow(rig.working());
  ASSERT_EQ(firstRun.count("Trb2_Data.csv"), 1u);

  // The next Start, within the same second: the folder is kept aside and said so; the run
  // makes its archive.
  {
    Heard heard(rig.run());
    ASSERT_EQ(runRefusingBank5(rig, false), RunOutcome::Completed) << rig.run().x().ErrorText;
    const fs::path kept = app / "TRBSAVE_20260203_090507_incomplete";
    EXPECT_EQ(FilesBelow(kept), firstRun);
    ASSERT_EQ(heard.notices.size(), 1u);
    EXPECT_EQ(heard.notices[0], "The data of an earlier run that did not complete was kept: " +
                                     rig.working().string() + " is now " + kept.string());
    EXPECT_EQ(heard.ended.notices, heard.notices) << "the end lists it again";
    EXPECT_TRUE(fs::is_regular_file(rig.archive()));
  }
  const std::string firstArchive = FileText(rig.archive());

  // The same again in the same second: a second folder kept beside the first, and the archive
  // takes the next second; the first archive is untouched.
  ASSERT_EQ(runRefusingBank5(rig, true), RunOutcome::Failed);
  ASSERT_EQ(runRefusingBank5(rig, false), RunOutcome::Completed) << rig.run().x().ErrorText;
  EXPECT_EQ(FilesBelow(app / "TRBSAVE_20260203_090507_incomplete_2"), firstRun);
  EXPECT_EQ(FilesBelow(app / "TRBSAVE_20260203_090507_incomplete"), firstRun);
  EXPECT_EQ(FileText(rig.archive()), firstArchive);
  EXPECT_EQ(rig.run().saveLocation, app / "TRBSAVE_20260203_090508.lzh");
  EXPECT_TRUE(fs::is_regular_file(app / "TRBSAVE_20260203_090508.lzh"));

  // The seconds carry over into minutes, hours and days; a dated folder counts as taken too.
  std::tm late = quillon_test::February3rd();
  late.tm_hour = 23;
  late.tm_min = 59;
  late.tm_sec = 59;
  fs::create_directories(app / "TRBSAVE_20260203_235959");
  EXPECT_EQ(FreeDatedTarget(app, late), app / "TRBSAVE_20260204_000000");

  // An empty working folder is only removed: nothing to keep, nothing to say.
  fs::create_directories(rig.working());
  Heard heard(rig.run());
  ASSERT_EQ(runRefusingBank5(rig, false), RunOutcome::Completed);
  EXPECT_TRUE(heard.notices.empty());
  EXPECT_FALSE(fs::exists(app / "TRBSAVE_20260203_090507_incomplete_3"));
}

std::size_t countNamed(const fs::path& folder, const std::string& start, const std::string& end) {
  std::size_t n = 0;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    n += name.starts_with(start) && name.ends_with(end);
  }
  return n;
}

TEST(KeepingData, ABankWhoseWorkbookCannotBeWrittenIsSavedAsItsCsvSet) {
  struct Case {
    std::string name;
    std::size_t workbooks;  // the banks saved as workbooks; the others as CSV sets
    bool setpointWorkbook;
  };
  for (const Case& c : {Case{"damaged drive database", 0, false},
                        Case{"panel name too long for file names, cut", 3, true},
                        Case{"drive type with trailing blanks, database by type", 3, true}}) {
    SCOPED_TRACE(c.name);
    RunSetup setup;
    setup.templateFolder = quillon_test::BuiltTemplates();
    const quillon_test::TestFolder scratch;
    const fs::path own = scratch.path();
    if (c.name.starts_with("panel name")) setup.drive.panelName = std::string(240, 'P');
    if (c.name.starts_with("drive type")) {
      setup.drive.driveType = "RX-Fenn  ";
      setup.templateFolder = CopiedTemplates(own / "templates", {"TRB_TMP.mdb", "SET_TMP.mdb"});
    }
    RunRig rig(setup);
    if (c.name == "damaged drive database") {
      // Found first in the program folder, and cut short by 1000 bytes.
      const fs::path copy = CopiedTemplates(rig.appFolder(), {"SIM01.00.mdb"}) / "SIM01.00.mdb";
      fs::resize_file(copy, fs::file_size(copy) - 1000);
    }
    if (c.name.starts_with("drive type")) {
      CopiedTemplates(rig.documents() / "no-install-root" / "Program files/Korvane/Pelmark Tool/DRIVE DB/RX-Fenn",
                      {"SIM01.00.mdb"});
    }

    Heard heard(rig.run());
    const RunOutcome outcome = RunSaveSequence(rig.run(), false);
    // The setting-parameter conversion has the same trouble; its CSV files are kept then.
    EXPECT_EQ(outcome, c.setpointWorkbook ? RunOutcome::Completed : RunOutcome::Failed) << rig.run().x().ErrorText;
    const fs::path saved = rig.savedFolder();
    EXPECT_EQ(countNamed(saved, "TRB", ".mdb"), c.workbooks);
    EXPECT_EQ(countNamed(saved, "Trb", "_Data.csv"), 3 - c.workbooks) << "every bank is saved";
    EXPECT_EQ(countNamed(saved, "Set_Sram_", ".mdb"), c.setpointWorkbook ? 1u : 0u);
    EXPECT_EQ(countNamed(saved, "Set_Sram_", ".csv"), c.setpointWorkbook ? 0u : 1u);
    // Each bank saved otherwise is told at once and again at the end, with why and where.
    EXPECT_EQ(heard.notices.size(), 3 - c.workbooks);
    for (const std::string& notice : heard.notices) {
      EXPECT_TRUE(notice.starts_with("Trace-back workbook of bank ")) << notice;
      EXPECT_NE(notice.find("\r\nThe bank is saved as its CSV set " + rig.working().string() + "/TRB_"),
                std::string::npos)
          << notice;
    }
    EXPECT_EQ(heard.ended.notices, heard.notices);
    if (c.name == "damaged drive database") {
      ASSERT_FALSE(heard.notices.empty());
      EXPECT_NE(heard.notices[0].find((rig.appFolder() / "SIM01.00.mdb").string()), std::string::npos)
          << "names the damaged database: " << heard.notices[0];
    }
    if (c.name.starts_with("panel name")) {
      EXPECT_EQ(rig.run().SafePanelName, std::string(200, 'P'));
    }
  }
}

// Every file of a folder tree by its path below it.
std::map<std::string, fs::path> filesOf(const fs::path& folder) {
  std::map<std::string, fs::path> files;
  if (!fs::is_directory(folder)) return files;
  for (const auto& entry : fs::recursive_directory_iterator(folder))
    if (entry.is_regular_file()) files[fs::relative(entry.path(), folder).string()] = entry.path();
  return files;
}

TEST(KeepingData, AFileThatCannotBeWrittenCompletelyIsNeverLeftShort) {
  // The files of the same drive saved without trouble: once with its database (workbooks) and
  // once without (CSV sets and the record files as read).
  RunSetup setup;
  setup.templateFolder = quillon_test::BuiltTemplates();
  RunRig withDatabase(setup), withoutDatabase;
  std::map<std::string, fs::path> expected;
  for (RunRig* reference : {&withDatabase, &withoutDatabase}) {
    ASSERT_EQ(RunSaveSequence(reference->run(), false), RunOutcome::Completed) << reference->run().x().ErrorText;
    expected.merge(filesOf(reference->savedFolder()));
  }

  // A disk that fills at a file of 2 kB (a bank's samples), 20 kB (the setting parameters) or
  // 200 kB (the setting-parameter workbook): whatever was saved stands complete under its name,
  // the rest is missing, and the run says which file failed.
  for (const rlim_t limit : {2000u, 20000u, 200000u}) {
    SCOPED_TRACE("file size limit " + std::to_string(limit));
    RunRig rig(setup);
    RunOutcome outcome;
    {
      quillon_test::FileSizeLimit diskFull(limit);
      outcome = RunSaveSequence(rig.run(), false);
    }
    const std::string& error = rig.run().x().ErrorText;
    EXPECT_EQ(outcome, RunOutcome::Failed);
    EXPECT_TRUE(error.find("File too large") != std::string::npos || error.find("workbook not written") != std::string::npos)
        << error;
    // Past the last checkpoint the run still packs what it has; before it the working folder stays.
    for (const auto& [name, path] : filesOf(rig.savedFolder())) {
      EXPECT_FALSE(name.ends_with(".part")) << name;
      EXPECT_FALSE(name.ends_with(".partial.mdb")) << name;
      if (name.ends_with(".csv")) {
        const auto same = expected.find(name);
        ASSERT_NE(same, expected.end()) << name;
        const std::string text = FileText(path), full = FileText(same->second);
        if (name.find("/Trb") != std::string::npos) {
          EXPECT_EQ(text, full) << name;  // a bank, read before anything failed
        } else {
          // Written after the run was aborted, from what it had (unread values as 0 or empty),
          // but whole: every line of it.
          EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), std::count(full.begin(), full.end(), '\n')) << name;
          EXPECT_TRUE(text.ends_with("\r\n")) << name;
        }
      } else if (name.ends_with(".mdb")) {
        EXPECT_EQ(db_test::queryText(path, "PRAGMA integrity_check"), "ok") << name;
        EXPECT_EQ(expected.count(name), 1u) << name;
      }
    }
  }
}

}  // namespace
