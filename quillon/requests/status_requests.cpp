#include "quillon/requests/status_requests.h"

#include <array>
#include <cassert>
#include <cstdint>
#include <cstdio>
#include <string_view>

#include "quillon/requests/reply_decoder.h"

namespace quillon {

namespace {

// Clock reply: 1-based character positions of each field; the year is four digits read as
// signed 16-bit, the others two digits.
struct ClockField {
  int index;
  int position;
};
constexpr ClockField kClockYear{1, 22};
constexpr ClockField kClockTwoDigitFields[] = {{2, 16}, {3, 20}, {4, 4}, {5, 8}, {6, 12}};
constexpr int kClockYearBase = 2000;

constexpr int kFirstWordByte = 2;  // status, one unused byte, then big-endian words

// Two decimal digits: a leading zero below 10, only the last two digits above 99.
std::string twoDigitText(int value) {
  const int lastTwo = ((value % 100) + 100) % 100;
  char text[4];
  std::snprintf(text, sizeof text, "%02d", lastTwo);
  return text;
}

// A word as the drive sent it: four upper-case hex digits, most significant byte first.
std::string wordHexText(std::uint16_t word) {
  return HexByteText(static_cast<std::uint8_t>(word >> 8)) + HexByteText(static_cast<std::uint8_t>(word));
}

// `count` words from byte kFirstWordByte on into `table` from `firstIndex` on; a reply too
// short for them ends the run through the decoder and leaves the table as it was.
void readWords(ExchangeState& state, std::string_view command, int count, DriveStatusTable& table, int firstIndex) {
  BinaryReplyDecoder reply(state, command);
  std::array<std::string, kPrCodeCount> words;
  assert(count <= kPrCodeCount);
  for (int k = 0; k < count; ++k) words[static_cast<std::size_t>(k)] = wordHexText(reply.u16(kFirstWordByte + 2 * k));
  if (!reply.ok()) return;
  for (int k = 0; k < count; ++k) table.DriveStatusText[firstIndex + k] = std::move(words[static_cast<std::size_t>(k)]);
}

}  // namespace

void StatusRequests::ReadDriveClock() {
  ExchangeState& state = exchange_.state();
  if (!exchange_.transact("J", ReplyForm::Text)) return;
  TextReplyDecoder reply(state, "J");
  std::array<std::string, 7> clock;
  clock[kClockYear.index] = std::to_string(reply.hex16(kClockYear.position) + kClockYearBase);
  for (const ClockField& field : kClockTwoDigitFields) clock[field.index] = twoDigitText(reply.hex8(field.position));
  if (!reply.ok()) return;
  for (int index = kClockYearIndex; index <= 6; ++index) table_.DriveStatusText[index] = clock[index];
}

void StatusRequests::ReadSseqOutputs() {
  if (!exchange_.transact("ZS", ReplyForm::Binary)) return;
  readWords(exchange_.state(), "ZS", 2, table_, kSseqOut1Index);
}

void StatusRequests::ReadPrCodes() {
  if (!exchange_.transact("SP", ReplyForm::Binary)) return;
  readWords(exchange_.state(), "SP", kPrCodeCount, table_, kFirstPrCodeIndex);
}

}  // namespace quillon
