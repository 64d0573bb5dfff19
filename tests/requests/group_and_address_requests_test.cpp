#include <gtest/gtest.h>

#include "quillon/requests/trace_back_requests.h"
#include "tests/requests/scripted_exchange.h"

using namespace quillon;
using quillon_test::ScriptedExchange;
using quillon_test::ScriptedReply;

namespace {

ScriptedReply text(std::string reply) { return ScriptedReply{std::move(reply), {}, std::nullopt}; }
ScriptedReply binary(std::vector<std::uint8_t> bytes) { return ScriptedReply{{}, std::move(bytes), std::nullopt}; }

TraceBackTables tablesWithSignals(int signals, int level = 1) {
  TraceBackTables tables;
  tables.GroupSignals[1] = static_cast<std::uint8_t>(signals);
  tables.SignalsPerBank = static_cast<std::uint8_t>(signals);
  tables.GroupDepth[0] = 1;
  tables.MaxGroupDepth = 1;
  tables.resizeBankTables(level);
  return tables;
}

// "MZ1" reply: status, two unused characters, then eight 4-digit addresses 0xB0J1..0xB0J8
// for block J.
std::string addressBlock16(int block) {
  std::string reply = "A00";
  for (int k = 1; k <= 8; ++k) reply += "b0" + std::to_string(block) + std::to_string(k);
  return reply;
}

// "Mz1"/"mz1" reply: status, two unused bytes, then n 4-byte addresses (block, k, 0xAB, 0x0F).
std::vector<std::uint8_t> addressBlock32(int block, int n) {
  std::vector<std::uint8_t> reply{0x06, 0xEE, 0xEE};
  for (int k = 1; k <= n; ++k) {
    reply.push_back(static_cast<std::uint8_t>(block));
    reply.push_back(static_cast<std::uint8_t>(k));
    reply.push_back(0xAB);
    reply.push_back(0x0F);
  }
  return reply;
}

}  // namespace

TEST(GroupRequests, LayoutSummaryBytesAndDeepestGroup) {
  ScriptedExchange exchange;
  TraceBackTables tables;
  exchange.replies = {text("A0208040000" "0408000000")};
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
  exchange.replies = {text("A00FF000000" "0100000000")};
  GroupRequests(exchange, deep).ReadGroupLayout();
  EXPECT_EQ(deep.MaxGroupDepth, 255);
  EXPECT_EQ(deep.sampleDepth(), 16320);
}

TEST(GroupRequests, SignalCountsBeyondOneByteAreRefusedNotWrapped) {
  ScriptedExchange exchange;
  TraceBackTables tables;
  exchange.replies = {text("A0101010101" "FF01000000")};
  GroupRequests(exchange, tables).ReadGroupLayout();
  EXPECT_TRUE(exchange.state().AbortFlag);
  EXPECT_NE(exchange.state().ErrorText.find("256 signals"), std::string::npos) << exchange.state().ErrorText;
  EXPECT_EQ(tables.SignalsPerBank, 0);
  EXPECT_EQ(tables.GroupSignals[1], 0);
  EXPECT_EQ(tables.MaxGroupDepth, 0);

  // Exactly 255 still fits.
  ScriptedExchange ok;
  exchange.replies = {};
  ok.replies = {text("A0101010101" "FF00000000")};
  GroupRequests(ok, tables).ReadGroupLayout();
  EXPECT_FALSE(ok.state().AbortFlag);
  EXPECT_EQ(tables.SignalsPerBank, 255);
}

TEST(GroupRequests, SamplingAndFaultIndexPerBank) {
  ScriptedExchange exchange;
  TraceBackTables tables;
  exchange.replies = {text("AFFFFFFFF7FFFFFFF800000000000000100000010"), text("AFFFF8000000100200400")};
  std::uint8_t bank = 10;
  GroupRequests requests(exchange, tables);
  requests.ReadGroupSampling(bank);
  requests.ReadGroupFaultIndex(bank);
  EXPECT_EQ(exchange.sent, (std::vector<std::string>{"MX20A", "MX30A"}));
  EXPECT_EQ(tables.GroupSampling[0], 0);
  EXPECT_EQ(tables.GroupSampling[1], -1);
  EXPECT_EQ(tables.GroupSampling[2], 0x7FFFFFFF);
  EXPECT_EQ(tables.GroupSampling[3], INT32_MIN);
  EXPECT_EQ(tables.GroupSampling[4], 1);
  EXPECT_EQ(tables.GroupSampling[5], 16);
  EXPECT_EQ(tables.GroupFaultIndex[1], -1);
  EXPECT_EQ(tables.GroupFaultIndex[2], -32768);
  EXPECT_EQ(tables.GroupFaultIndex[3], 1);
  EXPECT_EQ(tables.GroupFaultIndex[4], 0x20);
  EXPECT_EQ(tables.GroupFaultIndex[5], 0x400);
}

TEST(GroupRequests, BadSamplingReplyKeepsThePreviousValues) {
  for (const char* reply : {"AFFFFFFFF7FFFFFFF80000000000000010000001", "AFFFFFFFF7FFFFFFF8000000000000001000000-1"}) {
    ScriptedExchange exchange;
    TraceBackTables tables;
    tables.GroupSampling[1] = 7;
    exchange.replies = {text(reply)};
    std::uint8_t bank = 0;
    GroupRequests(exchange, tables).ReadGroupSampling(bank);
    EXPECT_TRUE(exchange.state().AbortFlag);
    EXPECT_NE(exchange.state().ErrorText.find("\"MX200\""), std::string::npos) << exchange.state().ErrorText;
    EXPECT_EQ(tables.GroupSampling[1], 7);
  }
}

TEST(SignalAddressRequests, TextBlocksOfEightAndTheSurplusBlock) {
  {
    ScriptedExchange exchange;
    TraceBackTables tables = tablesWithSignals(12);
    exchange.replies = {text(addressBlock16(1)), text(addressBlock16(2))};
    std::uint8_t bank = 3;
    SignalAddressRequests(exchange, tables).ReadSignalAddresses16(bank);
    EXPECT_EQ(exchange.sent, (std::vector<std::string>{"MZ10301", "MZ10302"}));
    EXPECT_EQ(exchange.forms[0], ReplyForm::Text);
    EXPECT_EQ(tables.SignalAddress[3][0], "");
    EXPECT_EQ(tables.SignalAddress[3][1], "&Hb011");  // digits as the drive sent them
    EXPECT_EQ(tables.SignalAddress[3][8], "&Hb018");
    EXPECT_EQ(tables.SignalAddress[3][9], "&Hb021");
    EXPECT_EQ(tables.SignalAddress[3][12], "&Hb024");
  }
  {
    // An exact multiple asks for one block more, whose reply (even a bare status) is not used.
    ScriptedExchange exchange;
    TraceBackTables tables = tablesWithSignals(16);
    exchange.replies = {text(addressBlock16(1)), text(addressBlock16(2)), text("A")};
    std::uint8_t bank = 0;
    SignalAddressRequests(exchange, tables).ReadSignalAddresses16(bank);
    EXPECT_EQ(exchange.sent.size(), 3u);
    EXPECT_EQ(exchange.sent.back(), "MZ10003");
    EXPECT_FALSE(exchange.state().AbortFlag);
    EXPECT_EQ(tables.SignalAddress[0][16], "&Hb028");
  }
  {
    ScriptedExchange exchange;
    TraceBackTables tables = tablesWithSignals(0);
    exchange.replies = {text("A")};
    std::uint8_t bank = 1;
    SignalAddressRequests(exchange, tables).ReadSignalAddresses16(bank);
    EXPECT_EQ(exchange.sent, std::vector<std::string>{"MZ10101"});
    EXPECT_FALSE(exchange.state().AbortFlag);
  }
}

TEST(SignalAddressRequests, BinaryAddressesBigEndianUpperCase) {
  {
    ScriptedExchange exchange;
    TraceBackTables tables = tablesWithSignals(40, 6);
    exchange.replies = {binary(addressBlock32(1, 32)), binary(addressBlock32(2, 8))};
    std::uint8_t bank = 2;
    SignalAddressRequests(exchange, tables).ReadSignalAddresses32Wide(bank);
    EXPECT_EQ(exchange.sent, (std::vector<std::string>{"mz10201", "mz10202"}));
    EXPECT_EQ(exchange.forms[0], ReplyForm::Binary);
    EXPECT_EQ(tables.SignalAddress[2][1], "&H0101AB0F");
    EXPECT_EQ(tables.SignalAddress[2][32], "&H0120AB0F");  // the entry that ends at byte 130
    EXPECT_EQ(tables.SignalAddress[2][33], "&H0201AB0F");
    EXPECT_EQ(tables.SignalAddress[2][40], "&H0208AB0F");
  }
  {
    ScriptedExchange exchange;
    TraceBackTables tables = tablesWithSignals(9, 6);
    auto block2 = addressBlock32(0, 1);
    block2[3] = 0x00, block2[4] = 0x12;
    exchange.replies = {binary(addressBlock32(1, 8)), binary(block2)};
    std::uint8_t bank = 3;
    SignalAddressRequests(exchange, tables).ReadSignalAddresses32(bank);
    EXPECT_EQ(exchange.sent, (std::vector<std::string>{"Mz10301", "Mz10302"}));
    EXPECT_EQ(tables.SignalAddress[3][9], "&H0012AB0F");
  }
}

TEST(SignalAddressRequests, ShortReplyKeepsEarlierBlocksAndStopsTheRequests) {
  ScriptedExchange exchange;
  TraceBackTables tables = tablesWithSignals(20, 6);
  auto shortBlock = addressBlock32(2, 8);
  shortBlock.pop_back();
  exchange.replies = {binary(addressBlock32(1, 8)), binary(shortBlock), binary(addressBlock32(3, 8))};
  std::uint8_t bank = 0;
  SignalAddressRequests(exchange, tables).ReadSignalAddresses32(bank);
  EXPECT_TRUE(exchange.state().AbortFlag);
  EXPECT_NE(exchange.state().ErrorText.find("\"Mz10002\""), std::string::npos) << exchange.state().ErrorText;
  EXPECT_EQ(exchange.sent.size(), 2u);
  EXPECT_EQ(tables.SignalAddress[0][8], "&H0108AB0F");
  EXPECT_EQ(tables.SignalAddress[0][9], "");  // nothing of the bad block is taken

  // Non-hex text address.
  ScriptedExchange text16;
  TraceBackTables t16 = tablesWithSignals(2);
  text16.replies = {text("A00b0110x12")};
  SignalAddressRequests(text16, t16).ReadSignalAddresses16(bank);
  EXPECT_TRUE(text16.state().AbortFlag);
  EXPECT_EQ(t16.SignalAddress[0][1], "");
}
