// The save run against a drive in the test process: decisions, checkpoints, folders and the
// closing messages, seen through the window's control state.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/shell/folders.h"
#include "quillon/window/main_window.h"
#include "scripted_drive.h"

namespace {
namespace fs = std::filesystem;
using namespace quillon;
using quillon_test::DriveModel;
using quillon_test::Misbehave;
using quillon_test::ScriptedDrive;
using quillon_test::ScriptedSteps;

class RecordingMessages : public platform_shell::MessageBoxes {
 public:
  void showMessage(const std::string& text) override { shown.push_back(text); }
  bool askYesNo(const std::string& text) override {
    asked.push_back(text);
    return answer;
  }
  std::vector<std::string> shown, asked;
  bool answer = false;
};

std::tm february3rd() {
  std::tm t{};
  t.tm_year = 2026 - 1900;
  t.tm_mon = 1;
  t.tm_mday = 3;
  t.tm_hour = 9;
  t.tm_min = 5;
  t.tm_sec = 7;
  return t;
}

class SaveRun : public ::testing::Test {
 protected:
  void SetUp() override {
    documents_ = fs::temp_directory_path() /
                 ("quillon_run_" + std::to_string(::getpid()) + "_" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
    platform_shell::DeleteFolder(documents_, true);
  }
  void TearDown() override { platform_shell::DeleteFolder(documents_, true); }

  MainWindow& start(const std::string& commandLine) {
    WindowServices services = baseServices();
    services.openFolder = [this](const fs::path& folder) { opened_.push_back(folder); return true; };
    services.now = [] { return february3rd(); };
    services.unlha = [this](const std::string& command) {
      packCommands_.push_back(command);
      // Like the archiver's -d: the packed files go, the folder stays.
      for (const auto& entry : fs::recursive_directory_iterator(working()))
        if (entry.is_regular_file()) fs::remove(entry.path());
      return packResult_;
    };
    services.quitProgram = [this] { quit_ = true; };
    steps_.onSave = [this](std::uint8_t bank) {
      fs::create_directories(working());
      std::ofstream(working() / ("Trb" + std::to_string(bank) + "_Data.csv")) << "1,2\r\n";
    };
    window_ = std::make_unique<MainWindow>(drive_, steps_, std::move(services));
    EXPECT_EQ(window_->startUp(documents_, commandLine), "");
    return *window_;
  }

  WindowServices baseServices() {
    WindowServices services;
    services.messages = &messages_;
    services.now = [] { return february3rd(); };
    services.unlha = [](const std::string&) { return 0; };
    return services;
  }

  // The bar of whichever window is being built.
  ProgressBar barOf(std::unique_ptr<MainWindow>& window) {
    return {[&window] { return window->controls.shpBox.width(); },
            [&window] { return window->controls.shpScale.width(); },
            [&window](int width) { window->controls.shpScale.setWidth(width); }};
  }

  const std::vector<int>& savedBanks() const { return steps_.savedBanks; }

  fs::path appFolder() const { return documents_ / "Quillon"; }
  fs::path working() const { return appFolder() / "TRBSAVE"; }

  fs::path documents_;
  ScriptedDrive drive_;
  std::unique_ptr<MainWindow> window_;
  ScriptedSteps steps_{drive_, barOf(window_)};
  RecordingMessages messages_;
  std::vector<fs::path> opened_;
  std::vector<std::string> packCommands_;
  int packResult_ = 0;
  bool quit_ = false;
};

TEST_F(SaveRun, StartUpCaptionsAndStates) {
  MainWindow& w = start("");
  const WindowControls& c = w.controls;
  EXPECT_STREQ(WindowControls::kWindowCaption, "Quillon Ver.2.1");
  EXPECT_EQ(c.cmd_Start.caption(), "Start");
  EXPECT_TRUE(c.cmd_Start.enabled());
  EXPECT_EQ(c.cmd_Cancel.caption(), "Cancel");
  EXPECT_FALSE(c.cmd_Cancel.enabled());
  EXPECT_EQ(c.cmd_EXIT.caption(), "Exit");
  EXPECT_EQ(c.Check1.caption(), "DB Load");
  EXPECT_FALSE(c.Check1.visible());
  EXPECT_FALSE(c.Check1.checked());
  EXPECT_EQ(c.Label1.caption(), "Receiving Trace Back Data");
  EXPECT_EQ(c.Label2.caption(), "Receiving Setting Parameter");
  EXPECT_EQ(c.Label3.caption(), "Connecting to Drive");
  EXPECT_EQ(c.Label12.caption(), "Compress the files");
  EXPECT_EQ(c.Label9.caption(), "0");
  EXPECT_EQ(c.Label10.caption(), " / 0 bank(s)");
  for (const Control* label : {&c.Label4, &c.Label5, &c.Label6, &c.Label7, &c.Label8, &c.Label11})
    EXPECT_EQ(label->caption(), "") << label->name();
  EXPECT_EQ(c.shpScale.width(), 0);
  EXPECT_TRUE(fs::is_directory(appFolder()));
  EXPECT_EQ(w.run.CommandLine, "");
  EXPECT_TRUE(drive_.requests().empty());

  ScriptedDrive other;
  std::unique_ptr<MainWindow> withL;
  ScriptedSteps otherSteps(other, barOf(withL));
  withL = std::make_unique<MainWindow>(other, otherSteps, WindowServices{});
  withL->startUp(documents_, "/f /l");
  EXPECT_TRUE(withL->controls.Check1.visible());
}

TEST_F(SaveRun, CompleteRunReadsEveryRecordedBankAndPacksTheFolder) {
  steps_.model().banks[1] = {31, 0, 0, 0, 0, 0};  // empty, whatever its year says
  for (int b = 3; b < 8; ++b) steps_.model().banks[b] = {0, 0, 0, 0, 0, 0};
  MainWindow& w = start("");
  fs::create_directories(working() / "old");
  std::ofstream(working() / "old" / "stale.csv") << "x";
  platform_shell::SetReadOnly(working() / "old", true);
  drive_.beforeReply = [&](const std::string& request) {
    if (request == "QT") {
      EXPECT_FALSE(fs::exists(working())) << "the previous TRBSAVE goes first";
      EXPECT_FALSE(w.controls.cmd_Start.enabled());
      EXPECT_TRUE(w.controls.cmd_Cancel.enabled());
    }
    return Misbehave::None;
  };
  w.clickStart();

  const WindowControls& c = w.controls;
  EXPECT_EQ(w.lastOutcome(), RunOutcome::Completed);
  EXPECT_TRUE(messages_.shown.empty());
  EXPECT_EQ(c.Label11.caption(), "DriveType = \"RX-Ardo \"");
  EXPECT_EQ(c.Label7.caption(), "Done>");
  EXPECT_EQ(c.Label5.caption(), "Done>");
  EXPECT_EQ(c.Label6.caption(), "Done>");
  EXPECT_EQ(c.Label8.caption(), "Done>");
  EXPECT_EQ(c.Label9.caption(), "2");
  EXPECT_EQ(c.Label10.caption(), " / 2 bank(s)");
  EXPECT_EQ(c.Label4.caption(), "");
  EXPECT_EQ(c.shpScale.width(), c.shpBox.width()) << "the samples' steps add up to the full bar";
  EXPECT_FALSE(c.cmd_Start.enabled());
  EXPECT_TRUE(c.cmd_Cancel.enabled());
  EXPECT_EQ(c.cmd_Cancel.caption(), "Reset");
  EXPECT_EQ(savedBanks(), (std::vector<int>{0, 2}));
  EXPECT_EQ(w.run.SafePanelName, "LINE1");
  EXPECT_EQ(w.run.RecordedBankCount, 2);
  EXPECT_EQ(w.run.ValidBankCount, 2);

  // The order of the requests up to the first bank's samples.
  const std::vector<std::string> expected{"QT", "Q1", "Q2", "Q3", "Q4", "QA1", "QA2", "QU2", "MX1",
                                          "MY100", "MY101", "MY102", "MY103", "MY104", "MY105", "MY106",
                                          "MY107", "MX200", "MX300", "MZ10001"};
  ASSERT_GE(drive_.requests().size(), expected.size());
  EXPECT_EQ(std::vector<std::string>(drive_.requests().begin(), drive_.requests().begin() + expected.size()),
            expected);
  EXPECT_EQ(drive_.countOf("MX2"), 2u);
  EXPECT_EQ(drive_.countOf("MX201"), 0u);
  EXPECT_EQ(drive_.countOf("Mz"), 0u);
  EXPECT_EQ(drive_.countOf("mz"), 0u);
  EXPECT_EQ(drive_.requests().back(), "MV02");

  const fs::path archive = appFolder() / "TRBSAVE_20260203_090507.lzh";
  ASSERT_EQ(packCommands_.size(), 1u);
  EXPECT_EQ(packCommands_[0], "a \"" + archive.string() + "\" \"" + working().string() + "\"\\ *.* -d -n1 -gm1");
  EXPECT_FALSE(fs::exists(working())) << "the packed folder is deleted";
  ASSERT_EQ(messages_.asked.size(), 1u);
  EXPECT_EQ(messages_.asked[0], "Complete\r\nTraceback file location = " + archive.string() + "\r\n\r\nOpen Folder?");
  EXPECT_TRUE(opened_.empty()) << "No is the answer";

  // Reset clears the display for the next run.
  w.clickCancel();
  EXPECT_TRUE(c.cmd_Start.enabled());
  EXPECT_EQ(c.cmd_Cancel.caption(), "Cancel");
  EXPECT_FALSE(c.cmd_Cancel.enabled());
  EXPECT_EQ(c.Label9.caption(), "0");
  EXPECT_EQ(c.Label10.caption(), " / 0 bank(s)");
  EXPECT_EQ(c.shpScale.width(), 0);
  for (const Control* label : {&c.Label4, &c.Label5, &c.Label6, &c.Label7, &c.Label8, &c.Label11})
    EXPECT_EQ(label->caption(), "") << label->name();

  // A Yes opens the program folder.
  messages_.answer = true;
  w.clickStart();
  EXPECT_EQ(opened_, (std::vector<fs::path>{appFolder()}));
}

TEST_F(SaveRun, RequestVariantByInterfaceLevelMinorTypeAndSwitch) {
  struct Case {
    int level, minor;
    std::string type, commandLine, addresses, samples;
  };
  const std::vector<Case> cases{
      {5, 2, "RX-Jarn", "/f", "MZ1", "MZ2"},       // below level 6 always 16-bit
      {6, 1, "RX-Jarn", "", "Mz1", "Mz2"},         // minor 1 never wide
      {6, 2, "RX-Jarn", "", "mz1", "mzx"},
      {6, 2, "RX-FennX", "", "mz1", "mzx"},        // "begins with"
      {6, 2, "RX-Hald", "", "mz1", "mzx"},
      {6, 2, " RX-Hald", "", "Mz1", "Mz2"},        // untrimmed for this test
      {6, 2, "RX-Brin", "", "Mz1", "Mz2"},
      {6, 2, "RX-Brin", "x /f", "mz1", "mzx"},     // ends with "/f"
      {6, 2, "RX-Brin", "/f x", "Mz1", "Mz2"},
      {6, 1, "RX-Brin", "/f", "Mz1", "Mz2"},
  };
  for (const Case& k : cases) {
    ScriptedDrive drive;
    std::unique_ptr<MainWindow> window;
    ScriptedSteps steps(drive, barOf(window));
    steps.model().setLevel(k.level, k.minor);
    steps.model().driveType = k.type;
    window = std::make_unique<MainWindow>(drive, steps, baseServices());
    MainWindow& w = *window;
    w.startUp(documents_, k.commandLine);
    w.clickStart();
    SCOPED_TRACE(k.type + " level " + std::to_string(k.level) + " minor " + std::to_string(k.minor) +
                 " \"" + k.commandLine + "\"");
    EXPECT_EQ(w.lastOutcome(), RunOutcome::Completed) << w.x().ErrorText;
    EXPECT_GT(drive.countOf(k.addresses + "00"), 0u);
    EXPECT_GT(drive.countOf(k.samples + "00"), 0u);
    for (const char* other : {"MZ1", "Mz1", "mz1", "MZ2", "Mz2", "mzx"})
      if (other != k.addresses && other != k.samples) {
        EXPECT_EQ(drive.countOf(other), 0u) << other;
      }
  }
}

TEST_F(SaveRun, LastFaultOnlyReadsTheLatestBankAndMovesTheFolder) {
  DriveModel& m = steps_.model();
  m.banks[0] = {14, 3, 12, 8, 15, 2};
  m.banks[2] = {14, 3, 12, 8, 15, 3};   // latest
  m.banks[4] = {14, 3, 12, 8, 15, 3};   // same time: the lower bank stays
  m.banks[5] = {99, 0, 0, 0, 0, 0};     // empty: its year does not make it the latest
  m.banks[6] = {13, 12, 31, 23, 59, 59};
  MainWindow& w = start("/l");
  w.clickStart();

  EXPECT_EQ(w.lastOutcome(), RunOutcome::Completed) << w.x().ErrorText;
  EXPECT_TRUE(w.controls.Check1.visible());
  EXPECT_EQ(w.controls.Label10.caption(), " / Last Fault Only");
  EXPECT_EQ(w.run.LatestFaultBank, 2);
  EXPECT_EQ(w.run.RecordedBankCount, 1);
  EXPECT_EQ(w.run.ValidBankCount, 1);
  EXPECT_EQ(savedBanks(), (std::vector<int>{2}));
  EXPECT_EQ(drive_.countOf("MX2"), 1u);
  EXPECT_EQ(drive_.countOf("MX202"), 1u);
  EXPECT_EQ(w.controls.Label8.caption(), "Skip>");
  EXPECT_TRUE(packCommands_.empty());
  const fs::path moved = appFolder() / "TRBSAVE_20260203_090507";
  EXPECT_TRUE(fs::exists(moved / "Trb2_Data.csv"));
  EXPECT_FALSE(fs::exists(working()));
  ASSERT_EQ(messages_.asked.size(), 1u);
  EXPECT_EQ(messages_.asked[0], "Complete\r\nTraceback file location = " + moved.string() + "\r\n\r\nOpen Folder?");
  messages_.answer = true;
  w.clickCancel();
  w.clickStart();
  EXPECT_EQ(w.lastOutcome(), RunOutcome::Failed) << "the dated folder of this second exists already";
}

TEST_F(SaveRun, SlashLSlashFReadsAllBanksWideWithoutArchive) {
  steps_.model().setLevel(6, 2);
  steps_.model().driveType = "RX-Brin";
  for (int b = 4; b < 8; ++b) steps_.model().banks[b] = {0, 0, 0, 0, 0, 0};
  MainWindow& w = start("/l /f");
  w.clickStart();
  EXPECT_EQ(w.lastOutcome(), RunOutcome::Completed) << w.x().ErrorText;
  EXPECT_TRUE(w.controls.Check1.visible());
  EXPECT_EQ(w.controls.Label10.caption(), " / 4 bank(s)");
  EXPECT_EQ(savedBanks(), (std::vector<int>{0, 1, 2, 3}));
  EXPECT_GT(drive_.countOf("mz1"), 0u);
  EXPECT_GT(drive_.countOf("mzx"), 0u);
  EXPECT_TRUE(packCommands_.empty());
  EXPECT_EQ(w.controls.Label8.caption(), "Skip>");
  EXPECT_TRUE(fs::is_directory(appFolder() / "TRBSAVE_20260203_090507"));
}

TEST_F(SaveRun, AllBanksEmpty) {
  steps_.model().setAllBanksEmpty();
  MainWindow& w = start("");
  w.clickStart();
  EXPECT_EQ(w.lastOutcome(), RunOutcome::Completed);
  EXPECT_EQ(w.controls.Label10.caption(), " / 0 bank(s)");
  EXPECT_EQ(w.controls.Label9.caption(), "0");
  EXPECT_EQ(w.controls.Label4.caption(), "Waring : No Trace Bank Data Received.");
  EXPECT_EQ(w.controls.shpScale.width(), w.controls.shpBox.width());
  EXPECT_EQ(drive_.countOf("MX2"), 0u);
  EXPECT_TRUE(savedBanks().empty());
  EXPECT_EQ(packCommands_.size(), 1u) << "the archive is still made";
  EXPECT_EQ(messages_.asked.size(), 1u);
}

TEST_F(SaveRun, NakOrTimeoutInTheMiddleEndsTheRunWithItsMessage) {
  for (const Misbehave how : {Misbehave::Nak, Misbehave::Silent}) {
    ScriptedDrive drive;
    drive.beforeReply = [&](const std::string& request) { return request == "MX202" ? how : Misbehave::None; };
    RecordingMessages messages;
    WindowServices services;
    services.messages = &messages;
    std::vector<std::string> packed;
    services.unlha = [&](const std::string& c) { packed.push_back(c); return 0; };
    std::unique_ptr<MainWindow> window;
    ScriptedSteps steps(drive, barOf(window));
    window = std::make_unique<MainWindow>(drive, steps, services);
    MainWindow& w = *window;
    w.startUp(documents_, "");
    w.clickStart();

    EXPECT_EQ(w.lastOutcome(), RunOutcome::Failed);
    const std::string text = how == Misbehave::Nak ? "Received \"NAK\"\r\nTool Error Code = 1Fh" : "Timeout";
    EXPECT_EQ(messages.shown, (std::vector<std::string>{text}));
    EXPECT_TRUE(messages.asked.empty());
    EXPECT_EQ(drive.requests().back(), "MX202") << "nothing is sent after the abort";
    EXPECT_TRUE(packed.empty());
    EXPECT_EQ(w.controls.Label8.caption(), "");
    EXPECT_EQ(w.controls.Label4.caption(), "");
    EXPECT_EQ(w.controls.cmd_Cancel.caption(), "Reset");
    EXPECT_TRUE(w.controls.cmd_Cancel.enabled());
    EXPECT_FALSE(w.controls.cmd_Start.enabled());
    w.clickCancel();
    EXPECT_EQ(w.x().ErrorText, "");
    EXPECT_TRUE(w.controls.cmd_Start.enabled());
  }
}

TEST_F(SaveRun, CancelWhileWaitingForMX2) {
  MainWindow& w = start("");
  drive_.beforeReply = [&](const std::string& request) {
    if (request.rfind("MX2", 0) == 0) {
      EXPECT_EQ(w.controls.cmd_Cancel.caption(), "Cancel");
      w.clickCancel();
      EXPECT_FALSE(w.controls.cmd_Cancel.enabled()) << "Cancelling";
    }
    return Misbehave::None;
  };
  w.clickStart();
  EXPECT_EQ(w.lastOutcome(), RunOutcome::Cancelled);
  EXPECT_EQ(drive_.requests().back(), "MX200");
  EXPECT_TRUE(messages_.shown.empty());
  EXPECT_TRUE(messages_.asked.empty());
  EXPECT_TRUE(packCommands_.empty());
  EXPECT_EQ(w.controls.cmd_Cancel.caption(), "Reset");
  EXPECT_TRUE(w.controls.cmd_Cancel.enabled());
  EXPECT_FALSE(w.controls.cmd_Start.enabled());
}

TEST_F(SaveRun, ArchiverFailureKeepsTheWorkingFolder) {
  packResult_ = 7;
  MainWindow& w = start("");
  w.clickStart();
  EXPECT_EQ(w.lastOutcome(), RunOutcome::Failed);
  EXPECT_EQ(messages_.shown, (std::vector<std::string>{"LHA Compress error"}));
  EXPECT_EQ(w.controls.Label8.caption(), "Error>");
  EXPECT_TRUE(fs::is_directory(working()));
}

TEST_F(SaveRun, ExitDuringARunCancelsItAndEndsAfterIt) {
  MainWindow& w = start("");
  drive_.beforeReply = [&](const std::string& request) {
    if (request == "Q3") w.clickExit();
    EXPECT_FALSE(quit_);
    return Misbehave::None;
  };
  w.clickStart();
  EXPECT_EQ(w.lastOutcome(), RunOutcome::Cancelled);
  EXPECT_EQ(drive_.requests().back(), "Q3");
  EXPECT_TRUE(quit_);
}

}  // namespace
