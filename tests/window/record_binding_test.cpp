// The record, memory and status steps in the whole save run, against the simulated drive's
// command model: their files are packed with the trace-back data, what they read stays in the
// run's tables, and a second run on another drive type follows that drive.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "quillon/requests/record_requests.h"
#include "tests/output/record_file_expectations.h"
#include "tests/window/window_rig.h"

namespace {
namespace fs = std::filesystem;
using namespace quillon;
using quillon_test::ScriptedReply;
using quillon_test::WindowRig;

class RecordStepsInTheRun : public ::testing::Test {
 protected:
  void save() {
    MainWindow& w = rig_.window();
    if (!w.controls.cmd_Start.enabled()) w.clickCancel();  // "Reset" after a run
    rig_.exchange.sent.clear();
    w.clickStart();
    ASSERT_EQ(w.lastOutcome(), RunOutcome::Completed) << rig_.run().x().ErrorText;
    packed_ = rig_.archivedFiles();
    ++rig_.now.tm_sec;  // the next run saves a second later
  }
  std::vector<std::string> packedLines(const std::string& prefix) {
    const std::string name = prefix + rig_.run().SafePanelName + ".csv";
    EXPECT_EQ(packed_.count(name), 1u) << name;
    return quillon_test::CrlfLines(packed_[name]);
  }
  std::size_t first(const std::string& prefix) const {
    const std::vector<std::string>& sent = rig_.exchange.sent;
    for (std::size_t i = 0; i < sent.size(); ++i)
      if (sent[i].starts_with(prefix)) return i;
    return sent.size();
  }

  WindowRig rig_;
  std::map<std::string, std::string> packed_;
};

TEST_F(RecordStepsInTheRun, RecordFilesArePackedWithTheTraceBackData) {
  save();
  const drivesim::DriveProfile& drive = rig_.drive();
  // After the banks: the records, the memory and the status, in that order.
  EXPECT_LT(first("MV"), first("MY300"));
  EXPECT_LT(first("EVT"), first("Lp"));
  EXPECT_LT(first("Lp"), first("J"));
  EXPECT_EQ(rig_.exchange.countOf("MY300"), static_cast<std::size_t>(kTroubleRecordsRead));
  EXPECT_EQ(rig_.exchange.countOf("LP"), 0u) << "a level-6 drive is read with 32-bit addresses";

  EXPECT_EQ(packed_.count("Trb0_Data.csv"), 1u);
  EXPECT_EQ(packedLines("Set_Sram_").size(), 8192u);
  EXPECT_EQ(packedLines("Evtlg_").size(), 64u);
  EXPECT_EQ(packedLines("TroubleRecord_").size(), 31u);
  EXPECT_EQ(packedLines("EventCount_").size(), 15u);
  const auto status = packedLines("DriveSts_");
  ASSERT_EQ(status.size(), 15u);
  EXPECT_EQ(status[0], "Quillon Ver, 2.1");
  EXPECT_EQ(status[1], "Drive Interface Ver, " + drive.interfaceVersionText());

  // What the run holds afterwards, once, for the conversion step and the next run.
  const RunContext& run = rig_.run();
  EXPECT_EQ(run.identity.DriveType, drive.driveType());
  EXPECT_GT(run.memory.EventLogWords.size(), 1u);
  EXPECT_EQ(run.trouble.TroubleValues[1][0], drive.records().troubleCode(1, 0));
  EXPECT_FALSE(run.status.DriveStatusText[1].empty());
}

TEST_F(RecordStepsInTheRun, SecondRunFollowsTheNextDrive) {
  save();
  drivesim::DriveOptions older;
  older.driveType = "RX-Ardo";
  older.interfaceLevel = 5;
  older.interfaceMinor = 1;
  older.panelName = "Press 7";
  rig_.useDrive(older);
  save();
  EXPECT_EQ(rig_.run().SafePanelName, "Press 7");
  EXPECT_GT(rig_.exchange.countOf("LP"), 0u);
  EXPECT_EQ(rig_.exchange.countOf("Lp"), 0u);
  EXPECT_EQ(packedLines("Set_Sram_").size(), 3072u) << "the 16-bit drive's own area";
  EXPECT_EQ(packed_.count("Evtlg_Press 7.csv"), 0u);
  EXPECT_EQ(packed_.count("Evtlg_" + std::string("Line 3 _ Winder #2") + ".csv"), 0u) << "the folder starts empty";
  EXPECT_EQ(packedLines("DriveSts_")[1], "Drive Interface Ver, " + rig_.drive().interfaceVersionText());
}

TEST_F(RecordStepsInTheRun, TimeoutInTheMemoryReadKeepsWhatCameBefore) {
  const auto answer = rig_.driveAnswers();
  int memoryBlocks = 0;
  rig_.exchange.responder = [&](const std::string& request) {
    if (request.starts_with("Lp") && ++memoryBlocks == 10) return ScriptedReply::Abort("Timeout");
    return answer(request);
  };
  MainWindow& w = rig_.start();
  EXPECT_EQ(w.lastOutcome(), RunOutcome::Failed);
  EXPECT_EQ(rig_.exchange.countOf("J"), 0u) << "nothing is sent after the abort";
  const std::string panel = rig_.run().SafePanelName;
  EXPECT_TRUE(fs::exists(rig_.working() / ("TroubleRecord_" + panel + ".csv")));
  std::size_t traceBackSets = 0;  // each bank's CSV set stands in its own folder
  for (const auto& entry : fs::recursive_directory_iterator(rig_.working()))
    traceBackSets += entry.path().filename().string().ends_with("_Data.csv");
  EXPECT_GT(traceBackSets, 0u);
  EXPECT_EQ(rig_.messages.errors.size(), 1u);
}

}  // namespace
