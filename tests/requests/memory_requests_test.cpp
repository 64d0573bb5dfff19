#include "quillon/requests/memory_requests.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "tests/requests/scripted_exchange.h"

using namespace quillon;
using quillon_test::ScriptedExchange;
using quillon_test::ScriptedReply;

namespace {

// The simulated memory: every address holds a word derived from it, negative ones included.
std::int16_t memoryWord(std::int64_t address) { return static_cast<std::int16_t>(address * 37 + 0x8001); }

std::int64_t requestAddress(const std::string& request) {
  return std::strtoll(request.substr(2, request.size() - 3).c_str(), nullptr, 16);
}

ScriptedReply memoryBlock(std::int64_t address, std::size_t length = 62) {
  ScriptedReply reply;
  reply.bytes = {0x06, 0x00};
  for (int k = 0; k < 30; ++k) {
    const auto word = static_cast<std::uint16_t>(memoryWord(address + 2 * k));
    reply.bytes.push_back(static_cast<std::uint8_t>(word >> 8));
    reply.bytes.push_back(static_cast<std::uint8_t>(word & 0xFF));
  }
  reply.bytes.resize(length);
  return reply;
}

void answerFromMemory(ScriptedExchange& exchange) {
  exchange.responder = [](const std::string& request) { return memoryBlock(requestAddress(request)); };
}

MemoryTables tablesFor(std::int32_t start, std::int32_t end) {
  MemoryTables tables;
  tables.ranges.SetpointStart = start;
  tables.ranges.SetpointEnd = end;
  resizeSetpointWords(tables);
  return tables;
}

// Word w of an area (from 1) lies at start + 2(w - 1) and is kept at w + 1 (odd w) or w - 1.
std::int16_t expectedAtIndex(std::int64_t start, std::int64_t index) {
  const std::int64_t word = index % 2 == 1 ? index + 1 : index - 1;
  return memoryWord(start + 2 * (word - 1));
}

}  // namespace

TEST(MemoryRequests, StartupAreaWith16BitAddresses) {
  ScriptedExchange exchange;
  answerFromMemory(exchange);
  MemoryTables tables = tablesFor(0, 3068);
  ASSERT_EQ(tables.SetpointWords.size(), 1538u);  // indexes 0 to 1537

  MemoryRequests(exchange, tables).ReadSetpointMemory16();

  ASSERT_EQ(exchange.sent.size(), 52u);
  EXPECT_EQ(exchange.sent.front(), "LP0000F");
  EXPECT_EQ(exchange.sent[1], "LP003CF");
  EXPECT_EQ(exchange.sent.back(), "LP0BF4F");
  for (ReplyForm form : exchange.forms) EXPECT_EQ(form, ReplyForm::Binary);
  EXPECT_FALSE(exchange.state().AbortFlag);
  EXPECT_EQ(tables.SetpointWords[0], 0);
  EXPECT_EQ(tables.SetpointWords[1], memoryWord(2));
  EXPECT_EQ(tables.SetpointWords[2], memoryWord(0));
  for (std::int64_t index = 1; index <= 1536; ++index)
    ASSERT_EQ(tables.SetpointWords[index], expectedAtIndex(0, index)) << index;
  // Block 51 holds words 1531 to 1536; the rest of its reply is not taken.
  EXPECT_EQ(tables.SetpointWords[1535], memoryWord(3070));
  EXPECT_EQ(tables.SetpointWords[1537], 0);
}

TEST(MemoryRequests, ArdoAreaAndTableSizes) {
  EXPECT_EQ(memoryWordTableSize(0, 6140), 3074u);                     // 0 to 3073
  EXPECT_EQ(memoryWordTableSize(0x24058C00, 0x24058FFE), 515u);       // 0 to 514
  EXPECT_EQ(memoryWordTableSize(0x4059000, 0x405FFFC), 14338u);       // 0 to 14337
  EXPECT_EQ(memoryWordTableSize(0, 3067), 1537u);                     // 1536.5 rounds half to even: 0 to 1536
  EXPECT_EQ(memoryWordTableSize(10, 0), 1u);                          // negative span: index 0 only

  ScriptedExchange exchange;
  answerFromMemory(exchange);
  MemoryTables tables = tablesFor(0, 6140);
  MemoryRequests(exchange, tables).ReadSetpointMemory16();
  EXPECT_EQ(exchange.sent.size(), 103u);  // 6144 bytes in 60-byte blocks
  EXPECT_EQ(exchange.sent.back(), "LP17E8F");
  EXPECT_EQ(tables.SetpointWords[3071], memoryWord(6142));
  EXPECT_EQ(tables.SetpointWords[3072], memoryWord(6140));
}

TEST(MemoryRequests, EventLogWith32BitAddresses) {
  ScriptedExchange exchange;
  answerFromMemory(exchange);
  MemoryTables tables;
  tables.ranges = chooseMemoryRanges(6, "RX-Fenn");
  tables.EventLogWords.assign(3, 99);  // replaced by the read's own fresh table

  MemoryRequests(exchange, tables).ReadEventLogMemory();

  ASSERT_EQ(tables.EventLogWords.size(), 515u);
  ASSERT_EQ(exchange.sent.size(), 18u);
  EXPECT_EQ(exchange.sent.front(), "Lp24058C00F");
  EXPECT_EQ(exchange.sent.back(), "Lp24058FFCF");
  EXPECT_EQ(tables.EventLogWords[0], 0);
  for (std::int64_t index = 1; index <= 512; ++index)
    ASSERT_EQ(tables.EventLogWords[index], expectedAtIndex(0x24058C00, index)) << index;
  // Word 513 (k = 3 of block 17) lands at index 514; index 513 would hold word 514, never read.
  EXPECT_EQ(tables.EventLogWords[514], memoryWord(0x24058C00 + 2 * 512));
  EXPECT_EQ(tables.EventLogWords[513], 0);
}

TEST(MemoryRequests, LargestSettingParameterArea) {
  ScriptedExchange exchange;
  answerFromMemory(exchange);
  MemoryTables tables;
  tables.ranges = chooseMemoryRanges(7, "  RX-Brin ");
  resizeSetpointWords(tables);
  MemoryRequests(exchange, tables).ReadSetpointMemory32();
  ASSERT_EQ(exchange.sent.size(), 478u);
  EXPECT_EQ(exchange.sent.front(), "Lp04059000F");
  EXPECT_EQ(exchange.sent.back(), "Lp0405FFCCF");
  EXPECT_EQ(tables.SetpointWords[14335], memoryWord(0x405FFFE));
  EXPECT_EQ(tables.SetpointWords[14336], memoryWord(0x405FFFC));
  EXPECT_EQ(tables.SetpointWords[14337], 0);
}

TEST(MemoryRequests, AbortInTheMiddleKeepsWhatWasRead) {
  ScriptedExchange exchange;
  exchange.responder = [&](const std::string& request) {
    if (exchange.sent.size() == 11) return ScriptedReply{{}, {}, std::string("Timeout")};
    return memoryBlock(requestAddress(request));
  };
  MemoryTables tables = tablesFor(0, 3068);
  MemoryRequests(exchange, tables).ReadSetpointMemory16();

  EXPECT_EQ(exchange.sent.size(), 11u);  // nothing after the abort
  EXPECT_TRUE(exchange.state().AbortFlag);
  EXPECT_EQ(exchange.state().ErrorText, "Timeout");
  for (std::int64_t index = 1; index <= 300; ++index)
    ASSERT_EQ(tables.SetpointWords[index], expectedAtIndex(0, index)) << index;
  for (std::int64_t index = 301; index < 1538; ++index) ASSERT_EQ(tables.SetpointWords[index], 0) << index;

  // A later read of the same run sends nothing and changes nothing.
  const auto before = tables.SetpointWords;
  MemoryRequests(exchange, tables).ReadSetpointMemory32();
  EXPECT_EQ(exchange.sent.size(), 11u);
  EXPECT_EQ(tables.SetpointWords, before);
}

TEST(MemoryRequests, ShortRepliesEndTheRunWithoutReadingPastThem) {
  {  // a full block with 40 bytes: nothing of that block is stored, the run ends
    ScriptedExchange exchange;
    exchange.responder = [&](const std::string& request) {
      return memoryBlock(requestAddress(request), exchange.sent.size() == 3 ? 40 : 62);
    };
    MemoryTables tables = tablesFor(0, 3068);
    MemoryRequests(exchange, tables).ReadSetpointMemory16();
    EXPECT_EQ(exchange.sent.size(), 3u);
    EXPECT_TRUE(exchange.state().AbortFlag);
    EXPECT_EQ(exchange.state().ErrorText, "Malformed reply to \"LP0078F\": expected at least 42 bytes, got 40");
    EXPECT_EQ(tables.SetpointWords[60], expectedAtIndex(0, 60));
    EXPECT_EQ(tables.SetpointWords[61], 0);
    EXPECT_EQ(tables.SetpointWords[62], 0);
  }
  {  // the last block needs only the bytes of the words the area still has
    ScriptedExchange exchange;
    exchange.responder = [&](const std::string& request) {
      const std::int64_t address = requestAddress(request);
      return memoryBlock(address, address == 3060 ? 14 : 62);
    };
    MemoryTables tables = tablesFor(0, 3068);
    MemoryRequests(exchange, tables).ReadSetpointMemory16();
    EXPECT_FALSE(exchange.state().AbortFlag);
    EXPECT_EQ(tables.SetpointWords[1536], memoryWord(3068));
  }
  {  // a status byte alone
    ScriptedExchange exchange;
    exchange.replies.push_back({{}, {0x06}, {}});
    MemoryTables tables = tablesFor(0, 3068);
    MemoryRequests(exchange, tables).ReadSetpointMemory16();
    EXPECT_TRUE(exchange.state().AbortFlag);
    EXPECT_EQ(exchange.sent.size(), 1u);
  }
}

TEST(MemoryRequests, AreasOutsideWhatTheRequestCanName) {
  {  // "LP" has four hex digits: an area above 0xFFFF is refused before anything is sent
    ScriptedExchange exchange;
    answerFromMemory(exchange);
    MemoryTables tables = tablesFor(0x4059000, 0x405FFFC);
    MemoryRequests(exchange, tables).ReadSetpointMemory16();
    EXPECT_TRUE(exchange.sent.empty());
    EXPECT_TRUE(exchange.state().AbortFlag);
    EXPECT_EQ(exchange.state().ErrorText, "The setting parameter address 4059000 cannot be requested with \"LP\"");
  }
  {  // an area ending below its start is not read at all
    ScriptedExchange exchange;
    answerFromMemory(exchange);
    MemoryTables tables = tablesFor(100, 90);
    MemoryRequests(exchange, tables).ReadSetpointMemory32();
    EXPECT_TRUE(exchange.sent.empty());
    EXPECT_FALSE(exchange.state().AbortFlag);
  }
  {  // an area at the very top of the 32-bit address space ends without overflow
    ScriptedExchange exchange;
    answerFromMemory(exchange);
    MemoryTables tables = tablesFor(0x7FFFFF80, 0x7FFFFFFB);
    MemoryRequests(exchange, tables).ReadSetpointMemory32();
    ASSERT_EQ(exchange.sent.size(), 3u);
    EXPECT_EQ(exchange.sent.back(), "Lp7FFFFFF8F");
  }
}

TEST(MemoryRanges, ChosenByDriveTypeAndInterfaceLevel) {
  auto expectRange = [](const MemoryRanges& r, std::int32_t start, std::int32_t end) {
    EXPECT_EQ(r.SetpointStart, start);
    EXPECT_EQ(r.SetpointEnd, end);
  };
  expectRange(chooseMemoryRanges(5, "RX-Ardo"), 0, 6140);
  expectRange(chooseMemoryRanges(5, "  RX-Ardo  "), 0, 6140);
  expectRange(chooseMemoryRanges(5, "RX-Ardo2"), 0, 3068);
  expectRange(chooseMemoryRanges(3, "RX-Brin"), 0, 3068);
  for (const char* type : {"RX-Brin", "RX-Cosk", "RX-Mott", "RX-Dulm"})
    expectRange(chooseMemoryRanges(6, type), 0x4059000, 0x405FFFC);
  expectRange(chooseMemoryRanges(6, "RX-Efta "), 0x4009000, 0x400CFFC);
  expectRange(chooseMemoryRanges(9, "RX-Fenn"), 0x24059000, 0x2405CFFC);
  expectRange(chooseMemoryRanges(6, "RX-Ardo"), 0x24059000, 0x2405CFFC);
  const MemoryRanges level6 = chooseMemoryRanges(6, "RX-Efta");
  EXPECT_EQ(level6.EventLogStart, 0x24058C00);
  EXPECT_EQ(level6.EventLogEnd, 0x24058FFE);

  EXPECT_TRUE(driveHasEventLog(6, " RX-Kelp"));
  EXPECT_TRUE(driveHasEventLog(7, "RX-Gorv"));
  EXPECT_TRUE(driveHasEventLog(6, "RX-Fenn"));
  EXPECT_FALSE(driveHasEventLog(5, "RX-Fenn"));
  EXPECT_FALSE(driveHasEventLog(6, "RX-Brin"));
  EXPECT_FALSE(driveHasEventLog(6, "RX-Fenny"));
}
