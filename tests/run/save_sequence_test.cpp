// The save sequence as a whole: its steps in run order and what it tells its listeners, the
// checkpoints that end it, and the decisions the steps take from the drive and the switches
// (workbook or CSV set, the other banks' faults only for "Last Fault Only").
#include "quillon/run/save_sequence.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/db/test_files.h"
#include "tests/output/record_file_expectations.h"
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

// The run's code page reaches the CSV files, the archive's member names and the drive database.
TEST(SaveSequence, TheDrivesCodePageReachesTheFilesTheArchiveAndTheDriveDatabase) {
  RunSetup setup;
  setup.drive = drivesim::JapaneseDrive();
  setup.drive.recordedBanks = {2};
  setup.drive.softVersion = "NONE0000";  // no drive database: the bank stays a CSV set
  RunRig rig(setup);
  EXPECT_EQ(rig.run().databases.driveDbOptions.jet3CodePage, "CP932");
  ASSERT_EQ(RunSaveSequence(rig.run(), false), RunOutcome::Completed) << rig.run().x().ErrorText;

  const std::string panel = setup.drive.panelName;
  const std::string panelBytes = rig.drive().sentText(panel);
  const auto files = rig.archivedFiles();  // extracted (without folders) with the run's code page
  EXPECT_EQ(files.count("Set_Sram_" + panel + ".csv"), 1u);
  ASSERT_EQ(files.count("Trb2_Memo.csv"), 1u);
  EXPECT_NE(files.at("Trb2_Memo.csv").find("3,PanelName," + panelBytes + "\r\n"), std::string::npos);
  // The archive names its members in the code page, as Windows' LHA tools read them.
  const std::string archive = quillon_test::FileText(rig.archive());
  EXPECT_NE(archive.find("TRB_" + panelBytes + "_"), std::string::npos);
  EXPECT_EQ(archive.find("TRB_" + panel + "_"), std::string::npos);
}

}  // namespace
