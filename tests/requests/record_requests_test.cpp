#include "quillon/requests/record_requests.h"

#include <gtest/gtest.h>

#include "tests/requests/scripted_exchange.h"

using namespace quillon;
using quillon_test::ScriptedExchange;
using Reply = quillon_test::ScriptedReply;

namespace {

const auto bytesReply = Reply::Bytes;

std::vector<std::uint8_t> troubleRecordBytes(std::uint8_t year, std::uint8_t month, std::uint8_t day, std::uint8_t hour,
                                             std::uint8_t minute, std::uint8_t second, std::uint16_t code1,
                                             std::uint16_t code2) {
  // Hour at 6, minute 8, second 10, month 12, day 14, year 16, then the two codes.
  quillon_test::Bytes bytes{0x06, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, hour, 0xEE, minute,
                            0xEE, second, 0xEE, month, 0xEE, day,  0xEE, year};
  quillon_test::PushBig(bytes, code1, 2);
  quillon_test::PushBig(bytes, code2, 2);
  return bytes;
}

TimeFields timeRow(const char* y, const char* mo, const char* d, const char* h, const char* mi, const char* s) {
  return TimeFields{"", y, mo, d, h, mi, s};
}

}  // namespace

TEST(RecordRequests, TroubleRecordDecoding) {
  ScriptedExchange exchange;
  TroubleTables tables;
  tables.TroubleTime[3][0] = "kept";
  exchange.replies.push_back(bytesReply(troubleRecordBytes(14, 3, 12, 8, 15, 2, 17, 2)));
  exchange.replies.push_back(bytesReply(troubleRecordBytes(0, 7, 100, 0, 9, 10, 0x8000, 0xFFFF)));
  RecordRequests requests(exchange, tables);
  std::uint8_t record = 3;
  requests.ReadTroubleRecord(record);
  record = 31;
  requests.ReadTroubleRecord(record);

  EXPECT_EQ(exchange.sent, (std::vector<std::string>{"MY30003", "MY3001F"}));
  EXPECT_EQ(exchange.forms[0], ReplyForm::Binary);
  EXPECT_EQ(tables.TroubleTime[3], (TimeFields{"kept", "2014", "03", "12", "08", "15", "02"}));
  EXPECT_EQ(tables.TroubleValues[3][0], 17);
  EXPECT_EQ(tables.TroubleValues[3][1], 2);
  EXPECT_EQ(tables.TroubleTime[31], timeRow("2000", "07", "100", "00", "09", "10"));
  EXPECT_EQ(tables.TroubleValues[31][0], -32768);
  EXPECT_EQ(tables.TroubleValues[31][1], -1);
  EXPECT_EQ(tables.TroubleTime[32], TimeFields{});
}

TEST(RecordRequests, EventCountsAndTimes) {
  ScriptedExchange exchange;
  TroubleTables tables;
  std::vector<std::uint8_t> counts1(34, 0), counts2(34, 0);
  counts1[0] = counts2[0] = 0x06;
  for (int b = 2; b <= 5; ++b) counts1[b] = 0xFF;  // counter 0: -1
  counts1[32] = 0x01;                                // counter 7: 00 00 01 00
  counts2[2] = 0x7F;                                 // counter 8: 0x7F000000
  counts2[33] = 0x05;                                // counter 15: 5
  exchange.replies.push_back(bytesReply(counts1));
  exchange.replies.push_back(bytesReply(counts2));

  std::vector<std::uint8_t> times(50, 0);
  for (int j = 0; j < 4; ++j) {
    const int base = 12 * j;
    times[base + 3] = static_cast<std::uint8_t>(20 + j);  // hour
    times[base + 5] = 5;                                  // minute
    times[base + 7] = 41;                                 // second
    times[base + 9] = static_cast<std::uint8_t>(j + 1);   // month
    times[base + 11] = 12;                                // day
    times[base + 13] = static_cast<std::uint8_t>(14 + j); // year
  }
  exchange.replies.push_back(bytesReply(times));

  RecordRequests requests(exchange, tables);
  requests.ReadEventCounts1();
  requests.ReadEventCounts2();
  std::uint8_t group = 3;
  requests.ReadEventTimes(group);

  EXPECT_EQ(exchange.sent, (std::vector<std::string>{"EV1", "EV2", "EVT3"}));
  EXPECT_EQ(tables.EventCountValue[0], -1);
  EXPECT_EQ(tables.EventCountValue[7], 256);
  EXPECT_EQ(tables.EventCountValue[8], 0x7F000000);
  EXPECT_EQ(tables.EventCountValue[15], 5);
  EXPECT_EQ(tables.EventCountValue[16], 0);
  EXPECT_EQ(tables.EventCountTime[12], timeRow("2014", "01", "12", "20", "05", "41"));
  EXPECT_EQ(tables.EventCountTime[15], timeRow("2017", "04", "12", "23", "05", "41"));
  EXPECT_EQ(tables.EventCountTime[11], TimeFields{});
  EXPECT_EQ(tables.EventCountTime[16], TimeFields{});
}

TEST(RecordRequests, ShortRepliesAndAbortsLeaveTheTables) {
  ScriptedExchange exchange;
  TroubleTables tables;
  tables.TroubleTime[4] = timeRow("2013", "01", "01", "00", "00", "00");
  tables.TroubleValues[4] = {9, 9};
  tables.EventCountValue[8] = 77;
  RecordRequests requests(exchange, tables);

  {  // one byte short of the second fault code
    auto bytes = troubleRecordBytes(14, 3, 12, 8, 15, 2, 17, 2);
    bytes.pop_back();
    exchange.replies.push_back(bytesReply(bytes));
    std::uint8_t record = 4;
    requests.ReadTroubleRecord(record);
    EXPECT_TRUE(exchange.state().AbortFlag);
    EXPECT_EQ(exchange.state().ErrorText, "Malformed reply to \"MY30004\": expected at least 21 bytes, got 20");
    EXPECT_EQ(tables.TroubleTime[4], timeRow("2013", "01", "01", "00", "00", "00"));
    EXPECT_EQ(tables.TroubleValues[4][0], 9);
  }
  {  // after the abort nothing is sent
    exchange.replies.push_back(bytesReply(std::vector<std::uint8_t>(50, 1)));
    requests.ReadEventCounts2();
    std::uint8_t group = 0;
    requests.ReadEventTimes(group);
    EXPECT_EQ(exchange.sent.size(), 1u);
    EXPECT_EQ(tables.EventCountValue[8], 77);
    EXPECT_EQ(tables.EventCountTime[0], TimeFields{});
  }

  ScriptedExchange fresh;
  RecordRequests freshRequests(fresh, tables);
  fresh.replies.push_back(bytesReply(std::vector<std::uint8_t>(49, 1)));  // EVT needs indexes up to 49
  std::uint8_t group = 1;
  freshRequests.ReadEventTimes(group);
  EXPECT_EQ(fresh.sent, std::vector<std::string>{"EVT1"});
  EXPECT_TRUE(fresh.state().AbortFlag);
  EXPECT_EQ(tables.EventCountTime[4], TimeFields{});

  ScriptedExchange nak;
  RecordRequests nakRequests(nak, tables);
  nak.replies.push_back(Reply::Abort("NAK"));
  nakRequests.ReadEventCounts1();
  EXPECT_EQ(nak.state().ErrorText, "NAK");
  EXPECT_EQ(tables.EventCountValue[0], 0);

  ScriptedExchange outside;
  RecordRequests outsideRequests(outside, tables);
  std::uint8_t record = 33;
  outsideRequests.ReadTroubleRecord(record);
  group = 4;
  outsideRequests.ReadEventTimes(group);
  EXPECT_TRUE(outside.sent.empty());
  EXPECT_TRUE(outside.state().AbortFlag);
}
