// The trace-back requests over the scripted exchange: group layout, sampling and fault index,
// signal addresses, samples, bank time, fault lists and version.
#include "quillon/requests/trace_back_requests.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "tests/requests/scripted_exchange.h"

using namespace quillon;
using quillon_test::Bytes;
using quillon_test::PushBig;
using quillon_test::ScriptedExchange;
using Reply = quillon_test::ScriptedReply;

namespace {

// Groups 1-5: depth (units of 64) and signals.
TraceBackTables layout(std::array<int, 5> depth, std::array<int, 5> signals, int level = 6) {
  TraceBackTables tables;
  for (int g = 1; g <= 5; ++g) {
    tables.GroupDepth[g - 1] = static_cast<std::uint8_t>(depth[g - 1]);
    tables.GroupSignals[g] = static_cast<std::uint8_t>(signals[g - 1]);
    tables.MaxGroupDepth = std::max<std::uint8_t>(tables.MaxGroupDepth, tables.GroupDepth[g - 1]);
    tables.SignalsPerBank = static_cast<std::uint8_t>(tables.SignalsPerBank + signals[g - 1]);
  }
  tables.resizeBankTime();
  tables.resizeBankTables(level);
  return tables;
}

int hexField(const std::string& request, int at) { return static_cast<int>(std::strtol(request.substr(at, 2).c_str(), nullptr, 16)); }

// "MZ1" reply: status, two unused characters, then eight 4-digit addresses 0xB0J1..0xB0J8 for block J.
std::string addressBlock16(int block) {
  std::string reply = "A00";
  for (int k = 1; k <= 8; ++k) reply += "b0" + std::to_string(block) + std::to_string(k);
  return reply;
}

// "Mz1"/"mz1" reply: status, two unused bytes, then n 4-byte addresses (block, k, 0xAB, 0x0F).
Bytes addressBlock32(int block, int n) {
  Bytes reply{0x06, 0xEE, 0xEE};
  for (int k = 1; k <= n; ++k) reply.insert(reply.end(), {std::uint8_t(block), std::uint8_t(k), 0xAB, 0x0F});
  return reply;
}

// The simulated samples, negative ones included.
std::int16_t sample16(int signal, int index) { return static_cast<std::int16_t>(0x7F00 + signal * 300 + index); }
std::int32_t sample32(int signal, int index) { return static_cast<std::int32_t>(0xFFFF0000u + signal * 1000 + index); }

// Answers every sample request with a full block: samples (block - 1) * n + 1 onward.
void answerSamples(ScriptedExchange& exchange, int perBlock, int width) {
  exchange.responder = [perBlock, width](const std::string& request) {
    const int signal = hexField(request, 5);
    const int block = hexField(request, 7);
    Bytes bytes{0x06};
    for (int k = 1; k <= perBlock; ++k) {
      const int index = (block - 1) * perBlock + k;
      PushBig(bytes, width == 2 ? std::uint16_t(sample16(signal, index)) : std::uint32_t(sample32(signal, index)), width);
    }
    return Reply::Bytes(bytes);
  };
}

// "MY1": hour at 6, minute at 10, second at 14, month at 18, day at 22, year at 24; the
// characters between are not read.
std::string timeReply(const char* hour, const char* minute, const char* second, const char* month, const char* day,
                      const char* year) {
  return std::string("Axxxx") + hour + "xx" + minute + "xx" + second + "xx" + month + "xx" + day + year;
}

// "MY51"/"MY52": status, two unused bytes, fifteen codes, fifteen samples.
Bytes faultReply(std::uint16_t base) {
  Bytes reply{0x06, 0, 0};
  for (int run = 0; run < 2; ++run)
    for (int k = 1; k <= 15; ++k) PushBig(reply, static_cast<std::uint16_t>(base + run * 0x100 + k), 2);
  return reply;
}

}  // namespace

TEST(GroupRequests, LayoutFromTheSummaryBytesWithCountsBeyondOneByteRefused) {
  ScriptedExchange exchange;
  TraceBackTables tables;
  exchange.replies = {Reply::Text("A0208040000" "0408000000"), Reply::Text("A00FF000000" "0100000000")};
  GroupRequests(exchange, tables).ReadGroupLayout();
  EXPECT_EQ(exchange.sent, std::vector<std::string>{"MX1"});
  EXPECT_EQ(tables.GroupDepth[0], 2);
  EXPECT_EQ(tables.GroupDepth[1], 8);
  EXPECT_EQ(tables.GroupDepth[2], 4);
  EXPECT_EQ(tables.GroupSignals[0], 0);  // group g's count sits at g
  EXPECT_EQ(tables.GroupSignals[1], 4);
  EXPECT_EQ(tables.GroupSignals[2], 8);
  EXPECT_EQ(tables.MaxGroupDepth, 8);
  EXPECT_EQ(tables.SignalsPerBank, 12);
  EXPECT_EQ(tables.sampleDepth(), 512);
  TraceBackTables deep;
  GroupRequests(exchange, deep).ReadGroupLayout();
  EXPECT_EQ(deep.MaxGroupDepth, 255);
  EXPECT_EQ(deep.sampleDepth(), 16320);

  // 256 signals are refused, not wrapped; exactly 255 still fit.
  ScriptedExchange wide;
  TraceBackTables refused;
  wide.replies = {Reply::Text("A0101010101" "FF01000000")};
  GroupRequests(wide, refused).ReadGroupLayout();
  EXPECT_TRUE(wide.state().AbortFlag);
  EXPECT_NE(wide.state().ErrorText.find("256 signals"), std::string::npos) << wide.state().ErrorText;
  EXPECT_EQ(refused.SignalsPerBank, 0);
  EXPECT_EQ(refused.GroupSignals[1], 0);
  EXPECT_EQ(refused.MaxGroupDepth, 0);
  ScriptedExchange ok;
  ok.replies = {Reply::Text("A0101010101" "FF00000000")};
  GroupRequests(ok, refused).ReadGroupLayout();
  EXPECT_FALSE(ok.state().AbortFlag);
  EXPECT_EQ(refused.SignalsPerBank, 255);
}

TEST(GroupRequests, SamplingAndFaultIndexPerBankSignedAndABadReplyKeepsThePrevious) {
  ScriptedExchange exchange;
  TraceBackTables tables;
  exchange.replies = {Reply::Text("AFFFFFFFF7FFFFFFF800000000000000100000010"), Reply::Text("AFFFF8000000100200400")};
  std::uint8_t bank = 10;
  GroupRequests requests(exchange, tables);
  requests.ReadGroupSampling(bank);
  requests.ReadGroupFaultIndex(bank);
  EXPECT_EQ(exchange.sent, (std::vector<std::string>{"MX20A", "MX30A"}));
  EXPECT_EQ(tables.GroupSampling, (std::array<std::int32_t, kGroupTableSize>{0, -1, 0x7FFFFFFF, INT32_MIN, 1, 16}));
  EXPECT_EQ(tables.GroupFaultIndex, (std::array<std::int16_t, kGroupTableSize>{0, -1, -32768, 1, 0x20, 0x400}));

  for (const char* reply : {"AFFFFFFFF7FFFFFFF80000000000000010000001", "AFFFFFFFF7FFFFFFF8000000000000001000000-1"}) {
    ScriptedExchange bad;
    bad.replies = {Reply::Text(reply)};
    bank = 0;
    GroupRequests(bad, tables).ReadGroupSampling(bank);
    EXPECT_TRUE(bad.state().AbortFlag);
    EXPECT_NE(bad.state().ErrorText.find("\"MX200\""), std::string::npos) << bad.state().ErrorText;
    EXPECT_EQ(tables.GroupSampling[1], -1);
  }
}

TEST(SignalAddressRequests, TextBlocksOfEightAndTheSurplusBlock) {
  ScriptedExchange exchange;
  TraceBackTables tables = layout({1, 0, 0, 0, 0}, {12, 0, 0, 0, 0});
  exchange.replies = {Reply::Text(addressBlock16(1)), Reply::Text(addressBlock16(2))};
  std::uint8_t bank = 3;
  SignalAddressRequests(exchange, tables).ReadSignalAddresses16(bank);
  EXPECT_EQ(exchange.sent, (std::vector<std::string>{"MZ10301", "MZ10302"}));
  EXPECT_EQ(exchange.forms[0], ReplyForm::Text);
  EXPECT_EQ(tables.SignalAddress[3][0], "");
  EXPECT_EQ(tables.SignalAddress[3][1], "&Hb011");  // digits as the drive sent them
  EXPECT_EQ(tables.SignalAddress[3][8], "&Hb018");
  EXPECT_EQ(tables.SignalAddress[3][9], "&Hb021");
  EXPECT_EQ(tables.SignalAddress[3][12], "&Hb024");

  // An exact multiple asks for one block more, whose reply (even a bare status) is not used;
  // so do no signals at all.
  for (int signals : {16, 0}) {
    ScriptedExchange surplus;
    TraceBackTables t = layout({1, 0, 0, 0, 0}, {signals, 0, 0, 0, 0});
    if (signals) surplus.replies = {Reply::Text(addressBlock16(1)), Reply::Text(addressBlock16(2))};
    surplus.replies.push_back(Reply::Text("A"));
    bank = 0;
    SignalAddressRequests(surplus, t).ReadSignalAddresses16(bank);
    EXPECT_EQ(surplus.sent.size(), signals / 8 + 1u);
    EXPECT_EQ(surplus.sent.back(), signals ? "MZ10003" : "MZ10001");
    EXPECT_FALSE(surplus.state().AbortFlag);
    if (signals) {
      EXPECT_EQ(t.SignalAddress[0][16], "&Hb028");
    }
  }

  // A non-hex address ends the run and is not taken.
  ScriptedExchange nonHex;
  TraceBackTables t = layout({1, 0, 0, 0, 0}, {2, 0, 0, 0, 0});
  nonHex.replies = {Reply::Text("A00b0110x12")};
  SignalAddressRequests(nonHex, t).ReadSignalAddresses16(bank);
  EXPECT_TRUE(nonHex.state().AbortFlag);
  EXPECT_EQ(t.SignalAddress[0][1], "");
}

TEST(SignalAddressRequests, BinaryAddressesBigEndianUpperCaseAndAShortBlockStopsTheRequests) {
  ScriptedExchange wide;
  TraceBackTables tables = layout({1, 0, 0, 0, 0}, {40, 0, 0, 0, 0});
  wide.replies = {Reply::Bytes(addressBlock32(1, 32)), Reply::Bytes(addressBlock32(2, 8))};
  std::uint8_t bank = 2;
  SignalAddressRequests(wide, tables).ReadSignalAddresses32Wide(bank);
  EXPECT_EQ(wide.sent, (std::vector<std::string>{"mz10201", "mz10202"}));
  EXPECT_EQ(wide.forms[0], ReplyForm::Binary);
  EXPECT_EQ(tables.SignalAddress[2][1], "&H0101AB0F");
  EXPECT_EQ(tables.SignalAddress[2][32], "&H0120AB0F");  // the entry that ends at byte 130
  EXPECT_EQ(tables.SignalAddress[2][33], "&H0201AB0F");
  EXPECT_EQ(tables.SignalAddress[2][40], "&H0208AB0F");

  ScriptedExchange narrow;
  Bytes block2 = addressBlock32(0, 1);
  block2[3] = 0x00, block2[4] = 0x12;
  narrow.replies = {Reply::Bytes(addressBlock32(1, 8)), Reply::Bytes(block2)};
  bank = 3;
  tables = layout({1, 0, 0, 0, 0}, {9, 0, 0, 0, 0});
  SignalAddressRequests(narrow, tables).ReadSignalAddresses32(bank);
  EXPECT_EQ(narrow.sent, (std::vector<std::string>{"Mz10301", "Mz10302"}));
  EXPECT_EQ(tables.SignalAddress[3][9], "&H0012AB0F");

  ScriptedExchange cut;
  Bytes shortBlock = addressBlock32(2, 8);
  shortBlock.pop_back();
  cut.replies = {Reply::Bytes(addressBlock32(1, 8)), Reply::Bytes(shortBlock), Reply::Bytes(addressBlock32(3, 8))};
  bank = 0;
  tables = layout({1, 0, 0, 0, 0}, {20, 0, 0, 0, 0});
  SignalAddressRequests(cut, tables).ReadSignalAddresses32(bank);
  EXPECT_TRUE(cut.state().AbortFlag);
  EXPECT_NE(cut.state().ErrorText.find("\"Mz10002\""), std::string::npos) << cut.state().ErrorText;
  EXPECT_EQ(cut.sent.size(), 2u);
  EXPECT_EQ(tables.SignalAddress[0][8], "&H0108AB0F");
  EXPECT_EQ(tables.SignalAddress[0][9], "");  // nothing of the bad block is taken
}

TEST(SampleRequests, Narrow16ReadsEverySignalToTheDeepestDepth) {
  ScriptedExchange exchange;
  ProgressBar bar;
  TraceBackTables tables = layout({1, 0, 0, 0, 0}, {1, 4, 0, 0, 0}, 4);
  answerSamples(exchange, 31, 2);
  std::uint8_t bank = 2;
  SampleRequests(exchange, tables, bar).ReadBankSamples16(bank, 1);
  ASSERT_EQ(exchange.sent.size(), 15u);  // 5 signals, D = 64, 3 blocks each
  EXPECT_EQ(exchange.sent[0], "MZ2020101");
  EXPECT_EQ(exchange.sent[14], "MZ2020503");
  for (ReplyForm form : exchange.forms) EXPECT_EQ(form, ReplyForm::Binary);
  for (int s = 1; s <= 5; ++s)
    for (int i = 1; i <= 64; ++i) ASSERT_EQ(tables.SampleData16.at(s, i), sample16(s, i)) << s << "," << i;
  EXPECT_LT(sample16(5, 64), 0);  // values past 0x7FFF arrive negative
  EXPECT_EQ(tables.SampleData16.at(0, 1), 0);
  EXPECT_EQ(tables.SampleData16.at(1, 0), 0);
  EXPECT_EQ(bar.scaleWidth(), 360);
  EXPECT_EQ(tables.SampleData32.bytes(), 0u);  // only the table in use is held

  // FFFF is -1, and the last block need hold only the samples still wanted (63 and 64).
  ScriptedExchange partial;
  tables = layout({1, 0, 0, 0, 0}, {1, 0, 0, 0, 0}, 4);
  Bytes full(63, 0xFF);
  full[0] = 0x06;
  partial.replies = {Reply::Bytes(full), Reply::Bytes(full), Reply::Bytes({0x06, 0x00, 0x01, 0x80, 0x00})};
  SampleRequests(partial, tables, bar).ReadBankSamples16(bank, 1);
  EXPECT_FALSE(partial.state().AbortFlag) << partial.state().ErrorText;
  EXPECT_EQ(tables.SampleData16.at(1, 1), -1);
  EXPECT_EQ(tables.SampleData16.at(1, 62), -1);
  EXPECT_EQ(tables.SampleData16.at(1, 63), 1);
  EXPECT_EQ(tables.SampleData16.at(1, 64), -32768);
}

TEST(SampleRequests, Block32AndWide32ReadEachSignalToItsGroupsDepth) {
  ScriptedExchange exchange;
  ProgressBar bar;
  TraceBackTables tables = layout({15, 0, 2, 0, 0}, {1, 1, 1, 0, 0});
  answerSamples(exchange, 15, 4);
  std::uint8_t bank = 0;
  SampleRequests(exchange, tables, bar).ReadBankSamples32(bank, 1);
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
  EXPECT_EQ(bar.scaleWidth(), 240);  // the depth-0 signal stores no sample, so takes no step

  ScriptedExchange wide;
  ProgressBar wideBar;
  tables = layout({2, 1, 0, 0, 0}, {1, 2, 0, 0, 0});
  answerSamples(wide, 61, 4);
  bank = 7;
  SampleRequests(wide, tables, wideBar).ReadBankSamples32Wide(bank, 2);
  ASSERT_EQ(wide.sent.size(), 3u + 2u + 2u);
  EXPECT_EQ(wide.sent[0], "mzx070101");
  EXPECT_EQ(wide.sent[3], "mzx070201");
  EXPECT_EQ(tables.SampleData32.at(1, 128), sample32(1, 128));
  EXPECT_EQ(tables.SampleData32.at(2, 64), sample32(2, 64));
  EXPECT_EQ(tables.SampleData32.at(2, 65), 0);
  EXPECT_EQ(wideBar.scaleWidth(), 180);  // one of two valid banks
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
    ProgressBar bar;
    TraceBackTables tables = layout({1, c.depth, 0, 0, 0}, {1, 1, 0, 0, 0}, c.level);
    const int perBlock = c.level < 6 ? 31 : c.wide ? 61 : 15;
    answerSamples(exchange, perBlock, c.level < 6 ? 2 : 4);
    std::uint8_t bank = 0;
    SampleRequests requests(exchange, tables, bar);
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
  ProgressBar bar;
  TraceBackTables tables = layout({0, 255, 0, 0, 0}, {3, 0, 0, 0, 0});
  answerSamples(exchange, 15, 4);
  std::uint8_t bank = 0;
  SampleRequests(exchange, tables, bar).ReadBankSamples32(bank, 1);
  EXPECT_FALSE(exchange.state().AbortFlag);
  EXPECT_EQ(exchange.sent.size(), 3u);
}

TEST(SampleRequests, AbortOrShortReplyKeepsWhatArrivedAndSendsNoMore) {
  ScriptedExchange exchange;
  ProgressBar bar;
  TraceBackTables tables = layout({1, 0, 0, 0, 0}, {2, 0, 0, 0, 0});
  answerSamples(exchange, 15, 4);
  auto answer = exchange.responder;
  exchange.responder = [&](const std::string& request) {
    return exchange.sent.size() == 3 ? Reply::Abort("Timeout") : answer(request);
  };
  std::uint8_t bank = 0;
  SampleRequests requests(exchange, tables, bar);
  requests.ReadBankSamples32(bank, 1);
  EXPECT_EQ(exchange.sent.size(), 3u);
  EXPECT_EQ(exchange.state().ErrorText, "Timeout");
  EXPECT_EQ(tables.SampleData32.at(1, 30), sample32(1, 30));
  EXPECT_EQ(tables.SampleData32.at(1, 31), 0);
  requests.ReadBankSamples32(bank, 1);
  EXPECT_EQ(exchange.sent.size(), 3u);

  // A short reply: nothing of that block is stored.
  ScriptedExchange shortReply;
  shortReply.replies = {Reply::Bytes(Bytes(60, 0x01))};
  tables = layout({1, 0, 0, 0, 0}, {1, 0, 0, 0, 0});
  SampleRequests(shortReply, tables, bar).ReadBankSamples32(bank, 1);
  EXPECT_EQ(shortReply.state().ErrorText, "Malformed reply to \"Mz2000101\": expected at least 61 bytes, got 60");
  EXPECT_EQ(tables.SampleData32.at(1, 1), 0);

  // A table sized for 16-bit samples is not written as 32-bit.
  ScriptedExchange unprepared;
  tables = layout({1, 0, 0, 0, 0}, {1, 0, 0, 0, 0}, 4);
  SampleRequests(unprepared, tables, bar).ReadBankSamples32(bank, 1);
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

TEST(BankRecordRequests, TimeFaultsAndVersionOfABankAndBadRepliesChangeNothing) {
  ScriptedExchange exchange;
  TraceBackTables tables;
  tables.BankCount = 10;
  tables.resizeBankTime();
  tables.resizeBankTables(6);
  exchange.replies = {Reply::Text(timeReply("17", "0F", "02", "03", "0C", "000E")),
                      Reply::Text(timeReply("09", "00", "00", "00", "00", "0013")),
                      Reply::Bytes(faultReply(0x8000)), Reply::Bytes(faultReply(0x0100)),
                      Reply::Text("A:V1.20   OTHERFLD")};
  BankRecordRequests requests(exchange, tables);
  for (std::uint8_t bank : {3, 4}) requests.ReadBankTime(bank);
  std::uint8_t bank = 10;
  requests.ReadBankFaults1(bank);
  requests.ReadBankFaults2(bank);
  bank = 2;
  requests.ReadBankVersion(bank);
  EXPECT_EQ(exchange.sent, (std::vector<std::string>{"MY103", "MY104", "MY510A", "MY520A", "MV02"}));
  EXPECT_EQ(tables.BankTime[3], (BankTimeRow{"", "2014", "03", "12", "23", "15", "02"}));
  EXPECT_EQ(tables.BankTime[4], (BankTimeRow{"", "2019", "00", "00", "09", "00", "00"}));
  const BankFaultList& faults = tables.BankFaults[10];
  EXPECT_EQ(faults[1][1], std::optional<std::int16_t>(-32767));  // 0x8001
  EXPECT_EQ(faults[1][2], std::optional<std::int16_t>(static_cast<std::int16_t>(0x8101)));
  EXPECT_EQ(faults[15][1], std::optional<std::int16_t>(static_cast<std::int16_t>(0x800F)));
  EXPECT_EQ(faults[16][1], std::optional<std::int16_t>(0x0101));
  EXPECT_EQ(faults[30][2], std::optional<std::int16_t>(0x020F));
  EXPECT_FALSE(faults[0][1].has_value());
  EXPECT_FALSE(faults[5][0].has_value());
  EXPECT_EQ(tables.BankSoftVersion[2], "V1.20   ");  // characters 3 to 10

  // A reply too short by one, and a bank outside the table: the run ends, the tables keep theirs.
  Bytes shortFaults = faultReply(0);
  shortFaults.pop_back();
  const std::pair<Reply, void (BankRecordRequests::*)(std::uint8_t&)> bad[] = {
      {Reply::Text(timeReply("17", "0F", "02", "03", "0C", "000")), &BankRecordRequests::ReadBankTime},
      {Reply::Bytes(shortFaults), &BankRecordRequests::ReadBankFaults1},
      {Reply::Text("A:V1.2"), &BankRecordRequests::ReadBankVersion}};
  for (const auto& [reply, read] : bad) {
    ScriptedExchange refused;
    refused.replies = {reply};
    bank = 2;
    BankRecordRequests badRequests(refused, tables);
    (badRequests.*read)(bank);
    EXPECT_TRUE(refused.state().AbortFlag) << refused.sent.at(0);
  }
  EXPECT_EQ(tables.BankTime[2], BankTimeRow{});
  EXPECT_FALSE(tables.BankFaults[2][1][1].has_value());
  EXPECT_EQ(tables.BankSoftVersion[2], "V1.20   ");
  ScriptedExchange outside;
  std::uint8_t far = 11;  // rows 0 to 10
  BankRecordRequests(outside, tables).ReadBankTime(far);
  EXPECT_TRUE(outside.state().AbortFlag);
  EXPECT_TRUE(outside.sent.empty());
}
