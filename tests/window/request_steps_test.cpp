// The save run through the real request routines, `SaveTrb_mdb` and the CSV set, against a
// drive in the test process that answers with the real reply layouts.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/shell/folders.h"
#include "quillon/window/main_window.h"
#include "quillon/window/program_parts.h"
#include "replying_drive.h"
#include "tests/window/window_test_support.h"

namespace {
namespace fs = std::filesystem;
using namespace quillon;
using quillon_test::ReplyingDrive;

using quillon_test::RecordingMessages;
using quillon_test::fileText;

class RequestSteps : public ::testing::Test {
 protected:
  void SetUp() override {
    documents_ = fs::temp_directory_path() /
                 ("quillon_steps_" + std::to_string(::getpid()) + "_" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
    platform_shell::DeleteFolder(documents_, true);
  }
  void TearDown() override { platform_shell::DeleteFolder(documents_, true); }

  // Runs one save; the archiver only records which files it was given.
  MainWindow& run(const std::string& commandLine) {
    WindowServices services;
    services.messages = &messages_;
    services.now = [] { return std::tm{}; };
    services.unlha = [this](const std::string&) {
      for (const auto& entry : fs::recursive_directory_iterator(documents_ / "Quillon" / "TRBSAVE"))
        if (entry.is_regular_file()) packed_[entry.path().filename().string()] = fileText(entry.path());
      return 0;
    };
    ProgressBar bar{[this] { return window_->controls.shpBox.width(); },
                    [this] { return window_->controls.shpScale.width(); },
                    [this](int width) { window_->controls.shpScale.setWidth(width); }};
    steps_ = MakeRequestSteps(drive_, bar, [this] {
      return DriveStepsSettings{window_->run.AppFolder, window_->run.CommandLine, window_->run.SafePanelName,
                                documents_ / "no-install-root", documents_ / "no-program-folder"};
    });
    window_ = std::make_unique<MainWindow>(drive_, *steps_, services);
    EXPECT_EQ(window_->startUp(documents_, commandLine), "");
    window_->clickStart();
    return *window_;
  }

  fs::path documents_;
  ReplyingDrive drive_;
  RecordingMessages messages_;
  std::unique_ptr<DriveSteps> steps_;
  std::unique_ptr<MainWindow> window_;
  std::map<std::string, std::string> packed_;
};

TEST_F(RequestSteps, SixteenBitDriveGivesTheCsvSetOfEveryRecordedBank) {
  MainWindow& w = run("");
  ASSERT_EQ(w.lastOutcome(), RunOutcome::Completed) << w.x().ErrorText;
  EXPECT_EQ(w.run.SafePanelName, "LINE_1");
  EXPECT_EQ(w.controls.Label11.caption(), "DriveType = \"RX-Ardo\"");
  EXPECT_EQ(w.controls.Label10.caption(), " / 2 bank(s)");
  EXPECT_EQ(w.controls.shpScale.width(), w.controls.shpBox.width());
  EXPECT_GT(drive_.countOf("MZ2"), 0u);
  EXPECT_EQ(drive_.countOf("Mz"), 0u);
  for (const char* suffix : {"_Data.csv", "_FI.csv", "_Memo.csv", "_SampleParameters.csv", "_Title.csv", "_Word.csv"}) {
    EXPECT_EQ(packed_.count(std::string("Trb0") + suffix), 1u) << suffix;
    EXPECT_EQ(packed_.count(std::string("Trb2") + suffix), 1u) << suffix;
  }
  // 16-bit samples, every signal to the deepest group's 128 rows, CR LF.
  const std::string& data = packed_["Trb2_Data.csv"];
  EXPECT_EQ(data.substr(0, data.find("\r\n")), "1,20099,20199,20299,20399,20499");
  EXPECT_EQ(std::count(data.begin(), data.end(), '\n'), 128);
  EXPECT_EQ(packed_["Trb0_Word.csv"].substr(0, 22), "1, ,&H1A01, , , , , \r\n");
}

TEST_F(RequestSteps, WideVariantChosenFromTheInterfaceReply) {
  drive_.model().setLevel(6, 2);
  drive_.model().driveType = "RX-Jarn";
  MainWindow& w = run("");
  ASSERT_EQ(w.lastOutcome(), RunOutcome::Completed) << w.x().ErrorText;
  EXPECT_EQ(drive_.countOf("mz10001"), 1u);
  EXPECT_GT(drive_.countOf("mzx"), 0u);
  EXPECT_EQ(drive_.countOf("MZ"), 0u);
  EXPECT_EQ(drive_.countOf("Mz"), 0u);
}

TEST_F(RequestSteps, LayoutsThatCannotBeRequestedEndTheRunBeforeAnySample) {
  drive_.model().setLevel(6, 1);
  drive_.model().driveType = "RX-Brin";
  drive_.model().depth = {60, 0, 0, 0, 0};  // 3840 samples: 257 "Mz2" blocks
  MainWindow& w = run("");
  EXPECT_EQ(w.lastOutcome(), RunOutcome::Failed);
  ASSERT_EQ(messages_.shown.size(), 1u);
  EXPECT_EQ(drive_.countOf("Mz2"), 0u);
  EXPECT_EQ(w.controls.cmd_Cancel.caption(), "Reset");

  drive_ = ReplyingDrive{};
  drive_.model().signalCounts = {200, 56, 0, 0, 0};
  messages_.shown.clear();
  MainWindow& again = run("");
  EXPECT_EQ(again.lastOutcome(), RunOutcome::Failed);
  EXPECT_EQ(drive_.countOf("MX2"), 0u) << "no wrapped signal count reaches a request";
  EXPECT_EQ(drive_.countOf("MZ"), 0u);
}

TEST_F(RequestSteps, PanelNameCannotLeaveTheWorkingFolder) {
  drive_.model().panelName1 = "../../../..";
  drive_.model().panelName2 = "/etc";
  MainWindow& w = run("");
  ASSERT_EQ(w.lastOutcome(), RunOutcome::Completed) << w.x().ErrorText;
  EXPECT_EQ(w.run.SafePanelName, ".._.._.._.._etc");
  EXPECT_EQ(packed_.count("Trb0_Data.csv"), 1u);
  for (const auto& entry : fs::directory_iterator(documents_))
    EXPECT_EQ(entry.path().filename(), "Quillon") << "nothing beside the program folder";
}

}  // namespace
