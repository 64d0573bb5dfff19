#include "quillon/convert/utf16_text.h"

#include <cstdint>

#include "platform/shell/codepage.h"

namespace quillon {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

void appendUnitLe(std::string& out, std::uint32_t unit) {
  out.push_back(static_cast<char>(unit & 0xFF));
  out.push_back(static_cast<char>((unit >> 8) & 0xFF));
}

// The next code point of UTF-8 text at `at`, which moves past it.
char32_t nextCodePoint(std::string_view text, std::size_t& at) {
  const auto lead = static_cast<unsigned char>(text[at++]);
  if (lead < 0x80) return lead;
  int extra = (lead & 0xE0) == 0xC0 ? 1 : (lead & 0xF0) == 0xE0 ? 2 : (lead & 0xF8) == 0xF0 ? 3 : -1;
  if (extra < 0 || at + static_cast<std::size_t>(extra) > text.size()) return kReplacement;
  char32_t code = lead & (0x3F >> extra);
  for (int k = 0; k < extra; ++k) {
    const auto next = static_cast<unsigned char>(text[at]);
    if ((next & 0xC0) != 0x80) return kReplacement;
    code = code << 6 | (next & 0x3F);
    ++at;
  }
  return code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF) ? kReplacement : code;
}

}  // namespace

std::string Utf16BytesToUtf8(std::string_view bytes) {
  bool bigEndian = false;
  std::size_t at = 0;
  if (bytes.size() >= 2) {
    const auto first = static_cast<unsigned char>(bytes[0]), second = static_cast<unsigned char>(bytes[1]);
    if (first == 0xFF && second == 0xFE) at = 2;
    else if (first == 0xFE && second == 0xFF) bigEndian = true, at = 2;
  }
  auto unitAt = [&](std::size_t i) -> std::uint32_t {
    const auto a = static_cast<unsigned char>(bytes[i]), b = static_cast<unsigned char>(bytes[i + 1]);
    return bigEndian ? (std::uint32_t{a} << 8 | b) : (std::uint32_t{b} << 8 | a);
  };
  std::string out;
  out.reserve(bytes.size() / 2);
  while (at + 1 < bytes.size()) {
    std::uint32_t unit = unitAt(at);
    at += 2;
    if (unit >= 0xD800 && unit <= 0xDBFF && at + 1 < bytes.size()) {
      const std::uint32_t low = unitAt(at);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        at += 2;
        platform::shell::AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
        continue;
      }
    }
    platform::shell::AppendUtf8(out, unit >= 0xD800 && unit <= 0xDFFF ? kReplacement : unit);
  }
  return out;
}

std::string Utf8ToUtf16LeWithMark(std::string_view text) {
  std::string out;
  out.reserve(2 * text.size() + 2);
  appendUnitLe(out, 0xFEFF);
  for (std::size_t at = 0; at < text.size();) {
    const char32_t code = nextCodePoint(text, at);
    if (code >= 0x10000) {
      appendUnitLe(out, 0xD800 + ((code - 0x10000) >> 10));
      appendUnitLe(out, 0xDC00 + ((code - 0x10000) & 0x3FF));
    } else {
      appendUnitLe(out, code);
    }
  }
  return out;
}

}  // namespace quillon
