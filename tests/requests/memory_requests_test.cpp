#include "quillon/requests/memory_requests.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "tests/requests/scripted_exchange.h"

using namespace quillon;
using quillon_test::ScriptedExchange;
using Reply = quillon_test::ScriptedReply;

namespace {

// The simulated memory: every address holds a word derived from it, negative ones included.
std::int16_t memoryWord(std::int64_t address) { return static_cast<std::int16_t>(address * 37 + 0x8001); }

std::int64_t requestAddress(const std::string& request) {
  return std::strtoll(request.substr(2, request.size() - 3).c_str(), nullptr, 16);
}

Reply memoryBlock(std::int64_t address, std::size_t length = 62) {
  quillon_test::Bytes bytes{0x06, 0x00};
  for (int k = 0; k < 30; ++k) quillon_test::PushBig(bytes, static_cast<std::uint16_t>(memoryWord(address + 2 * k)), 2);
  bytes.resize(length);
  return Reply::Bytes(bytes);
}

// Answers every request with its full block, or with `length(request number, address)` bytes of it.
void answerFromMemory(ScriptedExchange& exchange,
                      std::function<std::size_t(std::size_t, std::int64_t)> length = nullptr) {
  exchange.responder = [&exchange, length](const std::string& request) {
    const std::int64_t address = requestAddress(request);
    return memoryBlock(address, length ? length(exchange.sent.size(), address) : 62);
  };
}

MemoryTables tablesFor(std::int32_t start, std::int32_t end) {
  MemoryTables tables;
  tables.ranges.SetpointStart = start;
  tables.ranges.SetpointEnd = end;
  resizeSetpointWords(tables);
  return tables;
}

// Word w of an area (from 1) lies at start + 2(w - 1) and is kept at w + 1 (odd w) or w - 1;
// index 0, and an odd last index whose word lies past the area, stay 0. `readWords`: the
// words that arrived.
void expectWords(const std::vector<std::int16_t>& table, std::int64_t start, std::int64_t readWords) {
  ASSERT_FALSE(table.empty());
  EXPECT_EQ(table[0], 0);
  for (std::size_t index = 1; index < table.size(); ++index) {
    const auto word = static_cast<std::int64_t>(index % 2 == 1 ? index + 1 : index - 1);
    ASSERT_EQ(table[index], word <= readWords ? memoryWord(start + 2 * (word - 1)) : 0) << index;
  }
}

}  // namespace

TEST(MemoryRequests, EachAreaArrivesWordForWordInBlocksOfSixtyBytes) {
  struct Case {
    std::int32_t start, end;
    int width;  // of the request's address; 0: the event log
    std::size_t sends, tableSize;
    const char *first, *last;
  };
  const MemoryRanges level6 = chooseMemoryRanges(6, "RX-Fenn");
  // The startup area: block 51 holds words 1531 to 1536, the rest of its reply is not taken.
  for (const Case& c : {Case{0, 3068, 16, 52, 1538, "LP0000F", "LP0BF4F"},
                        Case{0, 6140, 16, 103, 3074, "LP0000F", "LP17E8F"},  // 6144 bytes
                        Case{0x4059000, 0x405FFFC, 32, 478, 14338, "Lp04059000F", "Lp0405FFCCF"},
                        Case{level6.EventLogStart, level6.EventLogEnd, 0, 18, 515, "Lp24058C00F", "Lp24058FFCF"}}) {
    SCOPED_TRACE(c.first + std::string("..") + c.last);
    ScriptedExchange exchange;
    answerFromMemory(exchange);
    MemoryTables tables = tablesFor(c.start, c.end);
    if (c.width == 0) tables.ranges = level6;
    tables.EventLogWords.assign(3, 99);  // the event log read makes its own fresh table
    MemoryRequests requests(exchange, tables);
    if (c.width == 16) requests.ReadSetpointMemory16();
    else if (c.width == 32) requests.ReadSetpointMemory32();
    else requests.ReadEventLogMemory();
    EXPECT_FALSE(exchange.state().AbortFlag);
    ASSERT_EQ(exchange.sent.size(), c.sends);
    EXPECT_EQ(exchange.sent.front(), c.first);
    EXPECT_EQ(exchange.sent.back(), c.last);
    for (ReplyForm form : exchange.forms) EXPECT_EQ(form, ReplyForm::Binary);
    const auto& words = c.width ? tables.SetpointWords : tables.EventLogWords;
    ASSERT_EQ(words.size(), c.tableSize);
    expectWords(words, c.start, (std::int64_t{c.end} + 4 - c.start) / 2);
  }

  EXPECT_EQ(memoryWordTableSize(0, 3067), 1537u);  // 1536.5 rounds half to even: 0 to 1536
  EXPECT_EQ(memoryWordTableSize(10, 0), 1u);       // negative span: index 0 only
}

TEST(MemoryRequests, AbortOrShortReplyKeepsWhatWasReadAndEndsTheRun) {
  ScriptedExchange exchange;
  answerFromMemory(exchange);
  auto answer = exchange.responder;
  exchange.responder = [&](const std::string& request) {
    return exchange.sent.size() == 11 ? Reply::Abort("Timeout") : answer(request);
  };
  MemoryTables tables = tablesFor(0, 3068);
  MemoryRequests(exchange, tables).ReadSetpointMemory16();
  EXPECT_EQ(exchange.sent.size(), 11u);  // nothing after the abort
  EXPECT_TRUE(exchange.state().AbortFlag);
  EXPECT_EQ(exchange.state().ErrorText, "Timeout");
  expectWords(tables.SetpointWords, 0, 300);
  // A later read of the same run sends nothing and changes nothing.
  const auto before = tables.SetpointWords;
  MemoryRequests(exchange, tables).ReadSetpointMemory32();
  EXPECT_EQ(exchange.sent.size(), 11u);
  EXPECT_EQ(tables.SetpointWords, before);

  // A full block with 40 bytes: nothing of that block is stored, the run ends.
  ScriptedExchange cut;
  answerFromMemory(cut, [](std::size_t request, std::int64_t) { return request == 3 ? 40u : 62u; });
  tables = tablesFor(0, 3068);
  MemoryRequests(cut, tables).ReadSetpointMemory16();
  EXPECT_EQ(cut.sent.size(), 3u);
  EXPECT_EQ(cut.state().ErrorText, "Malformed reply to \"LP0078F\": expected at least 42 bytes, got 40");
  expectWords(tables.SetpointWords, 0, 60);

  // The last block needs only the bytes of the words the area still has.
  ScriptedExchange last;
  answerFromMemory(last, [](std::size_t, std::int64_t address) { return address == 3060 ? 14u : 62u; });
  tables = tablesFor(0, 3068);
  MemoryRequests(last, tables).ReadSetpointMemory16();
  EXPECT_FALSE(last.state().AbortFlag);
  EXPECT_EQ(tables.SetpointWords[1536], memoryWord(3068));

  // A status byte alone.
  ScriptedExchange bare;
  bare.replies.push_back(Reply::Bytes({0x06}));
  MemoryRequests(bare, tables).ReadSetpointMemory16();
  EXPECT_TRUE(bare.state().AbortFlag);
  EXPECT_EQ(bare.sent.size(), 1u);
}

TEST(MemoryRequests, AreasOutsideWhatTheRequestCanName) {
  struct Case {
    std::int32_t start, end;
    bool wide;
    std::size_t sends;
    const char* error;
  };
  // "LP" has four hex digits: an area above 0xFFFF is refused before anything is sent. An area
  // ending below its start is not read at all; one at the very top of the 32-bit address
  // space ends without overflow.
  for (const Case& c : {Case{0x4059000, 0x405FFFC, false, 0, "The setting parameter address 4059000 cannot be requested with \"LP\""},
                        Case{100, 90, true, 0, ""}, Case{0x7FFFFF80, 0x7FFFFFFB, true, 3, ""}}) {
    ScriptedExchange exchange;
    answerFromMemory(exchange);
    MemoryTables tables = tablesFor(c.start, c.end);
    if (c.wide) MemoryRequests(exchange, tables).ReadSetpointMemory32();
    else MemoryRequests(exchange, tables).ReadSetpointMemory16();
    EXPECT_EQ(exchange.sent.size(), c.sends) << c.start;
    EXPECT_EQ(exchange.state().ErrorText, c.error);
    EXPECT_EQ(exchange.state().AbortFlag, *c.error != 0);
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
  for (const char* type : {"RX-Brin", "RX-Cosk", "RX-Mott", "RX-Dulm", "  RX-Brin "})
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
