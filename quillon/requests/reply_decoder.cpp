#include "quillon/requests/reply_decoder.h"

#include <algorithm>
#include <cassert>
#include <cstdio>

#include "platform/shell/codepage.h"

namespace quillon {

void ExchangeState::abortWith(std::string message) {
  if (!AbortFlag || ErrorText.empty()) ErrorText = std::move(message);
  AbortFlag = true;
}

std::string HexByteText(std::uint8_t value) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  return {kDigits[value >> 4], kDigits[value & 0xF]};
}

namespace {

int hexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

std::optional<std::uint64_t> HexDigitsValue(std::string_view digits) {
  if (digits.empty() || digits.size() > 16) return std::nullopt;
  std::uint64_t value = 0;
  for (const char c : digits) {
    const int digit = hexDigitValue(c);
    if (digit < 0) return std::nullopt;
    value = value << 4 | static_cast<std::uint64_t>(digit);
  }
  return value;
}

std::string NakMessage(std::optional<std::uint8_t> toolErrorCode) {
  std::string code = "none";
  if (toolErrorCode) {
    char hex[3];
    std::snprintf(hex, sizeof hex, "%X", static_cast<unsigned>(*toolErrorCode));
    code = std::string(hex) + "h";
  }
  return "Received \"NAK\"\r\nTool Error Code = " + code;
}

std::string RefusalText(std::optional<std::uint8_t> toolErrorCode, std::string_view request,
                        std::string_view destination) {
  return NakMessage(toolErrorCode) + "\r\nRequest \"" + std::string(request) + "\" to " + std::string(destination);
}

std::string TimeoutText(std::string_view destination, std::string_view request, int sends) {
  const std::size_t colon = destination.rfind(':');
  const bool known = colon != std::string_view::npos;
  const std::string address = known ? "that " + std::string(destination.substr(0, colon)) + " is the drive's address"
                                    : std::string("the drive's address");
  const std::string port = known ? std::string(destination.substr(colon + 1)) : std::to_string(kDrivePort);
  return "Timeout: no answer from " + std::string(destination) + " to \"" + std::string(request) + "\" after " +
         std::to_string(sends) + " sends\r\nCheck " + address + " (--drive), that the drive is powered and its " +
         "network cable plugged in, and that UDP port " + port + " on it can be reached from here (a firewall may " +
         "block it).";
}

std::string MalformedReplyText(std::string_view command, const std::string& why) {
  return "Malformed reply to \"" + std::string(command) + "\": " + why;
}

TextReplyDecoder::TextReplyDecoder(ExchangeState& state, std::string_view command)
    : state_(state), command_(command), reply_(state.ReplyText) {
  const bool ascii =
      std::all_of(reply_.begin(), reply_.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  if (ascii) {
    characterCount_ = static_cast<int>(reply_.size());
    return;
  }
  for (std::size_t offset = 0; offset < reply_.size(); offset += platform::shell::Utf8CharacterLength(reply_, offset))
    starts_.push_back(offset);
  characterCount_ = static_cast<int>(starts_.size());
  starts_.push_back(reply_.size());
}

std::size_t TextReplyDecoder::offsetOf(int position) const {
  assert(position >= 1 && position <= characterCount_ + 1);
  const auto index = static_cast<std::size_t>(position - 1);
  return starts_.empty() ? index : starts_[index];
}

void TextReplyDecoder::fail(const std::string& why) {
  if (!ok_) return;
  ok_ = false;
  state_.abortWith(MalformedReplyText(command_, why));
}

bool TextReplyDecoder::require(int position, int length) {
  if (!ok_) return false;
  if (position < 1 || length < 0 || position - 1 + length > characterCount_) {
    fail("expected at least " + std::to_string(position - 1 + length) + " characters, got " +
         std::to_string(characterCount_));
    return false;
  }
  return true;
}

std::uint32_t TextReplyDecoder::hexUnsigned(int position, int digits) {
  if (digits < 1 || digits > 8 || !require(position, digits)) return 0;
  std::uint32_t value = 0;
  for (int i = 0; i < digits; ++i) {
    const std::size_t at = offsetOf(position + i);
    // A character of more than one byte is no digit either.
    const int digit = offsetOf(position + i + 1) == at + 1 ? hexDigitValue(reply_[at]) : -1;
    if (digit < 0) {
      fail("non-hex character at position " + std::to_string(position + i));
      return 0;
    }
    value = value << 4 | static_cast<std::uint32_t>(digit);
  }
  return value;
}

std::uint8_t TextReplyDecoder::hex8(int position) { return static_cast<std::uint8_t>(hexUnsigned(position, 2)); }
std::int16_t TextReplyDecoder::hex16(int position) { return static_cast<std::int16_t>(hexUnsigned(position, 4)); }
std::int32_t TextReplyDecoder::hex32(int position) { return static_cast<std::int32_t>(hexUnsigned(position, 8)); }

std::string TextReplyDecoder::chars(int position, int length) {
  if (!require(position, length)) return {};
  const std::size_t first = offsetOf(position);
  return reply_.substr(first, offsetOf(position + length) - first);
}

std::string TextReplyDecoder::charsFrom(int position) const {
  if (position < 1 || position > characterCount_) return {};
  return reply_.substr(offsetOf(position));
}

BinaryReplyDecoder::BinaryReplyDecoder(ExchangeState& state, std::string_view command)
    : state_(state), command_(command), reply_(state.ReplyBytes) {}

bool BinaryReplyDecoder::require(int offset, int length) {
  if (!ok_) return false;
  if (offset < 0 || offset + length > static_cast<int>(reply_.size())) {
    ok_ = false;
    state_.abortWith(MalformedReplyText(command_, "expected at least " + std::to_string(offset + length) +
                                                      " bytes, got " + std::to_string(reply_.size())));
    return false;
  }
  return true;
}

std::uint8_t BinaryReplyDecoder::u8(int offset) {
  return require(offset, 1) ? reply_[static_cast<std::size_t>(offset)] : 0;
}

std::uint16_t BinaryReplyDecoder::u16(int offset) {
  if (!require(offset, 2)) return 0;
  const auto at = static_cast<std::size_t>(offset);
  return static_cast<std::uint16_t>(reply_[at] << 8 | reply_[at + 1]);
}

std::int16_t BinaryReplyDecoder::s16(int offset) { return static_cast<std::int16_t>(u16(offset)); }

bool BinaryReplyDecoder::signedRun(int offset, int width, std::span<std::int32_t> out) {
  assert(width == 2 || width == 4);
  if (!require(offset, width * static_cast<int>(out.size()))) return false;
  const std::uint8_t* at = reply_.data() + offset;
  if (width == 2) {
    for (std::int32_t& value : out) {
      value = static_cast<std::int16_t>(at[0] << 8 | at[1]);
      at += 2;
    }
  } else {
    for (std::int32_t& value : out) {
      value = static_cast<std::int32_t>(static_cast<std::uint32_t>(at[0]) << 24 | static_cast<std::uint32_t>(at[1]) << 16 |
                                        static_cast<std::uint32_t>(at[2]) << 8 | at[3]);
      at += 4;
    }
  }
  return true;
}

std::uint32_t BinaryReplyDecoder::u32(int offset) {
  if (!require(offset, 4)) return 0;
  const auto at = static_cast<std::size_t>(offset);
  return static_cast<std::uint32_t>(reply_[at]) << 24 | static_cast<std::uint32_t>(reply_[at + 1]) << 16 |
         static_cast<std::uint32_t>(reply_[at + 2]) << 8 | reply_[at + 3];
}

std::int32_t BinaryReplyDecoder::s32(int offset) { return static_cast<std::int32_t>(u32(offset)); }

}  // namespace quillon
