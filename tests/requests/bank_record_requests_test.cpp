#include <gtest/gtest.h>

#include "quillon/requests/trace_back_requests.h"
#include "tests/requests/scripted_exchange.h"

using namespace quillon;
using quillon_test::ScriptedExchange;
using quillon_test::ScriptedReply;

namespace {

ScriptedReply text(std::string reply) { return ScriptedReply{std::move(reply), {}, std::nullopt}; }
ScriptedReply binary(std::vector<std::uint8_t> bytes) { return ScriptedReply{{}, std::move(bytes), std::nullopt}; }

// "MY1": hour at 6, minute at 10, second at 14, month at 18, day at 22, year at 24; the
// characters between are not read.
std::string timeReply(const char* hour, const char* minute, const char* second, const char* month, const char* day,
                      const char* year) {
  return std::string("Axxxx") + hour + "xx" + minute + "xx" + second + "xx" + month + "xx" + day + year;
}

// "MY51"/"MY52": status, two unused bytes, fifteen codes, fifteen samples.
std::vector<std::uint8_t> faultReply(std::uint16_t base) {
  std::vector<std::uint8_t> reply{0x06, 0, 0};
  for (int run = 0; run < 2; ++run)
    for (int k = 1; k <= 15; ++k) {
      const auto value = static_cast<std::uint16_t>(base + run * 0x100 + k);
      reply.push_back(static_cast<std::uint8_t>(value >> 8));
      reply.push_back(static_cast<std::uint8_t>(value));
    }
  return reply;
}

TraceBackTables preparedTables() {
  TraceBackTables tables;
  tables.resizeBankTime();
  tables.resizeBankTables(6);
  return tables;
}

}  // namespace

TEST(BankRecordRequests, BankTimeFieldsAsDecimalText) {
  ScriptedExchange exchange;
  TraceBackTables tables = preparedTables();
  exchange.replies = {text(timeReply("17", "0F", "02", "03", "0C", "000E")),
                      text(timeReply("09", "00", "00", "00", "00", "0013"))};
  std::uint8_t bank = 3;
  BankRecordRequests requests(exchange, tables);
  requests.ReadBankTime(bank);
  EXPECT_EQ(exchange.sent.front(), "MY103");
  EXPECT_EQ(tables.BankTime[3], (BankTimeRow{"", "2014", "03", "12", "23", "15", "02"}));
  bank = 4;
  requests.ReadBankTime(bank);
  EXPECT_EQ(tables.BankTime[4], (BankTimeRow{"", "2019", "00", "00", "09", "00", "00"}));
}

TEST(BankRecordRequests, ShortTimeReplyOrBankOutsideTheTableChangesNothing) {
  ScriptedExchange exchange;
  TraceBackTables tables = preparedTables();
  exchange.replies = {text(timeReply("17", "0F", "02", "03", "0C", "000"))};
  std::uint8_t bank = 1;
  BankRecordRequests(exchange, tables).ReadBankTime(bank);
  EXPECT_TRUE(exchange.state().AbortFlag);
  EXPECT_EQ(tables.BankTime[1], BankTimeRow{});

  ScriptedExchange outside;
  std::uint8_t far = 9;  // rows 0 to 8
  BankRecordRequests(outside, tables).ReadBankTime(far);
  EXPECT_TRUE(outside.state().AbortFlag);
  EXPECT_TRUE(outside.sent.empty());
}

TEST(BankRecordRequests, FaultListsSignedAndInTheirHalves) {
  ScriptedExchange exchange;
  TraceBackTables tables;
  tables.BankCount = 10;
  tables.resizeBankTables(6);
  exchange.replies = {binary(faultReply(0x8000)), binary(faultReply(0x0100))};
  std::uint8_t bank = 10;
  BankRecordRequests requests(exchange, tables);
  requests.ReadBankFaults1(bank);
  requests.ReadBankFaults2(bank);
  EXPECT_EQ(exchange.sent, (std::vector<std::string>{"MY510A", "MY520A"}));
  const BankFaultList& faults = tables.BankFaults[10];
  EXPECT_EQ(faults[1][1], std::optional<std::int16_t>(-32767));  // 0x8001
  EXPECT_EQ(faults[1][2], std::optional<std::int16_t>(static_cast<std::int16_t>(0x8101)));
  EXPECT_EQ(faults[15][1], std::optional<std::int16_t>(static_cast<std::int16_t>(0x800F)));
  EXPECT_EQ(faults[16][1], std::optional<std::int16_t>(0x0101));
  EXPECT_EQ(faults[30][2], std::optional<std::int16_t>(0x020F));
  EXPECT_FALSE(faults[0][1].has_value());
  EXPECT_FALSE(faults[5][0].has_value());

  ScriptedExchange shortReply;
  auto bytes = faultReply(0);
  bytes.pop_back();
  shortReply.replies = {binary(bytes)};
  std::uint8_t bank0 = 0;
  BankRecordRequests(shortReply, tables).ReadBankFaults1(bank0);
  EXPECT_TRUE(shortReply.state().AbortFlag);
  EXPECT_FALSE(tables.BankFaults[0][1][1].has_value());
}

TEST(BankRecordRequests, VersionIsCharactersThreeToTen) {
  ScriptedExchange exchange;
  TraceBackTables tables = preparedTables();
  exchange.replies = {text("A:V1.20   OTHERFLD"), text("A:V1.2")};
  std::uint8_t bank = 2;
  BankRecordRequests requests(exchange, tables);
  requests.ReadBankVersion(bank);
  EXPECT_EQ(exchange.sent.front(), "MV02");
  EXPECT_EQ(tables.BankSoftVersion[2], "V1.20   ");
  requests.ReadBankVersion(bank);
  EXPECT_TRUE(exchange.state().AbortFlag);
  EXPECT_EQ(tables.BankSoftVersion[2], "V1.20   ");
}
