#include "quillon/requests/status_requests.h"

#include <gtest/gtest.h>

#include <cstring>

#include "tests/requests/scripted_exchange.h"

using namespace quillon;
using quillon_test::ScriptedExchange;
using Reply = quillon_test::ScriptedReply;

namespace {

// Clock reply: hour at 4-5, minute 8-9, second 12-13, month 16-17, day 20-21, year 22-25.
std::string clockReply(const char* hour, const char* minute, const char* second, const char* month, const char* day,
                       const char* year) {
  std::string text = "A" + std::string(24, '-');
  auto put = [&](int position, const char* digits) { text.replace(position - 1, std::strlen(digits), digits); };
  put(4, hour);
  put(8, minute);
  put(12, second);
  put(16, month);
  put(20, day);
  put(22, year);
  return text;
}

const auto textReply = Reply::Text;
const auto bytesReply = Reply::Bytes;

}  // namespace

TEST(StatusRequests, DriveClock) {
  ScriptedExchange exchange;
  DriveStatusTable table;
  StatusRequests requests(exchange, table);
  exchange.replies.push_back(textReply(clockReply("08", "0F", "02", "03", "0C", "000E")));
  requests.ReadDriveClock();
  EXPECT_EQ(exchange.sent, std::vector<std::string>{"J"});
  EXPECT_EQ(exchange.forms[0], ReplyForm::Text);
  const auto& s = table.DriveStatusText;
  EXPECT_EQ(std::vector<std::string>(s.begin() + 1, s.begin() + 7),
            (std::vector<std::string>{"2014", "03", "12", "08", "15", "02"}));

  exchange.replies.push_back(textReply(clockReply("FF", "64", "00", "00", "00", "FFFF")));
  requests.ReadDriveClock();
  EXPECT_EQ(s[1], "1999");
  EXPECT_EQ(s[4], "55");  // only the last two digits of 255
  EXPECT_EQ(s[5], "00");  // 100

  // A short or non-hex reply ends the run through the reply decoder and keeps the table.
  const std::string cut = clockReply("08", "0F", "02", "03", "0C", "000E").substr(0, 24);
  const std::pair<std::string, std::string> bad[] = {
      {cut, "Malformed reply to \"J\": expected at least 25 characters, got 24"},
      {clockReply("07", "0F", "02", "03", "0C", "00xE"), "Malformed reply to \"J\": non-hex character at position 24"},
      {"A", "Malformed reply to \"J\": expected at least 25 characters, got 1"}};
  for (const auto& [text, message] : bad) {
    SCOPED_TRACE(message);
    exchange.state() = {};
    exchange.replies.push_back(textReply(text));
    requests.ReadDriveClock();
    EXPECT_TRUE(exchange.state().AbortFlag);
    EXPECT_EQ(exchange.state().ErrorText, message);
    EXPECT_EQ(s[1], "1999");
    EXPECT_EQ(s[4], "55");
  }
}

TEST(StatusRequests, SequenceOutputsAndPrCodes) {
  ScriptedExchange exchange;
  DriveStatusTable table;
  StatusRequests requests(exchange, table);
  exchange.replies.push_back(bytesReply({0x06, 0x00, 0x1A, 0x05, 0xFF, 0x00}));
  std::vector<std::uint8_t> codes(22, 0);
  codes[0] = 0x06;
  codes[3] = 0xFF;                  // code 0: 00FF
  codes[4] = 0xFF;                  // code 1: FF00
  codes[20] = 0x80, codes[21] = 0x01;  // code 9: 8001
  exchange.replies.push_back(bytesReply(codes));
  requests.ReadSseqOutputs();
  requests.ReadPrCodes();
  EXPECT_EQ(exchange.sent, (std::vector<std::string>{"ZS", "SP"}));
  const auto& s = table.DriveStatusText;
  EXPECT_EQ(s[7], "1A05");
  EXPECT_EQ(s[8], "FF00");
  EXPECT_EQ(s[9], "00FF");
  EXPECT_EQ(s[10], "FF00");
  EXPECT_EQ(s[11], "0000");
  EXPECT_EQ(s[18], "8001");

  // A reply too short for its words ends the run naming the command; the table keeps what
  // was read before, for the drive status file.
  exchange.replies.push_back(bytesReply({0x06, 0x00, 0x12, 0x34, 0x56}));
  requests.ReadSseqOutputs();
  EXPECT_TRUE(exchange.state().AbortFlag);
  EXPECT_EQ(exchange.state().ErrorText, "Malformed reply to \"ZS\": expected at least 6 bytes, got 5");
  EXPECT_EQ(s[7], "1A05");
  EXPECT_EQ(s[8], "FF00");
  exchange.state() = {};
  codes.pop_back();
  exchange.replies.push_back(bytesReply(codes));
  requests.ReadPrCodes();
  EXPECT_EQ(exchange.state().ErrorText, "Malformed reply to \"SP\": expected at least 22 bytes, got 21");
  EXPECT_EQ(s[9], "00FF");
  EXPECT_EQ(s[18], "8001");

  // An abort during the wait keeps the table and sends nothing more.
  exchange.state() = {};
  exchange.replies.push_back(Reply::Abort("Timeout"));
  requests.ReadSseqOutputs();
  requests.ReadPrCodes();
  EXPECT_EQ(exchange.sent.size(), 5u);
  EXPECT_EQ(s[7], "1A05");
}
