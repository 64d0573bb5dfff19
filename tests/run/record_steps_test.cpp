// The record, memory and status steps of the save run: each reads with its requests, then
// writes its files from whatever was read, so an abort in the middle still leaves the files of
// what came before; a file that cannot be written ends the run with its message.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "quillon/requests/memory_ranges.h"
#include "quillon/run/save_sequence.h"
#include "tests/run/run_rig.h"

using namespace quillon;
using quillon_test::RunRig;
using quillon_test::ScriptedExchange;
using quillon_test::ScriptedReply;
namespace fs = std::filesystem;

namespace {

// A run that has identified a drive of `level` and `type` with that panel name.
void identify(RunContext& run, int level, const std::string& type, const std::string& SafePanelName) {
  run.identity.InterfaceLevel = static_cast<std::int16_t>(level);
  run.identity.DriveType = type;
  run.memory.ranges = chooseMemoryRanges(level, type);
  run.SafePanelName = SafePanelName;
}

// Word at each address: the low half of the address, so every line shows where it came from.
ScriptedReply memoryBlock(const std::string& request) {
  const std::int64_t address = std::strtoll(request.substr(2, request.size() - 3).c_str(), nullptr, 16);
  ScriptedReply reply;
  reply.bytes = {0x06, 0x00};
  for (int k = 0; k < 30; ++k) {
    const auto word = static_cast<std::uint16_t>(address + 2 * k);
    reply.bytes.push_back(static_cast<std::uint8_t>(word >> 8));
    reply.bytes.push_back(static_cast<std::uint8_t>(word & 0xFF));
  }
  return reply;
}

}  // namespace

TEST(RecordSteps, AbortInTheMemoryReadWritesWhatWasRead) {
  RunRig rig;
  ScriptedExchange& exchange = rig.exchange;
  exchange.responder = [&](const std::string& request) {
    if (exchange.sent.size() == 2) return ScriptedReply::Abort("Cancelled");
    return memoryBlock(request);
  };
  identify(rig.run(), 3, "RX-Ardo", "Panel A  ");
  EXPECT_EQ(ReadSettingParameters(rig.run()), StepState::Failed);
  WriteSettingFiles(rig.run());

  EXPECT_EQ(exchange.sent, (std::vector<std::string>{"LP0000F", "LP003CF"}));
  const std::string text = quillon_test::FileText(rig.working() / "Set_Sram_Panel A.csv");
  std::string expected;
  for (int i = 1; i <= 3072; ++i) {
    const int word = i > 30 ? 0 : (i % 2 == 1 ? 2 * i : 2 * (i - 2));  // pairs swapped
    char address[16];
    std::snprintf(address, sizeof address, "%04X", 2 * (i - 1));
    expected += std::to_string(i) + ",0x" + address + "," + std::to_string(word) + ",\r\n";
  }
  EXPECT_EQ(text, expected);
  EXPECT_FALSE(fs::exists(rig.working() / "Evtlg_Panel A.csv"));
}

TEST(RecordSteps, TroubleFilesAfterAnAbortHoldWhatWasRead) {
  RunRig rig;
  ScriptedExchange& exchange = rig.exchange;
  rig.run().SafePanelName = "P";
  exchange.responder = [&](const std::string& request) {
    if (request == "MY30002") return ScriptedReply::Nak(3);
    std::vector<std::uint8_t> bytes(21, 0);
    bytes[6] = 8, bytes[8] = 15, bytes[10] = 2, bytes[12] = 3, bytes[14] = 12, bytes[16] = 14;
    bytes[18] = static_cast<std::uint8_t>(request.back() - '0' + 16);
    return ScriptedReply{{}, bytes, {}};
  };
  EXPECT_EQ(ReadTroubleRecords(rig.run()), StepState::Failed);
  EXPECT_EQ(exchange.sent, (std::vector<std::string>{"MY30000", "MY30001", "MY30002"}));

  std::string expectedTrouble = "1,2014/03/12 08:15:02,17,0\r\n";
  for (int r = 2; r <= 31; ++r) expectedTrouble += std::to_string(r) + ",// ::,0,0\r\n";
  EXPECT_EQ(quillon_test::FileText(rig.working() / "TroubleRecord_P.csv"), expectedTrouble);
  std::string expectedCounts;
  for (int e = 1; e <= 15; ++e) expectedCounts += std::to_string(e) + ",// ::,0\r\n";
  EXPECT_EQ(quillon_test::FileText(rig.working() / "EventCount_P.csv"), expectedCounts);
}

TEST(RecordSteps, DriveStatusFileBytesAndReplacement) {
  RunRig rig;
  ScriptedExchange& exchange = rig.exchange;
  rig.run().SafePanelName = "P";
  rig.run().identity.InterfaceVersionText = "V6.02\xC3\xA9";
  const fs::path file = rig.working() / "DriveSts_P.csv";
  fs::create_directories(file.parent_path());
  { std::ofstream(file) << "old content that is longer than nothing\n"; }
  fs::permissions(file, fs::perms::owner_read);

  exchange.replies.push_back(ScriptedReply{"A--08--0F--02--03--0C000E", {}, {}});
  exchange.replies.push_back(ScriptedReply{{}, {0x06, 0x00, 0x1A, 0x05, 0x00, 0x01}, {}});
  std::vector<std::uint8_t> codes(22, 0);
  codes[2] = 0xFF, codes[3] = 0xFF;
  exchange.replies.push_back(ScriptedReply{{}, codes, {}});
  EXPECT_EQ(ReadDriveStatus(rig.run()), StepState::Done) << exchange.state().ErrorText;

  std::string expected =
      "Quillon Ver, 2.1\r\nDrive Interface Ver, V6.02\xE9\r\nDrive Time, 2014/03/12 08:15:02\r\n"
      "SSEQ_OUT1, 1A05\r\nSSEQ_OUTuS, 0001\r\nPR_CODE00, -1\r\n";
  for (int k = 1; k <= 9; ++k) expected += "PR_CODE0" + std::to_string(k) + ", 0\r\n";
  EXPECT_EQ(quillon_test::FileText(file), expected);

  // A reply too short for its words ends the run naming the command, and the file still holds
  // what was read before it.
  RunRig cut;
  cut.run().SafePanelName = "P";
  cut.run().identity.InterfaceVersionText = "V6.02";
  cut.exchange.replies.push_back(ScriptedReply{"A--08--0F--02--03--0C000E", {}, {}});
  cut.exchange.replies.push_back(ScriptedReply{{}, {0x06, 0x00, 0x1A, 0x05}, {}});
  EXPECT_EQ(ReadDriveStatus(cut.run()), StepState::Failed);
  EXPECT_EQ(cut.exchange.state().ErrorText, "Malformed reply to \"ZS\": expected at least 6 bytes, got 4");
  EXPECT_EQ(cut.exchange.sent, (std::vector<std::string>{"J", "ZS"}));
  expected = "Quillon Ver, 2.1\r\nDrive Interface Ver, V6.02\r\nDrive Time, 2014/03/12 08:15:02\r\n"
             "SSEQ_OUT1, \r\nSSEQ_OUTuS, \r\n";
  for (int k = 0; k <= 9; ++k) expected += "PR_CODE0" + std::to_string(k) + ", 0\r\n";
  EXPECT_EQ(quillon_test::FileText(cut.working() / "DriveSts_P.csv"), expected);
}

TEST(RecordSteps, UnwritableFolderEndsTheRunWithAMessage) {
  RunRig rig;
  { std::ofstream(rig.working()) << "a file where the folder belongs"; }
  ScriptedExchange& exchange = rig.exchange;
  rig.run().SafePanelName = "P";
  exchange.state().AbortFlag = true;  // nothing is read, the file is still attempted
  exchange.state().ErrorText.clear();
  EXPECT_EQ(ReadDriveStatus(rig.run()), StepState::Failed);
  EXPECT_TRUE(exchange.sent.empty());
  EXPECT_FALSE(exchange.state().ErrorText.empty());

  RunRig other;
  identify(other.run(), 3, "", "x/../../y");
  EXPECT_EQ(WriteSettingFiles(other.run()), StepState::Failed);
  EXPECT_TRUE(other.exchange.state().AbortFlag);
  EXPECT_EQ(other.exchange.state().ErrorText,
            "The file name \"Set_Sram_x/../../y.csv\" does not name a file of the working folder");
}
