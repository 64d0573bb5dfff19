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

#include "tests/db/test_files.h"
#include "tests/run/run_rig.h"

namespace {
namespace fs = std::filesystem;
using namespace quillon;
using quillon_test::RunRig;
using quillon_test::RunSetup;
using quillon_test::ScriptedReply;

// What a listener heard, one text per event; the bar's moves only as its last width.
class Heard : public RunListener {
 public:
  explicit Heard(RunContext& run) : run_(run) { run_.events.add(*this); }
  ~Heard() override { run_.events.remove(*this); }

  void onRunEvent(const RunEvent& event) override {
    std::visit(Overloaded{
                   [this](const StepChanged& e) {
                     static const char* states[] = {"started", "done", "skipped", "failed"};
                     told.push_back(std::string(StepCaption(e.step)) + " " + states[static_cast<int>(e.state)]);
                   },
                   [this](const DriveIdentified& e) { told.push_back("drive " + e.DriveType); },
                   [this](const BanksCounted& e) { told.push_back("banks " + std::to_string(e.recorded)); },
                   [this](const BankStarted& e) {
                     told.push_back("bank " + std::to_string(e.number) + "/" + std::to_string(e.of));
                   },
                   [this](const DatabaseBlockReceived&) { ++blocks; },
                   [this](const RequestResent& e) {
                     told.push_back("re-send " + e.request + " " + std::to_string(e.resend) + "/" + std::to_string(e.of));
                   },
                   [this](const ProgressMoved& e) { barWidth = e.width; },
                   [this](const Notice& e) { told.push_back("notice " + e.text); },
                   [this](const RunEnded& e) {
                     static const char* outcomes[] = {"not run", "completed", "failed", "cancelled"};
                     told.push_back(std::string("ended ") + outcomes[static_cast<int>(e.outcome)] + " " +
                                    e.location.string());
                   },
               },
               event);
  }

  std::vector<std::string> told;
  int blocks = 0;
  int barWidth = 0;

 private:
  RunContext& run_;
};

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
                            "bank 1/3",
                            "bank 2/3",
                            "bank 3/3",
                            "re-send MX205 1/9",
                            "re-send MX205 2/9",
                            "Receiving Trace Back Data done",
                            "Receiving trouble records and event counters started",
                            "Receiving trouble records and event counters done",
                            "Receiving Setting Parameter started",
                            "Receiving Setting Parameter done",
                            "Writing the setting parameters and event log started",
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
}

TEST(SaveSequence, ACheckpointEndsTheRunAfterTheStepThatFailed) {
  {
    RunRig rig;
    rig.exchange.replies = {rig.driveAnswers()("QT"), ScriptedReply::Nak(0x1F)};  // "Q1" refused
    Heard heard(rig.run());
    EXPECT_EQ(RunSaveSequence(rig.run(), true), RunOutcome::Failed);
    EXPECT_EQ(heard.told, (std::vector<std::string>{"Clearing the working folder started",
                                                    "Clearing the working folder done", "Connecting to Drive started",
                                                    "Connecting to Drive failed", "ended failed "}));
    EXPECT_EQ(rig.exchange.sent, (std::vector<std::string>{"QT", "Q1"}));
  }
  // A refused status request: the conversion is left out and nothing is packed; what was
  // written stays in the working folder, which the end says.
  RunRig rig;
  const auto answer = rig.driveAnswers();
  rig.exchange.responder = [&](const std::string& request) {
    return request == "ZS" ? ScriptedReply::Nak(2) : answer(request);
  };
  Heard heard(rig.run());
  EXPECT_EQ(RunSaveSequence(rig.run(), false), RunOutcome::Failed);
  const std::vector<std::string> last(heard.told.end() - 4, heard.told.end());
  EXPECT_EQ(last, (std::vector<std::string>{"Receiving the drive status started", "Receiving the drive status failed",
                                            "Converting the save folder skipped",
                                            "ended failed " + rig.working().string()}));
  EXPECT_EQ(rig.exchange.sent.back(), "ZS");
  EXPECT_FALSE(fs::exists(rig.archive()));
  EXPECT_TRUE(fs::exists(rig.working() / ("Set_Sram_" + rig.run().SafePanelName + ".csv")));
}

// The trace-back workbooks, or each bank's CSV set when the bank's firmware has no database.
TEST(SaveSequence, EachBankIsSavedAsWorkbookOrAsCsvSet) {
  for (const bool database : {true, false}) {
    RunSetup setup;
    setup.templateFolder = quillon_test::BuiltTemplates();  // holds "SIM01.00.mdb"
    if (!database) setup.drive.softVersion = "NONE0000";
    RunRig rig(setup);
    SCOPED_TRACE(database ? "with the drive database" : "without");
    ASSERT_EQ(RunSaveSequence(rig.run(), false), RunOutcome::Completed) << rig.run().x().ErrorText;
    std::size_t workbooks = 0, csvSets = 0;
    for (const auto& [name, bytes] : rig.archivedFiles()) {
      workbooks += name.starts_with("TRB") && name.ends_with(".mdb");
      csvSets += name.ends_with("_Data.csv");
    }
    EXPECT_EQ(workbooks, database ? 3u : 0u);
    EXPECT_EQ(csvSets, database ? 0u : 3u);
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

// A bank's files are written while the next bank is read. When they fail, the run ends as if
// they had been written before the next request: with the bank's own message (not that of
// what went wrong later), the trace-back step failed, nothing of the later steps asked or
// written, no later bank's files. When the next bank fails instead, the files of the bank
// before are complete and kept.
TEST(SaveSequence, ABanksFilesWrittenWhileTheNextIsReadFailAsIfWrittenBeforeIt) {
  quillon_test::TestFolder templates;
  for (const auto& entry : fs::directory_iterator(quillon_test::BuiltTemplates()))
    if (entry.is_regular_file()) fs::copy_file(entry.path(), templates.path() / entry.path().filename());
  const fs::path workbookTemplate = templates.path() / "TRB_TMP.mdb";
  const std::string goodTemplate = quillon_test::FileText(workbookTemplate);
  auto damageTemplate = [&] {
    fs::remove(workbookTemplate);
    std::ofstream(workbookTemplate, std::ios::binary) << "not a database, not even close to one";
  };
  auto filesIn = [](const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  };

  for (const bool nextBankRefused : {false, true}) {
    SCOPED_TRACE(nextBankRefused ? "the next bank refused too" : "the next bank answered");
    damageTemplate();
    RunSetup setup;
    setup.templateFolder = templates.path();  // the drive's recorded banks are 0, 2 and 5
    RunRig rig(setup);
    const auto answer = rig.driveAnswers();
    rig.exchange.responder = [&](const std::string& request) {
      return nextBankRefused && request == "MX202" ? ScriptedReply::Nak(5) : answer(request);
    };
    Heard heard(rig.run());
    EXPECT_EQ(RunSaveSequence(rig.run(), false), RunOutcome::Failed);
    EXPECT_TRUE(rig.run().x().ErrorText.starts_with("Trace-back workbook of bank 0 not written")) << rig.run().x().ErrorText;
    const std::vector<std::string> last(heard.told.end() - 2, heard.told.end());
    EXPECT_EQ(last, (std::vector<std::string>{"Receiving Trace Back Data failed", "ended failed " + rig.working().string()}));
    for (const std::string& request : rig.exchange.sent) {
      EXPECT_FALSE(request.starts_with("MX205") || request.starts_with("MY3") || request.starts_with("EV")) << request;
    }
    if (fs::exists(rig.working())) {
      EXPECT_EQ(filesIn(rig.working()), std::vector<std::string>{});
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
  const std::vector<std::string> kept = filesIn(rig.working());
  ASSERT_EQ(kept.size(), 1u);
  EXPECT_TRUE(kept[0].starts_with("TRB") && kept[0].ends_with(".mdb")) << kept[0];
  const int samples = rig.run().traceBack.MaxGroupDepth * 64;
  EXPECT_EQ(db_test::queryText(rig.working() / kept[0], "SELECT COUNT(*) FROM Data WHERE Data1 IS NOT NULL"),
            std::to_string(samples));
}

}  // namespace
