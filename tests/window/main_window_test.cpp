// The main window over whole save runs against a drive in the test process: decisions,
// checkpoints, folders and the closing messages, seen through the window's control state; the
// request variant the interface reply chooses, layouts that cannot be requested, and a second
// run that follows the next drive.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/shell/folders.h"
#include "platform/shell/message_box.h"
#include "tests/shell/file_size_limit.h"
#include "tests/window/window_rig.h"

namespace {
namespace fs = std::filesystem;
using namespace quillon;
using quillon_test::BankTimeReply;
using quillon_test::ScriptedReply;
using quillon_test::WindowRig;

using quillon_test::Ardo;
using quillon_test::IndexOf;
using quillon_test::SavedBanks;
using quillon_test::WithDrive;

// The display between runs: at start-up and after Reset.
void ExpectIdle(const WindowControls& c) {
  EXPECT_EQ(c.focus(), &c.cmd_Start);
  EXPECT_TRUE(c.cmd_Start.enabled());
  EXPECT_EQ(c.cmd_Cancel.caption(), "Cancel");
  EXPECT_FALSE(c.cmd_Cancel.enabled());
  EXPECT_EQ(c.Label9.caption(), "0");
  EXPECT_EQ(c.Label10.caption(), " / 0 bank(s)");
  EXPECT_EQ(c.shpScale.width(), 0);
  for (const Control* label : {&c.Label4, &c.Label5, &c.Label6, &c.Label7, &c.Label8, &c.Label11})
    EXPECT_EQ(label->caption(), "") << label->name();
}

// The captions themselves are checked through the widget that shows them.
TEST(MainWindow, StartUpMakesTheProgramFolderAndSendsNothing) {
  WindowRig rig(WithDrive(Ardo()));
  const WindowControls& c = rig.window().controls;
  EXPECT_EQ(rig.startUpFailure, "");
  ExpectIdle(c);
  EXPECT_FALSE(c.Check1.visible());
  EXPECT_FALSE(c.Check1.checked());
  EXPECT_TRUE(fs::is_directory(rig.appFolder()));
  EXPECT_TRUE(rig.exchange.sent.empty());
}

TEST(MainWindow, CompleteRunReadsEveryRecordedBankAndPacksTheFolder) {
  drivesim::DriveOptions drive = Ardo();
  drive.recordedBanks = {0, 2};  // bank 1 empty, whatever its year says
  WindowRig rig(WithDrive(drive));
  MainWindow& w = rig.window();
  EXPECT_EQ(w.controls.focus(), &w.controls.cmd_Start);
  // What an earlier run left in the working folder is kept beside it, never deleted.
  fs::create_directories(rig.working() / "old");
  std::ofstream(rig.working() / "old" / "stale.csv") << "x";
  platform::shell::SetReadOnly(rig.working() / "old", true);
  const fs::path kept = rig.appFolder() / "TRBSAVE_20260203_090507_incomplete";
  const auto answer = rig.driveAnswers();
  rig.exchange.responder = [&](const std::string& request) {
    if (request == "QT") {
      EXPECT_FALSE(fs::exists(rig.working())) << "the earlier TRBSAVE goes aside first";
      EXPECT_EQ(quillon_test::FileText(kept / "old" / "stale.csv"), "x");
      EXPECT_FALSE(w.controls.cmd_Start.enabled());
      EXPECT_TRUE(w.controls.cmd_Cancel.enabled());
      EXPECT_EQ(w.controls.focus(), &w.controls.cmd_Cancel) << "never Exit";
    }
    return answer(request);
  };
  w.clickStart();

  const WindowControls& c = w.controls;
  EXPECT_EQ(w.lastOutcome(), RunOutcome::Completed) << rig.run().x().ErrorText;
  EXPECT_TRUE(rig.messages.shown.empty());
  EXPECT_TRUE(rig.messages.errors.empty());
  EXPECT_EQ(c.focus(), &c.cmd_Cancel) << "Reset";
  const std::string keptNotice = "The data of an earlier run that did not complete was kept: " +
                                 rig.working().string() + " is now " + kept.string();
  EXPECT_EQ(c.Label11.caption(), "DriveType = \"RX-Ardo \"");
  EXPECT_EQ(c.Label7.caption(), "Done>");
  EXPECT_EQ(c.Label5.caption(), "Done>");
  EXPECT_EQ(c.Label6.caption(), "Done>");
  EXPECT_EQ(c.Label8.caption(), "Done>");
  EXPECT_EQ(c.Label9.caption(), "2");
  EXPECT_EQ(c.Label10.caption(), " / 2 bank(s)");
  EXPECT_EQ(c.Label4.caption(), keptNotice);
  EXPECT_EQ(c.shpScale.width(), c.shpBox.width()) << "the samples' steps add up to the full bar";
  EXPECT_FALSE(c.cmd_Start.enabled());
  EXPECT_TRUE(c.cmd_Cancel.enabled());
  EXPECT_EQ(c.cmd_Cancel.caption(), "Reset");
  EXPECT_EQ(rig.run().SafePanelName, "LINE1");
  EXPECT_EQ(rig.run().RecordedBankCount, 2);
  EXPECT_EQ(rig.run().ValidBankCount, 2);

  // The order of the requests up to the first bank's samples.
  const std::vector<std::string>& sent = rig.exchange.sent;
  const std::vector<std::string> expected{"QT", "Q1", "Q2", "Q3", "Q4", "QA1", "QA2", "QU2", "MX1",
                                          "MY100", "MY101", "MY102", "MY103", "MY104", "MY105", "MY106",
                                          "MY107", "MX200", "MX300", "MZ10001"};
  ASSERT_GE(sent.size(), expected.size());
  EXPECT_EQ(std::vector<std::string>(sent.begin(), sent.begin() + expected.size()), expected);
  EXPECT_EQ(rig.exchange.countOf("MX2"), 2u);
  EXPECT_EQ(rig.exchange.countOf("MX201"), 0u);
  EXPECT_EQ(rig.exchange.countOf("Mz"), 0u);
  EXPECT_EQ(rig.exchange.countOf("mz"), 0u);
  const std::size_t firstRecord = IndexOf(sent, "MY300");
  ASSERT_GT(firstRecord, 0u);
  EXPECT_EQ(sent[firstRecord - 1], "MV02") << "the last bank's version ends the trace-back requests";

  ASSERT_TRUE(fs::is_regular_file(rig.archive()));
  EXPECT_EQ(SavedBanks(rig.archivedFiles()), (std::vector<int>{0, 2}));
  EXPECT_FALSE(fs::exists(rig.working())) << "the packed folder is deleted";
  ASSERT_EQ(rig.messages.asked.size(), 1u);
  EXPECT_EQ(rig.messages.asked[0], "Complete\r\nTraceback file location = " + rig.archive().string() + "\r\n\r\n" +
                                       keptNotice + "\r\n\r\nOpen Folder?");
  EXPECT_TRUE(rig.opened.empty()) << "No is the answer";

  // Reset clears the display for the next run.
  w.clickCancel();
  ExpectIdle(c);

  // A Yes opens the program folder; without a file manager the window says so and where.
  // "View" opens the viewer on the save just made.
  rig.messages.answer = true;
  rig.fileManager = false;
  rig.now.tm_sec += 1;
  w.clickStart();
  EXPECT_EQ(rig.opened, (std::vector<fs::path>{rig.appFolder()}));
  EXPECT_EQ(rig.messages.shown,
            (std::vector<std::string>{"No file manager could be started (xdg-open). The save is in\r\n" +
                                      rig.appFolder().string()}));
  EXPECT_TRUE(c.cmd_View.enabled());
  w.clickView();
  EXPECT_EQ(rig.viewed, (std::vector<fs::path>{rig.archive()}));
  w.clickCancel();
  EXPECT_FALSE(c.cmd_View.enabled());
  EXPECT_EQ(c.LabelClosing.caption(), "");
}

// The choice itself is checked on its own; here the interface reply's level and minor, the drive
// type as sent and the command line reach it, and each variant sends its own requests.
TEST(MainWindow, RequestVariantFromTheInterfaceReplyTypeAndSwitch) {
  struct Case {
    int level, minor;
    std::string type, commandLine, addresses, samples;
  };
  const std::vector<Case> cases{
      {5, 2, "RX-Jarn", "/f", "MZ1", "MZ2"},
      {6, 1, "RX-Jarn", "", "Mz1", "Mz2"},
      {6, 2, "RX-Jarn", "", "mz1", "mzx"},
      {6, 2, " RX-Hald", "", "Mz1", "Mz2"},     // untrimmed for this test
      {6, 2, "RX-Brin", "x /f", "mz1", "mzx"},
  };
  for (const Case& k : cases) {
    drivesim::DriveOptions drive = Ardo();
    drive.interfaceLevel = k.level;
    drive.interfaceMinor = k.minor;
    drive.driveType = k.type;
    drive.recordedBanks = {0, 2};
    WindowRig rig(WithDrive(drive, k.commandLine));
    MainWindow& w = rig.start();
    SCOPED_TRACE(k.type + " level " + std::to_string(k.level) + " minor " + std::to_string(k.minor) + " \"" +
                 k.commandLine + "\"");
    EXPECT_EQ(w.lastOutcome(), RunOutcome::Completed) << rig.run().x().ErrorText;
    EXPECT_GT(rig.exchange.countOf(k.addresses + "00"), 0u);
    EXPECT_GT(rig.exchange.countOf(k.samples + "00"), 0u);
    for (const char* other : {"MZ1", "Mz1", "mz1", "MZ2", "Mz2", "mzx"})
      if (other != k.addresses && other != k.samples) {
        EXPECT_EQ(rig.exchange.countOf(other), 0u) << other;
      }
  }
}

TEST(MainWindow, LayoutsThatCannotBeRequestedEndTheRunBeforeAnySample) {
  drivesim::DriveOptions deep = Ardo();
  deep.interfaceLevel = 6;
  deep.driveType = "RX-Brin";
  deep.groupDepth = {60, 0, 0, 0, 0};  // 3840 samples: 257 "Mz2" blocks
  WindowRig rig(WithDrive(deep));
  MainWindow& w = rig.start();
  EXPECT_EQ(w.lastOutcome(), RunOutcome::Failed);
  ASSERT_EQ(rig.messages.errors.size(), 1u);
  EXPECT_EQ(rig.exchange.countOf("Mz2"), 0u);
  EXPECT_EQ(w.controls.cmd_Cancel.caption(), "Reset");

  drivesim::DriveOptions wide = Ardo();
  wide.groupSignals = {200, 56, 0, 0, 0};
  WindowRig again(WithDrive(wide));
  EXPECT_EQ(again.start().lastOutcome(), RunOutcome::Failed);
  EXPECT_EQ(again.exchange.countOf("MX2"), 0u) << "no wrapped signal count reaches a request";
  EXPECT_EQ(again.exchange.countOf("MZ"), 0u);
}

TEST(MainWindow, PanelNameCannotLeaveTheWorkingFolder) {
  drivesim::DriveOptions drive = Ardo();
  drive.panelName = "../../../../etc";
  drive.recordedBanks = {0};
  WindowRig rig(WithDrive(drive));
  ASSERT_EQ(rig.start().lastOutcome(), RunOutcome::Completed) << rig.run().x().ErrorText;
  EXPECT_EQ(rig.run().SafePanelName, ".._.._.._.._etc");
  for (const auto& entry : fs::directory_iterator(rig.documents()))
    EXPECT_EQ(entry.path().filename(), "Quillon") << "nothing beside the program folder";
  EXPECT_EQ(rig.archivedFiles().count("Trb0_Data.csv"), 1u);
}

// Nothing of the first drive's run stays in the second: its memory area, event log and texts.
TEST(MainWindow, ASecondRunFollowsTheNextDrive) {
  WindowRig rig;  // a 32-bit drive with an event log
  MainWindow& w = rig.start();
  ASSERT_EQ(w.lastOutcome(), RunOutcome::Completed) << rig.run().x().ErrorText;
  const std::string firstPanel = rig.run().SafePanelName;
  EXPECT_EQ(rig.archivedFiles().count("Evtlg_" + firstPanel + ".csv"), 1u);

  drivesim::DriveOptions older = Ardo();
  older.panelName = "Press 7";
  older.recordedBanks = {1};
  rig.useDrive(older);
  w.clickCancel();  // Reset
  rig.exchange.sent.clear();
  ++rig.now.tm_sec;
  w.clickStart();
  ASSERT_EQ(w.lastOutcome(), RunOutcome::Completed) << rig.run().x().ErrorText;
  EXPECT_EQ(rig.run().SafePanelName, "Press 7");
  EXPECT_GT(rig.exchange.countOf("LP"), 0u);
  EXPECT_EQ(rig.exchange.countOf("Lp"), 0u);
  const auto packed = rig.archivedFiles();
  ASSERT_EQ(packed.count("Set_Sram_Press 7.csv"), 1u);
  EXPECT_EQ(quillon_test::CrlfLines(packed.at("Set_Sram_Press 7.csv")).size(), 3072u) << "the 16-bit drive's own area";
  EXPECT_EQ(packed.count("Evtlg_Press 7.csv"), 0u);
  EXPECT_EQ(packed.count("Evtlg_" + firstPanel + ".csv"), 0u) << "the folder starts empty";
  ASSERT_EQ(packed.count("DriveSts_Press 7.csv"), 1u);
  EXPECT_EQ(quillon_test::CrlfLines(packed.at("DriveSts_Press 7.csv"))[1],
            "Drive Interface Ver, " + rig.drive().interfaceVersionText());
  EXPECT_EQ(SavedBanks(packed), (std::vector<int>{1}));
}

TEST(MainWindow, LastFaultOnlyReadsTheLatestBankAndMovesTheFolder) {
  drivesim::DriveOptions drive = Ardo();
  drive.recordedBanks = {0, 1, 2, 3, 4, 6, 7};
  WindowRig rig(WithDrive(drive, "/l"));
  const auto answer = rig.driveAnswers();
  rig.exchange.responder = [&](const std::string& request) {
    if (request == "MY102" || request == "MY104") return BankTimeReply(14, 3, 12, 8, 15, 3);  // latest; a tie keeps 2
    if (request == "MY105") return BankTimeReply(99, 0, 0, 0, 0, 0);  // empty: its year does not make it the latest
    if (request == "MY106") return BankTimeReply(13, 12, 31, 23, 59, 59);
    if (request.starts_with("MY1")) return BankTimeReply(14, 3, 12, 8, 15, 2);
    return answer(request);
  };
  MainWindow& w = rig.start();

  EXPECT_EQ(w.lastOutcome(), RunOutcome::Completed) << rig.run().x().ErrorText;
  EXPECT_TRUE(w.controls.Check1.visible());
  EXPECT_EQ(w.controls.Label10.caption(), " / Last Fault Only");
  EXPECT_EQ(rig.run().LatestFaultBank, 2);
  EXPECT_EQ(rig.run().RecordedBankCount, 1);
  EXPECT_EQ(rig.run().ValidBankCount, 1);
  EXPECT_EQ(rig.exchange.countOf("MX2"), 1u);
  EXPECT_EQ(rig.exchange.countOf("MX202"), 1u);
  EXPECT_EQ(w.controls.Label8.caption(), "Skip>");
  EXPECT_FALSE(fs::exists(rig.archive()));
  EXPECT_EQ(SavedBanks(quillon_test::FilesBelow(rig.movedFolder())), (std::vector<int>{2}));
  EXPECT_FALSE(fs::exists(rig.working()));
  ASSERT_EQ(rig.messages.asked.size(), 1u);
  EXPECT_EQ(rig.messages.asked[0],
            "Complete\r\nTraceback file location = " + rig.movedFolder().string() + "\r\n\r\nOpen Folder?");
  // A second run within the same second keeps the first one's folder and takes the next second.
  std::ofstream(rig.movedFolder() / "marker") << "first";
  w.clickCancel();
  w.clickStart();
  EXPECT_EQ(w.lastOutcome(), RunOutcome::Completed) << rig.run().x().ErrorText;
  EXPECT_EQ(quillon_test::FileText(rig.movedFolder() / "marker"), "first");
  EXPECT_EQ(SavedBanks(quillon_test::FilesBelow(rig.appFolder() / "TRBSAVE_20260203_090508")), (std::vector<int>{2}));
}

TEST(MainWindow, SlashLSlashFReadsAllBanksWithoutArchive) {
  drivesim::DriveOptions drive = Ardo();
  drive.recordedBanks = {0, 1, 2, 3};
  WindowRig rig(WithDrive(drive, "/l /f"));
  MainWindow& w = rig.start();
  EXPECT_EQ(w.lastOutcome(), RunOutcome::Completed) << rig.run().x().ErrorText;
  EXPECT_TRUE(w.controls.Check1.visible());
  EXPECT_EQ(w.controls.Label10.caption(), " / 4 bank(s)");
  EXPECT_EQ(SavedBanks(quillon_test::FilesBelow(rig.movedFolder())), (std::vector<int>{0, 1, 2, 3}));
  EXPECT_FALSE(fs::exists(rig.archive()));
  EXPECT_EQ(w.controls.Label8.caption(), "Skip>");
}

TEST(MainWindow, AllBanksEmpty) {
  drivesim::DriveOptions drive = Ardo();
  drive.recordedBanks = {};
  WindowRig rig(WithDrive(drive));
  MainWindow& w = rig.start();
  EXPECT_EQ(w.lastOutcome(), RunOutcome::Completed);
  EXPECT_EQ(w.controls.Label10.caption(), " / 0 bank(s)");
  EXPECT_EQ(w.controls.Label9.caption(), "0");
  EXPECT_EQ(w.controls.Label4.caption(), "Waring : No Trace Bank Data Received.");
  EXPECT_EQ(w.controls.shpScale.width(), w.controls.shpBox.width());
  EXPECT_EQ(rig.exchange.countOf("MX2"), 0u);
  EXPECT_TRUE(SavedBanks(rig.archivedFiles()).empty());
  EXPECT_TRUE(fs::is_regular_file(rig.archive())) << "the archive is still made";
  EXPECT_EQ(rig.messages.asked.size(), 1u);
}

TEST(MainWindow, NakOrTimeoutInTheMiddleEndsTheRunWithItsMessage) {
  for (const bool refused : {true, false}) {
    WindowRig rig(WithDrive(Ardo()));
    const auto answer = rig.driveAnswers();
    rig.exchange.responder = [&](const std::string& request) {
      if (request != "MX202") return answer(request);
      return refused ? ScriptedReply::Nak(0x1F) : ScriptedReply::Silence(request);
    };
    MainWindow& w = rig.start();

    // The refusal's or the timeout's own text first, then the request, the step, and where the
    // data read so far is (banks 0 and 1 were saved), with the error icon.
    EXPECT_EQ(w.lastOutcome(), RunOutcome::Failed);
    const std::string text =
        (refused ? "Received \"NAK\"\r\nTool Error Code = 1Fh\r\nRequest \"MX202\" to the drive"
                 : "Timeout: no answer from the drive to \"MX202\" after 10 sends\r\nCheck the drive's address "
                   "(--drive), that the drive is powered and its network cable plugged in, and that UDP port 22359 on "
                   "it can be reached from here (a firewall may block it).") +
        std::string("\r\nStep: Receiving Trace Back Data\r\n\r\nThe data read so far is in ") + rig.working().string() +
        "\r\n(the next Start keeps it as TRBSAVE_<date>_<time>_incomplete)";
    EXPECT_EQ(rig.messages.errors, (std::vector<std::string>{text}));
    EXPECT_TRUE(rig.messages.shown.empty());
    EXPECT_TRUE(rig.messages.asked.empty());
    EXPECT_EQ(SavedBanks(quillon_test::FilesBelow(rig.working())), (std::vector<int>{0, 1}));
    EXPECT_EQ(rig.exchange.sent.back(), "MX202") << "nothing is sent after the abort";
    EXPECT_FALSE(fs::exists(rig.archive()));
    // Each row ends marked; the message stays in the window after its box.
    for (const auto& [marker, caption] : {std::pair{&w.controls.Label7, "Done>"}, {&w.controls.Label5, "Error>"},
                                          {&w.controls.Label6, "Skip>"}, {&w.controls.Label8, "Skip>"}})
      EXPECT_EQ(marker->caption(), caption) << marker->name();
    EXPECT_EQ(w.controls.LabelClosing.caption(), platform::shell::WithUnixLineBreaks(text));
    EXPECT_TRUE(w.controls.cmd_View.enabled()) << "the working folder holds banks 0 and 1";
    EXPECT_EQ(w.controls.Label4.caption(), "");
    EXPECT_EQ(w.controls.cmd_Cancel.caption(), "Reset");
    EXPECT_TRUE(w.controls.cmd_Cancel.enabled());
    EXPECT_FALSE(w.controls.cmd_Start.enabled());
    w.clickCancel();
    EXPECT_EQ(rig.run().x().ErrorText, "");
    EXPECT_TRUE(w.controls.cmd_Start.enabled());
  }
}

TEST(MainWindow, ResendsAreShownWhileTheRequestWaits) {
  WindowRig rig(WithDrive(Ardo()));
  MainWindow& w = rig.window();
  std::vector<std::string> shown;
  w.controls.setObserver([&](const Control& c) {
    if (c.name() == "LabelResend") shown.push_back(c.caption());
  });
  const auto answer = rig.driveAnswers();
  rig.exchange.responder = [&](const std::string& request) {
    ScriptedReply reply = answer(request);
    if (request == "MX200") reply.resentFirst = 2;
    if (request == "MX201") return ScriptedReply::Silence(request);
    return reply;
  };
  w.clickStart();
  EXPECT_EQ(shown, (std::vector<std::string>{"no answer to \"MX200\": re-send 1 of 9",
                                             "no answer to \"MX200\": re-send 2 of 9", ""}));
  EXPECT_EQ(w.lastOutcome(), RunOutcome::Failed);
}

TEST(MainWindow, CancelWhileWaitingForMX2) {
  WindowRig rig(WithDrive(Ardo()));
  MainWindow& w = rig.window();
  const auto answer = rig.driveAnswers();
  rig.exchange.responder = [&](const std::string& request) {
    if (request.starts_with("MX2")) {
      EXPECT_EQ(w.controls.cmd_Cancel.caption(), "Cancel");
      w.clickCancel();
      EXPECT_FALSE(w.controls.cmd_Cancel.enabled()) << "Cancelling";
    }
    return answer(request);
  };
  w.clickStart();
  EXPECT_EQ(w.lastOutcome(), RunOutcome::Cancelled);
  EXPECT_EQ(rig.exchange.sent.back(), "MX200");
  // Nothing was written before the first bank: the end says so.
  EXPECT_EQ(rig.messages.shown, (std::vector<std::string>{"Cancelled\r\n\r\nNothing was saved."}));
  for (const auto& [marker, caption] : {std::pair{&w.controls.Label7, "Done>"}, {&w.controls.Label5, "Cancelled>"},
                                        {&w.controls.Label6, "Skip>"}, {&w.controls.Label8, "Skip>"}})
    EXPECT_EQ(marker->caption(), caption) << marker->name();
  EXPECT_EQ(w.controls.LabelClosing.caption(), "Cancelled\n\nNothing was saved.");
  EXPECT_FALSE(w.controls.cmd_View.enabled());
  EXPECT_TRUE(rig.messages.errors.empty());
  EXPECT_TRUE(rig.messages.asked.empty());
  EXPECT_FALSE(fs::exists(rig.archive()));
  EXPECT_EQ(w.controls.cmd_Cancel.caption(), "Reset");
  EXPECT_TRUE(w.controls.cmd_Cancel.enabled());
  EXPECT_FALSE(w.controls.cmd_Start.enabled());
}

TEST(MainWindow, ArchiverFailureKeepsTheWorkingFolder) {
  WindowRig rig(WithDrive(Ardo()));
  const auto answer = rig.driveAnswers();
  std::unique_ptr<quillon_test::FileSizeLimit> diskFull;
  rig.exchange.responder = [&](const std::string& request) {
    if (request == "SP") diskFull = std::make_unique<quillon_test::FileSizeLimit>(4096);  // room for the status file only
    return answer(request);
  };
  MainWindow& w = rig.start();
  diskFull.reset();
  EXPECT_EQ(w.lastOutcome(), RunOutcome::Failed);
  ASSERT_EQ(rig.messages.errors.size(), 1u);
  EXPECT_TRUE(rig.messages.errors[0].starts_with("LHA Compress error\r\nStep: Compress the files\r\n\r\nThe data "
                                                 "read so far is in " + rig.working().string()))
      << rig.messages.errors[0];
  EXPECT_EQ(w.controls.Label8.caption(), "Error>");
  EXPECT_TRUE(fs::is_directory(rig.working()));
  EXPECT_EQ(SavedBanks(quillon_test::FilesBelow(rig.working())), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7}));
  EXPECT_FALSE(fs::exists(rig.archive())) << "no half archive";
}

TEST(MainWindow, ExitDuringARunAsksThenCancelsItAndEndsAfterIt) {
  WindowRig rig(WithDrive(Ardo()));
  MainWindow& w = rig.window();
  const auto answer = rig.driveAnswers();
  rig.exchange.responder = [&](const std::string& request) {
    if (request == "Q3" || request == "MX201") w.clickExit();  // No, then Yes
    if (request == "Q3") rig.messages.answer = true;
    EXPECT_FALSE(rig.quit);
    return answer(request);
  };
  w.clickStart();
  EXPECT_EQ(rig.messages.asked, (std::vector<std::string>(2, "A save is running. Stop it and exit?")));
  EXPECT_EQ(w.lastOutcome(), RunOutcome::Cancelled);
  EXPECT_EQ(rig.exchange.sent.back(), "MX201");
  // The run reached its end with bank 0 saved and says where, then the program ends.
  EXPECT_EQ(SavedBanks(quillon_test::FilesBelow(rig.working())), (std::vector<int>{0}));
  ASSERT_EQ(rig.messages.shown.size(), 1u);
  EXPECT_TRUE(rig.messages.shown[0].starts_with("Cancelled\r\n\r\nThe data read so far is in " + rig.working().string()))
      << rig.messages.shown[0];
  EXPECT_TRUE(rig.quit);
  EXPECT_EQ(w.controls.focus(), &w.controls.cmd_Cancel);
}

// The Drive row: a scan runs elsewhere while the window goes on, its drives are offered, and
// the next Start asks the one picked; the address the program was started with is not asked again.
TEST(MainWindow, AScannedDrivePickedInTheDriveFieldIsWhereTheNextRunGoes) {
  quillon_test::RunRig rig;
  quillon_test::RecordingMessages messages;
  DrivesFound pending;
  MainWindow window(rig.run(), {&messages, [](const fs::path&) { return true; }, [] {}, {},
                                [&pending](DrivesFound done) { pending = std::move(done); }});
  ASSERT_EQ(window.startUp(), "");
  window.startWithDrive("192.0.2.11");
  window.clickScan();
  EXPECT_FALSE(window.controls.cmd_Scan.enabled());
  ASSERT_TRUE(pending);
  pending({{"192.0.2.11", "192.0.2.11  RX-Brin  LINE/1"}, {"192.0.2.12", "192.0.2.12  RX-Fenn  LINE/2"}});
  EXPECT_TRUE(window.controls.cmd_Scan.enabled());
  EXPECT_EQ(window.driveChoices().size(), 2u);

  window.clickStart();
  EXPECT_TRUE(rig.exchange.aimedAt.empty());
  window.clickCancel();  // Reset
  window.setDriveAddress("192.0.2.12");
  window.clickStart();
  EXPECT_EQ(rig.exchange.aimedAt, std::vector<std::string>{"192.0.2.12"});
  EXPECT_EQ(window.lastOutcome(), RunOutcome::Completed);
}

}  // namespace
