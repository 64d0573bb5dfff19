#include "quillon/requests/status_requests.h"

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string_view>
#include <vector>

namespace quillon {

namespace {

// Clock reply: 1-based character positions of each field.
struct ClockField {
  int index;
  int position;
  int digits;
};
constexpr ClockField kClockYear{1, 22, 4};
constexpr ClockField kClockTwoDigitFields[] = {
    {2, 16, 2}, {3, 20, 2}, {4, 4, 2}, {5, 8, 2}, {6, 12, 2}};
constexpr int kClockYearBase = 2000;

constexpr int kFirstWordByte = 2;  // status, one unused byte, then big-endian words

// The characters of a field that the reply holds: a short reply gives a shorter or empty field.
std::string_view presentChars(std::string_view reply, int position, int length) {
  const auto from = static_cast<std::size_t>(position - 1);
  if (from >= reply.size()) return {};
  return reply.substr(from, static_cast<std::size_t>(length));
}

// Hex digits as the drive sends them; four digits read as signed 16-bit.
std::optional<int> hexFieldValue(std::string_view digits) {
  if (digits.empty()) return 0;
  const std::optional<std::uint64_t> value = HexDigitsValue(digits);
  if (!value || digits.size() > 8) return std::nullopt;
  if (digits.size() == 4) return static_cast<std::int16_t>(*value);
  return static_cast<int>(*value);
}

// Two decimal digits: a leading zero below 10, only the last two digits above 99.
std::string twoDigitText(int value) {
  const int lastTwo = ((value % 100) + 100) % 100;
  char text[4];
  std::snprintf(text, sizeof text, "%02d", lastTwo);
  return text;
}

// Missing bytes of a short reply read as 0: the words are passed through, not interpreted.
std::uint8_t byteOrZero(const std::vector<std::uint8_t>& reply, int offset) {
  return offset < static_cast<int>(reply.size()) ? reply[static_cast<std::size_t>(offset)] : 0;
}

std::string wordHexText(const std::vector<std::uint8_t>& reply, int offset) {
  return HexByteText(byteOrZero(reply, offset)) + HexByteText(byteOrZero(reply, offset + 1));
}

}  // namespace

void StatusRequests::ReadDriveClock() {
  ExchangeState& state = exchange_.state();
  if (!exchange_.transact("J", ReplyForm::Text)) return;
  const std::string_view reply = state.ReplyText;
  std::array<std::string, 7> clock;
  auto decode = [&](const ClockField& field, auto&& format) {
    const std::string_view digits = presentChars(reply, field.position, field.digits);
    if (digits.empty()) return true;  // field beyond a short reply stays empty
    const std::optional<int> value = hexFieldValue(digits);
    if (!value) return false;
    clock[field.index] = format(*value);
    return true;
  };
  bool ok = decode(kClockYear, [](int value) { return std::to_string(value + kClockYearBase); });
  for (const ClockField& field : kClockTwoDigitFields) ok = ok && decode(field, twoDigitText);
  if (!ok) {
    state.abortWith("Malformed reply to \"J\": non-hex character in the drive clock");
    return;
  }
  for (int index = kClockYearIndex; index <= 6; ++index) table_.DriveStatusText[index] = clock[index];
}

void StatusRequests::ReadSseqOutputs() {
  ExchangeState& state = exchange_.state();
  if (!exchange_.transact("ZS", ReplyForm::Binary)) return;
  table_.DriveStatusText[kSseqOut1Index] = wordHexText(state.ReplyBytes, kFirstWordByte);
  table_.DriveStatusText[kSseqOut2Index] = wordHexText(state.ReplyBytes, kFirstWordByte + 2);
}

void StatusRequests::ReadPrCodes() {
  ExchangeState& state = exchange_.state();
  if (!exchange_.transact("SP", ReplyForm::Binary)) return;
  for (int k = 0; k < kPrCodeCount; ++k)
    table_.DriveStatusText[kFirstPrCodeIndex + k] = wordHexText(state.ReplyBytes, kFirstWordByte + 2 * k);
}

}  // namespace quillon
