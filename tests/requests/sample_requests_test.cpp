#include <gtest/gtest.h>

#include <cstdlib>

#include "quillon/requests/trace_back_requests.h"
#include "tests/requests/scripted_exchange.h"

using namespace quillon;
using quillon_test::ScriptedExchange;
using quillon_test::ScriptedReply;

namespace {

// The simulated samples, negative ones included.
std::int16_t sample16(int signal, int index) { return static_cast<std::int16_t>(0x7F00 + signal * 300 + index); }
std::int32_t sample32(int signal, int index) { return static_cast<std::int32_t>(0xFFFF0000u + signal * 1000 + index); }

int hexField(const std::string& request, int at) { return static_cast<int>(std::strtol(request.substr(at, 2).c_str(), nullptr, 16)); }

// Answers every request with a full block: samples (block - 1) * n + 1 onward.
void answerSamples(ScriptedExchange& exchange, int perBlock, int width) {
  exchange.responder = [perBlock, width](const std::string& request) {
    const int signal = hexField(request, 5);
    const int block = hexField(request, 7);
    ScriptedReply reply;
    reply.bytes.push_back(0x06);
    for (int k = 1; k <= perBlock; ++k) {
      const int index = (block - 1) * perBlock + k;
      const auto value = width == 2 ? static_cast<std::uint32_t>(static_cast<std::uint16_t>(sample16(signal, index)))
                                    : static_cast<std::uint32_t>(sample32(signal, index));
      for (int byte = width - 1; byte >= 0; --byte) reply.bytes.push_back(static_cast<std::uint8_t>(value >> (8 * byte)));
    }
    return reply;
  };
}

struct Bar {
  ProgressBar step;
  int scale = 0;
  Bar() {
    step.setListener([this](int width) { scale = width; });
  }
};

// Groups 1-5: depth (units of 64) and signals.
TraceBackTables layout(std::array<int, 5> depth, std::array<int, 5> signals, int level) {
  TraceBackTables tables;
  for (int g = 1; g <= 5; ++g) {
    tables.GroupDepth[g - 1] = static_cast<std::uint8_t>(depth[g - 1]);
    tables.GroupSignals[g] = static_cast<std::uint8_t>(signals[g - 1]);
    tables.MaxGroupDepth = std::max<std::uint8_t>(tables.MaxGroupDepth, tables.GroupDepth[g - 1]);
    tables.SignalsPerBank = static_cast<std::uint8_t>(tables.SignalsPerBank + signals[g - 1]);
  }
  tables.resizeBankTables(level);
  return tables;
}

}  // namespace

TEST(SampleRequests, Narrow16ReadsEverySignalToTheDeepestDepth) {
  ScriptedExchange exchange;
  Bar bar;
  TraceBackTables tables = layout({1, 0, 0, 0, 0}, {1, 4, 0, 0, 0}, 4);
  answerSamples(exchange, 31, 2);
  std::uint8_t bank = 2;
  SampleRequests(exchange, tables, bar.step).ReadBankSamples16(bank, 1);
  ASSERT_EQ(exchange.sent.size(), 15u);  // 5 signals, D = 64, 3 blocks each
  EXPECT_EQ(exchange.sent[0], "MZ2020101");
  EXPECT_EQ(exchange.sent[2], "MZ2020103");
  EXPECT_EQ(exchange.sent[14], "MZ2020503");
  for (ReplyForm form : exchange.forms) EXPECT_EQ(form, ReplyForm::Binary);
  for (int s = 1; s <= 5; ++s)
    for (int i = 1; i <= 64; ++i) ASSERT_EQ(tables.SampleData16.at(s, i), sample16(s, i)) << s << "," << i;
  EXPECT_LT(sample16(5, 64), 0);  // values past 0x7FFF arrive negative
  EXPECT_EQ(tables.SampleData16.at(0, 1), 0);
  EXPECT_EQ(tables.SampleData16.at(1, 0), 0);
  EXPECT_EQ(bar.scale, 360);
  EXPECT_EQ(tables.SampleData32.bytes(), 0u);  // only the table in use is held
}

TEST(SampleRequests, Narrow16FfffIsMinusOneAndTheLastBlockNeedNotBeFull) {
  ScriptedExchange exchange;
  Bar bar;
  TraceBackTables tables = layout({1, 0, 0, 0, 0}, {1, 0, 0, 0, 0}, 4);
  std::vector<std::uint8_t> full(63, 0xFF);
  full[0] = 0x06;
  // Block 3 holds samples 63 and 64; a reply with just those is enough.
  exchange.replies = {{{}, full, {}}, {{}, full, {}}, {{}, {0x06, 0x00, 0x01, 0x80, 0x00}, {}}};
  std::uint8_t bank = 0;
  SampleRequests(exchange, tables, bar.step).ReadBankSamples16(bank, 1);
  EXPECT_FALSE(exchange.state().AbortFlag) << exchange.state().ErrorText;
  EXPECT_EQ(tables.SampleData16.at(1, 1), -1);
  EXPECT_EQ(tables.SampleData16.at(1, 62), -1);
  EXPECT_EQ(tables.SampleData16.at(1, 63), 1);
  EXPECT_EQ(tables.SampleData16.at(1, 64), -32768);
}

TEST(SampleRequests, Block32DepthPerGroupAndTheWhollySurplusBlock) {
  ScriptedExchange exchange;
  Bar bar;
  TraceBackTables tables = layout({15, 0, 2, 0, 0}, {1, 1, 1, 0, 0}, 6);
  answerSamples(exchange, 15, 4);
  std::uint8_t bank = 0;
  SampleRequests(exchange, tables, bar.step).ReadBankSamples32(bank, 1);
  // Signal 1: D = 960, 65 blocks (the last stores nothing); signal 2 (depth 0): one block;
  // signal 3: D = 128, 9 blocks.
  ASSERT_EQ(exchange.sent.size(), 65u + 1u + 9u);
  EXPECT_EQ(exchange.sent[64], "Mz2000141");
  EXPECT_EQ(exchange.sent[65], "Mz2000201");
  EXPECT_EQ(exchange.sent[66], "Mz2000301");
  EXPECT_EQ(tables.SampleData32.at(1, 960), sample32(1, 960));
  EXPECT_EQ(tables.SampleData32.at(1, 1), sample32(1, 1));
  EXPECT_EQ(tables.SampleData32.at(2, 1), 0);  // a group of depth 0 stores nothing
  EXPECT_EQ(tables.SampleData32.at(3, 128), sample32(3, 128));
  EXPECT_EQ(tables.SampleData32.at(3, 129), 0);  // beyond the signal's own depth
  EXPECT_EQ(bar.scale, 240);  // the depth-0 signal stores no sample, so takes no step
}

TEST(SampleRequests, Wide32SixtyOnePerBlock) {
  ScriptedExchange exchange;
  Bar bar;
  TraceBackTables tables = layout({2, 1, 0, 0, 0}, {1, 2, 0, 0, 0}, 6);
  answerSamples(exchange, 61, 4);
  std::uint8_t bank = 7;
  SampleRequests(exchange, tables, bar.step).ReadBankSamples32Wide(bank, 2);
  ASSERT_EQ(exchange.sent.size(), 3u + 2u + 2u);
  EXPECT_EQ(exchange.sent[0], "mzx070101");
  EXPECT_EQ(exchange.sent[3], "mzx070201");
  EXPECT_EQ(tables.SampleData32.at(1, 128), sample32(1, 128));
  EXPECT_EQ(tables.SampleData32.at(2, 64), sample32(2, 64));
  EXPECT_EQ(tables.SampleData32.at(2, 65), 0);
  EXPECT_EQ(bar.scale, 180);  // one of two valid banks
}

TEST(SampleRequests, LayoutsBeyondTwoDigitBlockNumbersSendNothing) {
  struct Case {
    int depth;
    int level;
    bool wide;
    bool refused;
  };
  // "MZ2": depth 123 needs 254 blocks, 124 needs 257. "Mz2": 59 needs 252, 60 needs 257.
  // "mzx": 243 needs 255, 244 needs 257.
  for (const Case c : {Case{123, 4, false, false}, Case{124, 4, false, true}, Case{59, 6, false, false},
                       Case{60, 6, false, true}, Case{243, 6, true, false}, Case{244, 6, true, true}}) {
    ScriptedExchange exchange;
    Bar bar;
    TraceBackTables tables = layout({1, c.depth, 0, 0, 0}, {1, 1, 0, 0, 0}, c.level);
    const int perBlock = c.level < 6 ? 31 : c.wide ? 61 : 15;
    answerSamples(exchange, perBlock, c.level < 6 ? 2 : 4);
    std::uint8_t bank = 0;
    SampleRequests requests(exchange, tables, bar.step);
    if (c.level < 6) requests.ReadBankSamples16(bank, 1);
    else if (c.wide) requests.ReadBankSamples32Wide(bank, 1);
    else requests.ReadBankSamples32(bank, 1);
    EXPECT_EQ(exchange.state().AbortFlag, c.refused) << c.depth;
    if (c.refused) {
      EXPECT_TRUE(exchange.sent.empty());
      EXPECT_NE(exchange.state().ErrorText.find("257"), std::string::npos) << exchange.state().ErrorText;
    } else {
      EXPECT_EQ(hexField(exchange.sent.back(), 7), c.depth * 64 / perBlock + 1) << c.depth;
    }
  }
  // A depth-0 group with many signals is no problem: one block each.
  ScriptedExchange exchange;
  Bar bar;
  TraceBackTables tables = layout({0, 255, 0, 0, 0}, {3, 0, 0, 0, 0}, 6);
  answerSamples(exchange, 15, 4);
  std::uint8_t bank = 0;
  SampleRequests(exchange, tables, bar.step).ReadBankSamples32(bank, 1);
  EXPECT_FALSE(exchange.state().AbortFlag);
  EXPECT_EQ(exchange.sent.size(), 3u);
}

TEST(SampleRequests, AbortMidDownloadKeepsWhatArrivedAndSendsNoMore) {
  ScriptedExchange exchange;
  Bar bar;
  TraceBackTables tables = layout({1, 0, 0, 0, 0}, {2, 0, 0, 0, 0}, 6);
  answerSamples(exchange, 15, 4);
  int calls = 0;
  auto answer = exchange.responder;
  exchange.responder = [&](const std::string& request) {
    if (++calls == 3) return ScriptedReply{{}, {}, std::string("Timeout")};
    return answer(request);
  };
  std::uint8_t bank = 0;
  SampleRequests requests(exchange, tables, bar.step);
  requests.ReadBankSamples32(bank, 1);
  EXPECT_EQ(exchange.sent.size(), 3u);
  EXPECT_EQ(exchange.state().ErrorText, "Timeout");
  EXPECT_EQ(tables.SampleData32.at(1, 30), sample32(1, 30));
  EXPECT_EQ(tables.SampleData32.at(1, 31), 0);
  requests.ReadBankSamples32(bank, 1);
  EXPECT_EQ(exchange.sent.size(), 3u);

  // A short reply: nothing of that block is stored.
  ScriptedExchange shortReply;
  shortReply.replies = {{{}, std::vector<std::uint8_t>(60, 0x01), {}}};
  TraceBackTables other = layout({1, 0, 0, 0, 0}, {1, 0, 0, 0, 0}, 6);
  SampleRequests(shortReply, other, bar.step).ReadBankSamples32(bank, 1);
  EXPECT_TRUE(shortReply.state().AbortFlag);
  EXPECT_EQ(shortReply.state().ErrorText, "Malformed reply to \"Mz2000101\": expected at least 61 bytes, got 60");
  EXPECT_EQ(other.SampleData32.at(1, 1), 0);

  // A table sized for 16-bit samples is not written as 32-bit.
  ScriptedExchange unprepared;
  TraceBackTables narrow = layout({1, 0, 0, 0, 0}, {1, 0, 0, 0, 0}, 4);
  SampleRequests(unprepared, narrow, bar.step).ReadBankSamples32(bank, 1);
  EXPECT_TRUE(unprepared.state().AbortFlag);
  EXPECT_TRUE(unprepared.sent.empty());
}

TEST(SampleRequests, ProgressMovesWholePixelsRoundedHalfToEven) {
  ProgressBar step;
  step.advance(0.5);
  EXPECT_EQ(step.scaleWidth(), 0);  // 0.5 rounds to 0
  step.advance(1.0);
  EXPECT_EQ(step.scaleWidth(), 2);  // 1.5 rounds to 2
  EXPECT_DOUBLE_EQ(step.accumulator(), -0.5);
  step.advance(ProgressBar::kBoxWidth + 20);
  EXPECT_EQ(step.scaleWidth(), ProgressBar::kBoxWidth);  // never past the frame
  EXPECT_DOUBLE_EQ(SampleStepWidth(360, 0, 64, 1), 0);
  EXPECT_DOUBLE_EQ(SampleStepWidth(360, 2, 64, 3), 360.0 / 128 / 3);
}
