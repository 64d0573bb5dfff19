// The trace-back part of the save run through the real request routines, `SaveTrb_mdb` and the
// CSV set, against the simulated drive's replies: every recorded bank's files as the drive's
// data dictates them, the request variant the interface reply chooses, layouts that cannot be
// requested, and a panel name that would leave the working folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "tests/window/window_rig.h"

namespace {
namespace fs = std::filesystem;
using namespace quillon;
using quillon_test::RunSetup;
using quillon_test::WindowRig;

// A 16-bit drive of a firmware version whose drive database is nowhere: CSV sets.
drivesim::DriveOptions sixteenBitDrive() {
  drivesim::DriveOptions d;
  d.driveType = "RX-Ardo";
  d.interfaceLevel = 5;
  d.interfaceMinor = 1;
  d.softVersion = "V1.23";
  d.panelName = "LINE/1  ";
  d.groupDepth = {2, 1, 0, 0, 0};
  d.groupSignals = {3, 2, 0, 0, 0};
  d.recordedBanks = {0, 2};
  return d;
}

std::string hex4(std::uint32_t value) {
  char text[8];
  std::snprintf(text, sizeof text, "%04X", value);
  return text;
}

TEST(RequestSteps, SixteenBitDriveGivesTheCsvSetOfEveryRecordedBank) {
  WindowRig rig(RunSetup{sixteenBitDrive(), "", {}});
  MainWindow& w = rig.start();
  ASSERT_EQ(w.lastOutcome(), RunOutcome::Completed) << rig.run().x().ErrorText;
  EXPECT_EQ(rig.run().SafePanelName, "LINE_1");
  EXPECT_EQ(w.controls.Label11.caption(), "DriveType = \"RX-Ardo\"");
  EXPECT_EQ(w.controls.Label10.caption(), " / 2 bank(s)");
  EXPECT_EQ(w.controls.shpScale.width(), w.controls.shpBox.width());
  EXPECT_GT(rig.exchange.countOf("MZ2"), 0u);
  EXPECT_EQ(rig.exchange.countOf("Mz"), 0u);
  const auto packed = rig.archivedFiles();
  for (const char* suffix : {"_Data.csv", "_FI.csv", "_Memo.csv", "_SampleParameters.csv", "_Title.csv", "_Word.csv"}) {
    EXPECT_EQ(packed.count(std::string("Trb0") + suffix), 1u) << suffix;
    EXPECT_EQ(packed.count(std::string("Trb2") + suffix), 1u) << suffix;
  }
  // 16-bit samples, every signal to the deepest group's 128 rows, CR LF.
  const drivesim::DriveProfile& drive = rig.drive();
  std::string first = "1";
  for (int signal = 1; signal <= 5; ++signal) first += "," + std::to_string(drive.sample16(2, signal, 1));
  const std::string& data = packed.at("Trb2_Data.csv");
  EXPECT_EQ(data.substr(0, data.find("\r\n")), first);
  EXPECT_EQ(std::count(data.begin(), data.end(), '\n'), 128);
  const std::string word = "1, ,&H" + hex4(drive.signalAddress16(0, 1)) + ", , , , , \r\n";
  EXPECT_EQ(packed.at("Trb0_Word.csv").substr(0, word.size()), word);
}

TEST(RequestSteps, WideVariantChosenFromTheInterfaceReply) {
  drivesim::DriveOptions drive = sixteenBitDrive();
  drive.interfaceLevel = 6;
  drive.interfaceMinor = 2;
  drive.driveType = "RX-Jarn";
  WindowRig rig(RunSetup{drive, "", {}});
  MainWindow& w = rig.start();
  ASSERT_EQ(w.lastOutcome(), RunOutcome::Completed) << rig.run().x().ErrorText;
  EXPECT_EQ(rig.exchange.countOf("mz10001"), 1u);
  EXPECT_GT(rig.exchange.countOf("mzx"), 0u);
  EXPECT_EQ(rig.exchange.countOf("MZ"), 0u);
  EXPECT_EQ(rig.exchange.countOf("Mz"), 0u);
}

TEST(RequestSteps, LayoutsThatCannotBeRequestedEndTheRunBeforeAnySample) {
  drivesim::DriveOptions deep = sixteenBitDrive();
  deep.interfaceLevel = 6;
  deep.interfaceMinor = 1;
  deep.driveType = "RX-Brin";
  deep.groupDepth = {60, 0, 0, 0, 0};  // 3840 samples: 257 "Mz2" blocks
  WindowRig rig(RunSetup{deep, "", {}});
  MainWindow& w = rig.start();
  EXPECT_EQ(w.lastOutcome(), RunOutcome::Failed);
  ASSERT_EQ(rig.messages.errors.size(), 1u);
  EXPECT_EQ(rig.exchange.countOf("Mz2"), 0u);
  EXPECT_EQ(w.controls.cmd_Cancel.caption(), "Reset");

  drivesim::DriveOptions wide = sixteenBitDrive();
  wide.groupSignals = {200, 56, 0, 0, 0};
  WindowRig again(RunSetup{wide, "", {}});
  EXPECT_EQ(again.start().lastOutcome(), RunOutcome::Failed);
  EXPECT_EQ(again.exchange.countOf("MX2"), 0u) << "no wrapped signal count reaches a request";
  EXPECT_EQ(again.exchange.countOf("MZ"), 0u);
}

TEST(RequestSteps, PanelNameCannotLeaveTheWorkingFolder) {
  drivesim::DriveOptions drive = sixteenBitDrive();
  drive.panelName = "../../../../etc";
  WindowRig rig(RunSetup{drive, "", {}});
  MainWindow& w = rig.start();
  ASSERT_EQ(w.lastOutcome(), RunOutcome::Completed) << rig.run().x().ErrorText;
  EXPECT_EQ(rig.run().SafePanelName, ".._.._.._.._etc");
  for (const auto& entry : fs::directory_iterator(rig.documents()))
    EXPECT_EQ(entry.path().filename(), "Quillon") << "nothing beside the program folder";
  EXPECT_EQ(rig.archivedFiles().count("Trb0_Data.csv"), 1u);
}

}  // namespace
