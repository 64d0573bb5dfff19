// The save sequence as a whole: its steps in run order and what it tells its listeners, the
// checkpoints that end it, and the decisions the steps take from the drive and the switches
// (workbook or CSV set, the other banks' faults only for "Last Fault Only").
#include "quillon/run/save_sequence.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "quillon/output/trb_csv_set.h"
#include "tests/db/test_files.h"
#include "tests/output/record_file_expectations.h"
#include "tests/run/run_rig.h"

namespace {
namespace fs = std::filesystem;
using namespace quillon;
using quillon_test::Heard;
using quillon_test::RunRig;
using quillon_test::RunSetup;
using quillon_test::ScriptedReply;

TEST(SaveSequence, StepsRunInOrderAndTellWhatHappens) {
  RunRig rig;
  const auto answer = rig.driveAnswers();
  rig.exchange.responder = [&](const std::string& request) {
    ScriptedReply reply = answer(request);
    if (request == "MX205") reply.resentFirst = 2;  // a drive slow to answer once
    return reply;
  };
  Heard heard(rig.run());
  EXPECT_EQ(RunSaveSequence(rig.run(), false), RunOutcome::Completed) << rig.run().x().ErrorText;
  EXPECT_EQ(heard.told, (std::vector<std::string>{
                            "Checking the program folder started",
                            "Checking the program folder done",
                            "Clearing the working folder started",
                            "Clearing the working folder done",
                            "Connecting to Drive started",
                            "drive RX-Fenn",
                            "Connecting to Drive done",
                            "Reading the drive information started",
                            "Reading the drive information done",
                            "Receiving Drive Database skipped",
                            "Receiving Trace Back Data started",
                            "banks 3",
                            "Bank 0 (1 of 3)",
                            "Bank 2 (2 of 3)",
                            "Bank 5 (3 of 3)",
                            "re-send MX205 1/9",
                            "re-send MX205 2/9",
                            "answered MX205",
                            "Receiving Trace Back Data done",
                            "Receiving trouble records and event counters started",
                            "Receiving trouble records and event counters done",
                            "Receiving Setting Parameter started",
                            "Setting parameters: block 274 of 274",
                            "Receiving Setting Parameter done",
                            "Writing the setting parameters and event log started",
                            "Event log: block 18 of 18",
                            "Writing the setting parameters and event log done",
                            "Receiving the drive status started",
                            "Receiving the drive status done",
                            "Converting the save folder started",
                            "Converting the save folder skipped",  // no drive database anywhere
                            "Compress the files started",
                            "Compress the files done",
                            "ended completed " + rig.archive().string(),
                        }));
  EXPECT_EQ(heard.barWidth, ProgressBar::kBoxWidth);
  EXPECT_EQ(rig.run().saveLocation, rig.archive());
  EXPECT_EQ(rig.exchange.countOf("Lp"), 274u + 18u) << "the block counts told are the blocks asked for";
}

// The run tests the abort only at its checkpoints: after the connect, after the drive
// information, in the bank loop (before each bank, after its group values, after its fault
// lists) and after the setting parameters. A step between two checkpoints runs on with what it
// has; after the last checkpoint the run writes its files, converts and packs whatever happens.
TEST(SaveSequence, TheRunEndsOnlyAtItsCheckpointsAndKeepsWhatWasRead) {
  struct Case {
    std::string refused;  // the first request starting so is refused (or, for "cancel", answered after a Cancel)
    RunOutcome outcome;
    std::string failedStep;
    std::vector<std::string> saved;  // files left, by the start of their names
    bool archive;
  };
  const std::string trouble = "TroubleRecord_", counts = "EventCount_", setpoints = "Set_Sram_", log = "Evtlg_",
                    status = "DriveSts_";
  const std::vector<Case> cases{
      {"Q1", RunOutcome::Failed, "Connecting to Drive", {}, false},
      {"QU2", RunOutcome::Failed, "Reading the drive information", {}, false},
      {"MX1", RunOutcome::Failed, "Receiving Trace Back Data", {}, false},  // "MY1" falls through, the first bank stops
      {"MY103", RunOutcome::Failed, "Receiving Trace Back Data", {}, false},
      {"MX202", RunOutcome::Failed, "Receiving Trace Back Data", {"Trb0_"}, false},
      {"MY5105", RunOutcome::Failed, "Receiving Trace Back Data", {"Trb0_", "Trb2_"}, false},
      {"MY30005", RunOutcome::Failed, "Receiving trouble records and event counters",
       {"Trb0_", "Trb2_", "Trb5_", trouble, counts}, false},
      {"Lp24059", RunOutcome::Failed, "Receiving Setting Parameter", {"Trb0_", "Trb2_", "Trb5_", trouble, counts}, false},
      {"Lp24058C", RunOutcome::Failed, "Writing the setting parameters and event log",
       {"Trb0_", "Trb2_", "Trb5_", trouble, counts, setpoints, log, status}, true},
      {"J", RunOutcome::Failed, "Receiving the drive status",
       {"Trb0_", "Trb2_", "Trb5_", trouble, counts, setpoints, log, status}, true},
      {"ZS", RunOutcome::Failed, "Receiving the drive status",
       {"Trb0_", "Trb2_", "Trb5_", trouble, counts, setpoints, log, status}, true},
      {"cancel", RunOutcome::Cancelled, "", {"Trb0_", "Trb2_", "Trb5_", trouble, counts, setpoints, log, status}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.refused);
    RunRig rig;
    const auto answer = rig.driveAnswers();
    std::string refusedRequest;
    rig.exchange.responder = [&](const std::string& request) {
      if (!refusedRequest.empty()) return answer(request);
      if (c.refused == "cancel" && request == "SP") {
        refusedRequest = request;
        rig.run().x().AbortFlag = true;  // Cancel pressed while "SP" waits
        return answer(request);
      }
      if (!request.starts_with(c.refused)) return answer(request);
      refusedRequest = request;
      return ScriptedReply::Nak(0x1F);
    };
    Heard heard(rig.run());
    EXPECT_EQ(RunSaveSequence(rig.run(), false), c.outcome);
    EXPECT_EQ(rig.exchange.sent.back(), refusedRequest) << "nothing is sent after the abort";
    EXPECT_EQ(heard.ended.failedStep, c.failedStep);

    const auto files = quillon_test::FilesBelow(rig.savedFolder());
    for (const std::string& start : {std::string("Trb0_"), std::string("Trb2_"), std::string("Trb5_"), trouble, counts,
                                     setpoints, log, status}) {
      const bool expected = std::find(c.saved.begin(), c.saved.end(), start) != c.saved.end();
      const bool found = std::any_of(files.begin(), files.end(), [&](const auto& f) { return f.first.starts_with(start); });
      EXPECT_EQ(found, expected) << start;
    }
    EXPECT_EQ(fs::exists(rig.archive()), c.archive);
    // Where the data is: the archive, else the working folder when anything was written.
    const fs::path location = c.archive ? rig.archive() : (c.saved.empty() ? fs::path() : rig.working());
    EXPECT_EQ(heard.ended.location, location);
    EXPECT_EQ(heard.told.back(), "ended " + std::string(c.outcome == RunOutcome::Failed ? "failed " : "cancelled ") +
                                     location.string());
    if (c.archive) {
      // The conversion ran and the archive was made: the pack step tells the earlier error.
      const std::vector<std::string> last(heard.told.end() - 5, heard.told.end() - 1);
      EXPECT_EQ(last, (std::vector<std::string>{"Converting the save folder started", "Converting the save folder skipped",
                                                "Compress the files started",
                                                c.outcome == RunOutcome::Failed ? "Compress the files failed"
                                                                                : "Compress the files done"}));
    }
  }
}

// "OtherTRB" only with exactly "/l" and a recorded bank; its faults are read again from the drive.
TEST(SaveSequence, OtherBanksOnlyForLastFaultOnlyWithABank) {
  struct Case {
    std::string commandLine;
    std::vector<int> recordedBanks;
    bool otherBanks;
  };
  for (const Case& c : {Case{"/l", {0, 2, 5}, true}, Case{"/l /f", {0, 2, 5}, false}, Case{"/l", {}, false}}) {
    RunSetup setup;
    setup.templateFolder = quillon_test::BuiltTemplates();
    setup.commandLine = c.commandLine;
    setup.drive.recordedBanks = c.recordedBanks;
    RunRig rig(setup);
    SCOPED_TRACE(c.commandLine + ", " + std::to_string(c.recordedBanks.size()) + " banks");
    ASSERT_EQ(RunSaveSequence(rig.run(), false), RunOutcome::Completed) << rig.run().x().ErrorText;
    fs::path workbook;
    for (const auto& entry : fs::directory_iterator(rig.movedFolder()))
      if (entry.path().filename().string().starts_with("Set_Sram_") && entry.path().extension() == ".mdb")
        workbook = entry.path();
    ASSERT_FALSE(workbook.empty());
    EXPECT_EQ(db_test::queryText(workbook, "SELECT COUNT(*) FROM sqlite_master WHERE name = 'OtherTRB'"),
              c.otherBanks ? "1" : "0");
    const std::size_t banksRead = c.commandLine == "/l" ? (c.recordedBanks.empty() ? 0 : 1) : c.recordedBanks.size();
    EXPECT_EQ(rig.exchange.countOf("MY51"), banksRead + (c.otherBanks ? 8 : 0));
  }
}

// A bank's files are written while the next bank is read. A workbook that cannot be written
// costs nothing: the bank goes into its CSV set and the run is told. When the bank's files
// cannot be written at all, the run ends as if they had been written before the next request:
// with the bank's own message (not that of what went wrong later), the trace-back step failed,
// nothing of the later steps asked. When the next bank fails instead, the files of the bank
// before are complete and kept.
TEST(SaveSequence, ABanksFilesWrittenWhileTheNextIsReadFailAsIfWrittenBeforeIt) {
  quillon_test::TestFolder templates;
  quillon_test::CopiedTemplates(templates.path(), {"TRB_TMP.mdb", "SET_TMP.mdb", "SIM01.00.mdb", "SIM01.00_RX-Fenn.pdn"});
  const fs::path workbookTemplate = templates.path() / "TRB_TMP.mdb";
  const std::string goodTemplate = quillon_test::FileText(workbookTemplate);
  fs::remove(workbookTemplate);
  std::ofstream(workbookTemplate, std::ios::binary) << "not a database, not even close to one";

  for (const bool csvSetBlocked : {false, true}) {
    SCOPED_TRACE(csvSetBlocked ? "the CSV set cannot be written either" : "the CSV set takes the bank");
    RunSetup setup;
    setup.templateFolder = templates.path();  // the drive's recorded banks are 0, 2 and 5
    RunRig rig(setup);
    const auto answer = rig.driveAnswers();
    fs::path bankFolder;
    rig.exchange.responder = [&](const std::string& request) {
      if (csvSetBlocked && request == "MX200") {
        // A file where bank 0's CSV set folder goes.
        bankFolder = rig.working() / TrbFolderName(rig.run().SafePanelName, rig.run().traceBack.bankTime(0));
        fs::create_directories(rig.working());
        std::ofstream(bankFolder) << "in the way";
      }
      return answer(request);
    };
    Heard heard(rig.run());
    if (!csvSetBlocked) {
      EXPECT_EQ(RunSaveSequence(rig.run(), false), RunOutcome::Completed) << rig.run().x().ErrorText;
      ASSERT_EQ(heard.notices.size(), 3u);  // one per recorded bank
      for (const std::string& notice : heard.notices) EXPECT_NE(notice.find("saved as its CSV set"), std::string::npos);
      continue;
    }
    EXPECT_EQ(RunSaveSequence(rig.run(), false), RunOutcome::Failed);
    EXPECT_NE(rig.run().x().ErrorText.find(bankFolder.string()), std::string::npos) << rig.run().x().ErrorText;
    const std::vector<std::string> last(heard.told.end() - 2, heard.told.end());
    EXPECT_EQ(last[0], "Receiving Trace Back Data failed");
    for (const std::string& request : rig.exchange.sent) {
      EXPECT_FALSE(request.starts_with("MX205") || request.starts_with("MY3") || request.starts_with("EV")) << request;
    }
  }

  std::ofstream(workbookTemplate, std::ios::binary | std::ios::trunc) << goodTemplate;
  RunSetup setup;
  setup.templateFolder = templates.path();
  RunRig rig(setup);
  const auto answer = rig.driveAnswers();
  rig.exchange.responder = [&](const std::string& request) {
    return request == "MX202" ? ScriptedReply::Nak(5) : answer(request);
  };
  EXPECT_EQ(RunSaveSequence(rig.run(), false), RunOutcome::Failed);
  EXPECT_NE(rig.run().x().ErrorText.find("NAK"), std::string::npos) << rig.run().x().ErrorText;
  std::vector<std::string> kept;
  for (const auto& entry : fs::directory_iterator(rig.working()))
    if (entry.path().extension() == ".mdb") kept.push_back(entry.path().filename().string());
  ASSERT_EQ(kept.size(), 1u);
  EXPECT_TRUE(kept[0].starts_with("TRB")) << kept[0];
  const int samples = rig.run().traceBack.MaxGroupDepth * 64;
  EXPECT_EQ(db_test::queryText(rig.working() / kept[0], "SELECT COUNT(*) FROM Data WHERE Data1 IS NOT NULL"),
            std::to_string(samples));
}

// Two runs into one program folder would share one working folder and archive: the second
// asks the drive nothing and names the run that holds the folder, which is free again once
// that run has ended.
TEST(SaveSequence, ASecondRunIntoTheSameProgramFolderSendsNothing) {
  RunRig rig;
  {
    ProgramFolderLock::Attempt other = ProgramFolderLock::Take(rig.appFolder());
    ASSERT_TRUE(other.lock) << other.error;
    Heard heard(rig.run());
    EXPECT_EQ(RunSaveSequence(rig.run(), false), RunOutcome::Failed);
    EXPECT_TRUE(rig.exchange.sent.empty());
    const std::string closing = ClosingMessage(heard.ended);
    EXPECT_NE(closing.find("Another save (process " + std::to_string(::getpid()) + ") is running in " +
                           rig.appFolder().string() + ", so the run does not start and nothing is asked of the drive."),
              std::string::npos)
        << closing;
  }
  EXPECT_EQ(RunSaveSequence(rig.run(), false), RunOutcome::Completed) << rig.run().x().ErrorText;
  EXPECT_TRUE(ProgramFolderLock::Take(rig.appFolder()).lock) << "the lock is let go when the run ends";
}

}  // namespace

// Root writes into a read-only folder regardless; the run is tried as an ordinary user then.
class AsOrdinaryUser {
 public:
  AsOrdinaryUser() : dropped_(::geteuid() == 0 && ::seteuid(65534) == 0) {}
  ~AsOrdinaryUser() {
    if (dropped_) {
      EXPECT_EQ(::seteuid(0), 0);
    }
  }

 private:
  bool dropped_;
};

// A run that could not keep what it reads asks the drive nothing, and says why and that
// nothing was saved.
TEST(SaveSequence, AnUnwritableProgramFolderOrAMissingTemplateSendsNothing) {
  for (const std::string why : {"Permission denied", "Cannot create the folder", "TRB_TMP.mdb is missing"}) {
    SCOPED_TRACE(why);
    RunSetup setup;
    const quillon_test::TestFolder templates;
    if (why.ends_with("missing")) setup.templateFolder = quillon_test::CopiedTemplates(templates.path(), {"SET_TMP.mdb"});
    RunRig rig(setup);
    if (why == "Cannot create the folder") {
      fs::remove_all(rig.appFolder());
      std::ofstream(rig.appFolder()) << "a file where the program folder belongs";
    }
    Heard heard(rig.run());
    RunOutcome outcome;
    if (why == "Permission denied") {
      fs::permissions(rig.appFolder(), fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                      fs::perm_options::remove);
      const AsOrdinaryUser user;
      outcome = RunSaveSequence(rig.run(), false);
    } else {
      outcome = RunSaveSequence(rig.run(), false);
    }
    fs::permissions(rig.appFolder(), fs::perms::owner_write, fs::perm_options::add);
    EXPECT_EQ(outcome, RunOutcome::Failed);
    EXPECT_TRUE(rig.exchange.sent.empty());
    const std::string closing = ClosingMessage(heard.ended);
    EXPECT_NE(closing.find(why), std::string::npos) << closing;
    EXPECT_NE(closing.find("nothing is asked of the drive"), std::string::npos) << closing;
    EXPECT_TRUE(closing.ends_with("Nothing was saved.")) << closing;
  }
}
