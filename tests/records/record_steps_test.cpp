#include "quillon/output/record_steps.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/records/scripted_exchange.h"

using namespace quillon;
using records_test::ScriptedExchange;
using records_test::ScriptedReply;
namespace fs = std::filesystem;

namespace {

class TempAppFolder {
 public:
  TempAppFolder() {
    std::string pattern = (fs::temp_directory_path() / "records-test-XXXXXX").string();
    path = mkdtemp(pattern.data());
  }
  ~TempAppFolder() {
    std::error_code ignored;
    fs::remove_all(path, ignored);
  }
  fs::path path;
};

std::string fileBytes(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
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
  TempAppFolder app;
  const SaveFileNames names{app.path, "Panel A  "};
  ScriptedExchange exchange;
  exchange.responder = [&](const std::string& request) {
    if (exchange.sent.size() == 2) return ScriptedReply{{}, {}, std::string("Cancelled")};
    return memoryBlock(request);
  };
  MemoryTables tables;
  tables.ranges = chooseMemoryRanges(3, "RX-Ardo");
  resizeSetpointWords(tables);
  ReadSetpointMemoryFor(exchange, tables, 3);
  WriteSetpointAndEventLogFiles(exchange, tables, names, 3, "RX-Ardo");

  EXPECT_EQ(exchange.sent, (std::vector<std::string>{"LP0000F", "LP003CF"}));
  const std::string text = fileBytes(app.path / "TRBSAVE" / "Set_Sram_Panel A.csv");
  std::string expected;
  for (int i = 1; i <= 3072; ++i) {
    const int word = i > 30 ? 0 : (i % 2 == 1 ? 2 * i : 2 * (i - 2));  // pairs swapped
    char address[16];
    std::snprintf(address, sizeof address, "%04X", 2 * (i - 1));
    expected += std::to_string(i) + ",0x" + address + "," + std::to_string(word) + ",\r\n";
  }
  EXPECT_EQ(text, expected);
  EXPECT_FALSE(fs::exists(app.path / "TRBSAVE" / "Evtlg_Panel A.csv"));
}

TEST(RecordSteps, TroubleFilesAfterAnAbortHoldWhatWasRead) {
  TempAppFolder app;
  const SaveFileNames names{app.path, "P"};
  ScriptedExchange exchange;
  exchange.responder = [&](const std::string& request) {
    if (request == "MY30002") return ScriptedReply{{}, {}, std::string("NAK")};
    std::vector<std::uint8_t> bytes(21, 0);
    bytes[6] = 8, bytes[8] = 15, bytes[10] = 2, bytes[12] = 3, bytes[14] = 12, bytes[16] = 14;
    bytes[18] = static_cast<std::uint8_t>(request.back() - '0' + 16);
    return ScriptedReply{{}, bytes, {}};
  };
  TroubleTables tables;
  ReadTroubleRecordsAndWriteFiles(exchange, tables, names);
  EXPECT_EQ(exchange.sent, (std::vector<std::string>{"MY30000", "MY30001", "MY30002"}));

  std::string expectedTrouble = "1,2014/03/12 08:15:02,17,0\r\n";
  for (int r = 2; r <= 31; ++r) expectedTrouble += std::to_string(r) + ",// ::,0,0\r\n";
  EXPECT_EQ(fileBytes(app.path / "TRBSAVE" / "TroubleRecord_P.csv"), expectedTrouble);
  std::string expectedCounts;
  for (int e = 1; e <= 15; ++e) expectedCounts += std::to_string(e) + ",// ::,0\r\n";
  EXPECT_EQ(fileBytes(app.path / "TRBSAVE" / "EventCount_P.csv"), expectedCounts);
}

TEST(RecordSteps, DriveStatusFileBytesAndReplacement) {
  TempAppFolder app;
  const SaveFileNames names{app.path, "P"};
  const fs::path file = app.path / "TRBSAVE" / "DriveSts_P.csv";
  fs::create_directories(file.parent_path());
  { std::ofstream(file) << "old content that is longer than nothing\n"; }
  fs::permissions(file, fs::perms::owner_read);

  ScriptedExchange exchange;
  exchange.replies.push_back(ScriptedReply{"A--08--0F--02--03--0C000E", {}, {}});
  exchange.replies.push_back(ScriptedReply{{}, {0x06, 0x00, 0x1A, 0x05, 0x00, 0x01}, {}});
  std::vector<std::uint8_t> codes(22, 0);
  codes[2] = 0xFF, codes[3] = 0xFF;
  exchange.replies.push_back(ScriptedReply{{}, codes, {}});
  DriveStatusTable table;
  ReadDriveStatusAndWriteFile(exchange, table, names, "V6.02\xC3\xA9", ProgramVersion{1, 4});
  EXPECT_FALSE(exchange.state().AbortFlag) << exchange.state().ErrorText;

  std::string expected =
      "Quillon Ver, 1.4\r\nDrive Interface Ver, V6.02\xE9\r\nDrive Time, 2014/03/12 08:15:02\r\n"
      "SSEQ_OUT1, 1A05\r\nSSEQ_OUTuS, 0001\r\nPR_CODE00, -1\r\n";
  for (int k = 1; k <= 9; ++k) expected += "PR_CODE0" + std::to_string(k) + ", 0\r\n";
  EXPECT_EQ(fileBytes(file), expected);

  // A reply too short for its words ends the run naming the command, and the file still holds
  // what was read before it.
  ScriptedExchange cut;
  cut.replies.push_back(ScriptedReply{"A--08--0F--02--03--0C000E", {}, {}});
  cut.replies.push_back(ScriptedReply{{}, {0x06, 0x00, 0x1A, 0x05}, {}});
  DriveStatusTable cutTable;
  ReadDriveStatusAndWriteFile(cut, cutTable, names, "V6.02", ProgramVersion{1, 4});
  EXPECT_EQ(cut.state().ErrorText, "Malformed reply to \"ZS\": expected at least 6 bytes, got 4");
  EXPECT_EQ(cut.sent, (std::vector<std::string>{"J", "ZS"}));
  expected = "Quillon Ver, 1.4\r\nDrive Interface Ver, V6.02\r\nDrive Time, 2014/03/12 08:15:02\r\n"
             "SSEQ_OUT1, \r\nSSEQ_OUTuS, \r\n";
  for (int k = 0; k <= 9; ++k) expected += "PR_CODE0" + std::to_string(k) + ", 0\r\n";
  EXPECT_EQ(fileBytes(file), expected);
}

TEST(RecordSteps, UnwritableFolderEndsTheRunWithAMessage) {
  TempAppFolder app;
  { std::ofstream(app.path / "TRBSAVE") << "a file where the folder belongs"; }
  ScriptedExchange exchange;
  DriveStatusTable table;
  exchange.state().AbortFlag = true;  // nothing is read, the file is still attempted
  exchange.state().ErrorText.clear();
  ReadDriveStatusAndWriteFile(exchange, table, SaveFileNames{app.path, "P"}, "", ProgramVersion{});
  EXPECT_TRUE(exchange.sent.empty());
  EXPECT_FALSE(exchange.state().ErrorText.empty());

  ScriptedExchange other;
  MemoryTables memory;
  WriteSetpointAndEventLogFiles(other, memory, SaveFileNames{app.path, "x/../../y"}, 3, "");
  EXPECT_TRUE(other.state().AbortFlag);
  EXPECT_EQ(other.state().ErrorText, "The file name \"Set_Sram_x/../../y.csv\" does not name a file of the working folder");
}
