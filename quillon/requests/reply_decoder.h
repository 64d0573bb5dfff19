#pragma once
// Bounds-checked reading of reply fields. Text replies: 1-based character positions of
// `ReplyText` (a double-byte character of the drive's code page is one position, as is a byte
// held for want of a character), fields of hexadecimal digits, most significant first.
// Binary replies: 0-based, big-endian.
// 4 digits / 2 bytes read as signed 16-bit, 8 digits / 4 bytes as signed 32-bit.
//
// The first field that lies outside the reply, or holds a non-hex digit, ends the run like an
// abort with a message naming the command; every read after that returns 0. A routine decodes
// into locals and stores them only when ok() is still true, so nothing is taken from a bad reply.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "quillon/requests/exchange.h"

namespace quillon {

// The message that ends a run on a malformed reply: Malformed reply to "<command>": <why>.
std::string MalformedReplyText(std::string_view command, const std::string& why);

class TextReplyDecoder {
 public:
  TextReplyDecoder(ExchangeState& state, std::string_view command);
  std::uint8_t hex8(int position);
  std::int16_t hex16(int position);
  std::int32_t hex32(int position);
  // Hex digits of any width up to 8, unsigned.
  std::uint32_t hexUnsigned(int position, int digits);
  // The characters at [position, position + length), kept as text.
  std::string chars(int position, int length);
  // The characters from `position` to the end; empty, without failing, for a shorter reply.
  std::string charsFrom(int position) const;
  // The reply's length in characters.
  int length() const { return characterCount_; }
  bool ok() const { return ok_; }

 private:
  bool require(int position, int length);
  void fail(const std::string& why);
  // Byte offset in the reply of the character at `position` (1 to length() + 1).
  std::size_t offsetOf(int position) const;
  ExchangeState& state_;
  std::string command_;
  const std::string& reply_;
  // Where each character starts; empty for an all-ASCII reply, whose characters are its bytes.
  std::vector<std::size_t> starts_;
  int characterCount_ = 0;
  bool ok_ = true;
};

class BinaryReplyDecoder {
 public:
  BinaryReplyDecoder(ExchangeState& state, std::string_view command);
  std::uint8_t u8(int offset);
  std::uint16_t u16(int offset);
  std::int16_t s16(int offset);
  std::uint32_t u32(int offset);
  std::int32_t s32(int offset);
  // out.size() consecutive values of `width` bytes (2: signed 16-bit, 4: signed 32-bit) from
  // `offset` on, bounds-checked once for the whole run; false, with the run ended as for any
  // field, when the reply is too short for all of them.
  bool signedRun(int offset, int width, std::span<std::int32_t> out);
  int length() const { return static_cast<int>(reply_.size()); }
  bool ok() const { return ok_; }

 private:
  bool require(int offset, int length);
  ExchangeState& state_;
  std::string command_;
  const std::vector<std::uint8_t>& reply_;
  bool ok_ = true;
};

}  // namespace quillon
