// "DB Load" in the save run: the bound download runs between the drive information and the
// trace-back data, with its captions, and only when the box is ticked; a refused archive is
// shown and the run still completes.
#include <gtest/gtest.h>

#include "platform/shell/message_box.h"
#include "quillon/requests/drive_database_download.h"
#include "quillon/window/command_line.h"
#include "quillon/window/main_window.h"
#include "quillon/window/program_parts.h"
#include "tests/dbload/dbload_support.h"

using namespace quillon;
using namespace dbload_test;
namespace fs = std::filesystem;

namespace {

// A drive with no recorded bank: the save run asks nothing of it but the download.
class NoBanks : public DriveSteps {
 public:
  void startUp() override {}
  void beginRun() override {}
  void connect() override {}
  void readDriveInformation() override {}
  void readGroupLayout() override {}
  void resizeBankTime() override {}
  void readBankTime(std::uint8_t) override {}
  void readBankHeader(std::uint8_t) override {}
  void resizeBankTables() override {}
  void readBankSignals(std::uint8_t, SampleVariant, int) override {}
  void readBankFaultsAndVersion(std::uint8_t) override {}
  void saveBank(std::uint8_t) override {}
  int bankCount() const override { return 8; }
  int interfaceLevel() const override { return 6; }
  int interfaceMinor() const override { return 2; }
  std::string driveType() const override { return "RX-Fenn"; }
  std::string panelName() const override { return "LINE"; }
  std::vector<std::string> bankTimeRow(int) const override { return std::vector<std::string>(7, "00"); }
};

class RecordingMessages : public platform_shell::MessageBoxes {
 public:
  void showMessage(const std::string& text) override { shown.push_back(text); }
  bool askYesNo(const std::string&) override { return false; }
  std::vector<std::string> shown;
};

struct SaveRunWithDbLoad {
  explicit SaveRunWithDbLoad(Bytes archive) {
    drivesim::DriveOptions options;
    options.archive = std::move(archive);
    model = std::make_unique<drivesim::CommandModel>(drivesim::DriveProfile(options));
    AnswerFrom(exchange, *model);
    WindowServices services;
    services.messages = &messages;
    services.now = [] { return std::tm{}; };
    services.unlha = [](const std::string&) { return 0; };  // packing the (empty) working folder
    window = std::make_unique<MainWindow>(exchange, steps, services);
    window->controls.setObserver([this](const Control& c) {
      if (c.name() == "Label1") label1.push_back(c.caption());
      if (c.name() == "Label1" && c.caption() == "Receiving Drive Database")
        label9ShownAtDownload = window->controls.Label9.visible();
      if (c.name() == "Label10") label10.push_back(c.caption());
    });
  }

  void bindAndStart(bool checked, const std::string& commandLine) {
    const ProgressBar bar{[this] { return window->controls.shpBox.width(); },
                          [this] { return window->controls.shpScale.width(); },
                          [this](int width) { window->controls.shpScale.setWidth(width); }};
    BindReceiveDriveDatabase(
        *window, exchange, bar,
        [](const std::string& command) {
          fs::path archive, folder;
          return ParseExtractCommand(command, archive, folder) ? ExtractWithoutChecks(archive, folder) : 2;
        },
        &messages, checked);
    ASSERT_EQ(window->startUp(documents.path(), commandLine), "");
    window->clickStart();
  }

  fs::path appFolder() const { return documents.path() / "Quillon"; }

  TempFolder documents;
  std::unique_ptr<drivesim::CommandModel> model;
  records_test::ScriptedExchange exchange;
  NoBanks steps;
  RecordingMessages messages;
  std::unique_ptr<MainWindow> window;
  std::vector<std::string> label1, label10;
  bool label9ShownAtDownload = true;
};

}  // namespace

TEST(DbLoadInTheSaveRun, TickedBoxReceivesAndExtractsBeforeTheTraceBackData) {
  SaveRunWithDbLoad run(drivesim::StoredDatabaseArchive());
  run.bindAndStart(true, "/l");
  EXPECT_EQ(run.window->lastOutcome(), RunOutcome::Completed) << run.exchange.state().ErrorText;
  EXPECT_TRUE(run.messages.shown.empty());
  ASSERT_FALSE(run.exchange.sent.empty());
  EXPECT_EQ(run.exchange.sent.front(), "FB");
  EXPECT_TRUE(fs::exists(run.appFolder() / "SIM01.00.mdb"));
  EXPECT_TRUE(fs::exists(run.appFolder() / "SIM01.00_RX-Fenn.pdn"));
  EXPECT_FALSE(fs::exists(run.appFolder() / "Temp.lzh"));

  // Captions: the download shows its step with `Label9` hidden, then the trace-back step.
  const auto download = std::find(run.label1.begin(), run.label1.end(), "Receiving Drive Database");
  ASSERT_NE(download, run.label1.end());
  EXPECT_EQ(*std::next(download), "Receiving Trace Back Data");
  EXPECT_FALSE(run.label9ShownAtDownload);
  EXPECT_TRUE(run.window->controls.Label9.visible());
  const std::string last = std::to_string(LastArchiveBlock(static_cast<std::uint32_t>(drivesim::StoredDatabaseArchive().size())));
  EXPECT_NE(std::find(run.label10.begin(), run.label10.end(), last + "/" + last), run.label10.end());
  EXPECT_LE(run.window->controls.shpScale.width(), run.window->controls.shpBox.width());
}

TEST(DbLoadInTheSaveRun, UntickedBoxAsksNothingAndARefusedArchiveLetsTheRunComplete) {
  {
    SaveRunWithDbLoad run(drivesim::StoredDatabaseArchive());
    run.bindAndStart(false, "/l");
    EXPECT_TRUE(run.window->controls.Check1.visible());
    EXPECT_TRUE(run.exchange.sent.empty());
    EXPECT_FALSE(fs::exists(run.appFolder() / "SIM01.00.mdb"));
  }
  SaveRunWithDbLoad run(drivesim::StoredLzhArchive({{"../escaped.mdb", TextBytes("x")}}));
  run.bindAndStart(true, "");
  EXPECT_TRUE(run.window->controls.Check1.checked());
  EXPECT_EQ(run.window->lastOutcome(), RunOutcome::Completed);
  ASSERT_EQ(run.messages.shown.size(), 1u);
  EXPECT_NE(run.messages.shown[0].find("../escaped.mdb"), std::string::npos);
  EXPECT_FALSE(fs::exists(run.documents.path() / "escaped.mdb"));
  EXPECT_FALSE(fs::exists(run.appFolder() / "escaped.mdb"));
}

TEST(DbLoadInTheSaveRun, CommandLineOptionTicksTheBox) {
  const LaunchParse ticked = ParseLaunchOptions({"--headless", "--simulate", "--db-load", "/l"});
  EXPECT_EQ(ticked.usageError, "");
  EXPECT_TRUE(ticked.options.dbLoad);
  EXPECT_EQ(ticked.options.CommandLine, "/l");
  EXPECT_FALSE(ParseLaunchOptions({"--headless", "/l"}).options.dbLoad);
  EXPECT_NE(ParseLaunchOptions({"--db-load=yes"}).usageError, "");
  EXPECT_EQ(ParseLaunchOptions({"--", "--db-load"}).options.CommandLine, "--db-load");  // a switch, not the option
  EXPECT_NE(UsageText().find("--db-load"), std::string::npos);
}
