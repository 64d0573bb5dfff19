// The record, memory and status steps bound into the whole save run, against the simulated
// drive's command model: their files are packed with the trace-back data, the tables of the run
// are reachable afterwards, and a second run on another drive type follows that drive.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <map>

#include "drivesim/command_model.h"
#include "platform/shell/folders.h"
#include "quillon/output/record_steps.h"
#include "quillon/requests/drive_identity.h"
#include "quillon/window/main_window.h"
#include "quillon/window/program_parts.h"
#include "tests/records/record_file_expectations.h"
#include "tests/records/scripted_exchange.h"
#include "tests/window/window_test_support.h"

namespace {
namespace fs = std::filesystem;
using namespace quillon;

using quillon_test::fileText;
using SilentMessages = quillon_test::RecordingMessages;

class BoundRecordSteps : public ::testing::Test {
 protected:
  void SetUp() override {
    documents_ = fs::temp_directory_path() / ("quillon_bound_" + std::to_string(::getpid()) + "_" +
                                              ::testing::UnitTest::GetInstance()->current_test_info()->name());
    platform_shell::DeleteFolder(documents_, true);
    useDrive(drivesim::DriveOptions{});
    exchange_.responder = [this](const std::string& request) {
      const auto bytes = model_->answer(std::span(reinterpret_cast<const std::uint8_t*>(request.data()), request.size()));
      if (!bytes) return records_test::ScriptedReply{{}, {}, std::string("Timeout")};
      if (!bytes->empty() && bytes->front() == drivesim::kNak) return records_test::ScriptedReply{{}, {}, std::string("NAK")};
      return records_test::ScriptedReply{std::string(bytes->begin(), bytes->end()), *bytes, {}};
    };
    WindowServices services;
    services.messages = &messages_;
    services.now = [] { return std::tm{}; };
    services.unlha = [this](const std::string&) {
      packed_.clear();
      for (const auto& entry : fs::recursive_directory_iterator(documents_ / "Quillon" / "TRBSAVE"))
        if (entry.is_regular_file()) packed_[entry.path().filename().string()] = fileText(entry.path());
      return 0;
    };
    const ProgressBar bar{[this] { return window_->controls.shpBox.width(); },
                          [this] { return window_->controls.shpScale.width(); },
                          [this](int width) { window_->controls.shpScale.setWidth(width); }};
    steps_ = MakeRequestSteps(exchange_, bar, [this] {
      return DriveStepsSettings{window_->run.AppFolder, window_->run.CommandLine, window_->run.SafePanelName,
                                documents_ / "no-install-root", documents_ / "no-program-folder"};
    });
    window_ = std::make_unique<MainWindow>(exchange_, *steps_, services);
    tables_ = BindRecordSteps(*window_, exchange_, *steps_);
    ASSERT_EQ(window_->startUp(documents_, ""), "");
  }
  void TearDown() override { platform_shell::DeleteFolder(documents_, true); }

  void useDrive(drivesim::DriveOptions options) {
    model_ = std::make_unique<drivesim::CommandModel>(drivesim::DriveProfile(std::move(options)));
  }
  void save() {
    if (!window_->controls.cmd_Start.enabled()) window_->clickCancel();  // "Reset" after a run
    exchange_.sent.clear();
    window_->clickStart();
    ASSERT_EQ(window_->lastOutcome(), RunOutcome::Completed) << window_->x().ErrorText;
  }
  std::vector<std::string> packedLines(const std::string& prefix) {
    const std::string name = prefix + window_->run.SafePanelName + ".csv";
    EXPECT_EQ(packed_.count(name), 1u) << name;
    return records_test::CrlfLines(packed_[name]);
  }
  std::size_t sentWith(const std::string& prefix) const {
    std::size_t n = 0;
    for (const std::string& request : exchange_.sent) n += request.rfind(prefix, 0) == 0;
    return n;
  }

  fs::path documents_;
  std::unique_ptr<drivesim::CommandModel> model_;
  records_test::ScriptedExchange exchange_;
  SilentMessages messages_;
  std::unique_ptr<DriveSteps> steps_;
  std::unique_ptr<MainWindow> window_;
  SaveRunTables tables_;
  std::map<std::string, std::string> packed_;
};

TEST_F(BoundRecordSteps, RecordFilesArePackedWithTheTraceBackData) {
  save();
  const drivesim::DriveProfile& drive = model_->profile();
  // After the banks: the records, the memory and the status, in that order.
  const auto first = [&](const std::string& prefix) {
    for (std::size_t i = 0; i < exchange_.sent.size(); ++i)
      if (exchange_.sent[i].rfind(prefix, 0) == 0) return i;
    return exchange_.sent.size();
  };
  EXPECT_LT(first("MV"), first("MY300"));
  EXPECT_LT(first("EVT"), first("Lp"));
  EXPECT_LT(first("Lp"), first("J"));
  EXPECT_EQ(sentWith("MY300"), static_cast<std::size_t>(kTroubleRecordsRead));
  EXPECT_EQ(sentWith("LP"), 0u) << "a level-6 drive is read with 32-bit addresses";

  EXPECT_EQ(packed_.count("Trb0_Data.csv"), 1u);
  EXPECT_EQ(packedLines("Set_Sram_").size(), 8192u);
  EXPECT_EQ(packedLines("Evtlg_").size(), 64u);
  EXPECT_EQ(packedLines("TroubleRecord_").size(), 31u);
  EXPECT_EQ(packedLines("EventCount_").size(), 15u);
  const auto status = packedLines("DriveSts_");
  ASSERT_EQ(status.size(), 15u);
  EXPECT_EQ(status[0], "Quillon Ver, 2.1");
  EXPECT_EQ(status[1], "Drive Interface Ver, " + drive.interfaceVersionText());

  // What the conversion step gets to see.
  ASSERT_NE(tables_.identity, nullptr);
  ASSERT_NE(tables_.traceBack, nullptr);
  ASSERT_NE(tables_.databases, nullptr);
  EXPECT_EQ(tables_.identity->DriveType, drive.driveType());
  EXPECT_EQ(tables_.memory, &window_->memory);
  EXPECT_EQ(tables_.memory->EventLogWords.size() > 1, true);
  ASSERT_NE(tables_.trouble, nullptr);
  EXPECT_EQ(tables_.trouble->TroubleValues[1][0], drive.records().troubleCode(1, 0));
  ASSERT_NE(tables_.status, nullptr);
  EXPECT_FALSE(tables_.status->DriveStatusText[1].empty());
}

TEST_F(BoundRecordSteps, SecondRunFollowsTheNextDrive) {
  save();
  drivesim::DriveOptions older;
  older.driveType = "RX-Ardo";
  older.interfaceLevel = 5;
  older.interfaceMinor = 1;
  older.panelName = "Press 7";
  useDrive(older);
  save();
  EXPECT_EQ(window_->run.SafePanelName, "Press 7");
  EXPECT_GT(sentWith("LP"), 0u);
  EXPECT_EQ(sentWith("Lp"), 0u);
  EXPECT_EQ(packedLines("Set_Sram_").size(), 3072u) << "the 16-bit drive's own area";
  EXPECT_EQ(packed_.count("Evtlg_Press 7.csv"), 0u);
  EXPECT_EQ(packed_.count("Evtlg_" + std::string("Line 3 _ Winder #2") + ".csv"), 0u) << "the folder starts empty";
  EXPECT_EQ(packedLines("DriveSts_")[1], "Drive Interface Ver, " + model_->profile().interfaceVersionText());
}

TEST_F(BoundRecordSteps, TimeoutInTheMemoryReadKeepsWhatCameBefore) {
  const auto answer = exchange_.responder;
  int memoryBlocks = 0;
  exchange_.responder = [&](const std::string& request) {
    if (request.rfind("Lp", 0) == 0 && ++memoryBlocks == 10) return records_test::ScriptedReply{{}, {}, std::string("Timeout")};
    return answer(request);
  };
  exchange_.sent.clear();
  window_->clickStart();
  EXPECT_EQ(window_->lastOutcome(), RunOutcome::Failed);
  EXPECT_EQ(sentWith("J"), 0u) << "nothing is sent after the abort";
  const fs::path work = documents_ / "Quillon" / "TRBSAVE";
  const std::string panel = window_->run.SafePanelName;
  EXPECT_TRUE(fs::exists(work / ("TroubleRecord_" + panel + ".csv")));
  std::size_t traceBackSets = 0;  // each bank's CSV set stands in its own folder
  for (const auto& entry : fs::recursive_directory_iterator(work))
    traceBackSets += entry.path().filename().string().ends_with("_Data.csv");
  EXPECT_GT(traceBackSets, 0u);
  EXPECT_EQ(messages_.shown.size(), 1u);
}

}  // namespace
