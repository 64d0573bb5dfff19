#include "platform/shell/codepage.h"

#include <iconv.h>

#include <array>
#include <cassert>
#include <cerrno>
#include <map>
#include <mutex>

namespace platform::shell {

namespace {

const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);

// The longest character of any code page iconv offers (GB18030 has four bytes).
constexpr std::size_t kLongestCharacter = 4;

// Where a byte that is no character is held, in the order tried: the first block whose
// character for the byte the code page cannot hold.
constexpr std::array<char32_t, 3> kHeldByteBlocks = {0x0000, 0xF700, 0x10FF00};
constexpr char32_t kReplacementCharacter = 0xFFFD;

// Outcome of one iconv pass: 0 or the errno that stopped it, and the input bytes used.
struct Pass {
  int error = 0;
  std::size_t used = 0;
};

// Converts as much of `input` as iconv can, appending to `out`.
Pass convertPart(iconv_t cd, std::string_view input, std::string& out) {
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  std::array<char, 256> chunk;
  char* in = const_cast<char*>(input.data());
  std::size_t inLeft = input.size();
  for (;;) {
    char* outPtr = chunk.data();
    std::size_t outLeft = chunk.size();
    const std::size_t rc = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    const int error = rc == static_cast<std::size_t>(-1) ? errno : 0;
    out.append(chunk.data(), chunk.size() - outLeft);
    if (error == E2BIG) continue;
    if (error == 0) {
      // A code page with shift states ends in its initial one.
      outPtr = chunk.data();
      outLeft = chunk.size();
      iconv(cd, nullptr, nullptr, &outPtr, &outLeft);
      out.append(chunk.data(), chunk.size() - outLeft);
    }
    return {error, input.size() - inLeft};
  }
}

// The whole of `input` converted, or nothing at the first thing iconv cannot convert.
std::optional<std::string> convertWhole(iconv_t cd, std::string_view input) {
  std::string out;
  if (convertPart(cd, input, out).error != 0) return std::nullopt;
  return out;
}

bool isAscii(std::string_view text) {
  for (const char c : text)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

// The code point of the UTF-8 character at `offset`; 0xFFFFFFFF for a byte that starts none.
char32_t decodeUtf8(std::string_view s, std::size_t offset, std::size_t& length) {
  const auto b0 = static_cast<unsigned char>(s[offset]);
  std::size_t len = b0 < 0x80 ? 1 : (b0 >> 5) == 6 ? 2 : (b0 >> 4) == 14 ? 3 : (b0 >> 3) == 30 ? 4 : 0;
  length = 1;
  if (len == 0 || offset + len > s.size()) return 0xFFFFFFFF;
  char32_t c = len == 1 ? b0 : b0 & (0x7F >> len);
  for (std::size_t i = 1; i < len; ++i) {
    const auto b = static_cast<unsigned char>(s[offset + i]);
    if ((b & 0xC0) != 0x80) return 0xFFFFFFFF;
    c = (c << 6) | (b & 0x3F);
  }
  length = len;
  return c;
}

std::string utf8Of(char32_t code) {
  std::string out;
  AppendUtf8(out, code);
  return out;
}

}  // namespace

struct CodePage::Converters {
  std::string name;
  iconv_t encoder = kNoConverter;  // UTF-8 to the code page
  iconv_t decoder = kNoConverter;  // the code page to UTF-8
  // Every one of the 128 ASCII bytes is the same character: pure ASCII needs no conversion.
  bool keepsAscii = false;
  // The character each byte 0x80..0xFF is held as when it is no character, and back.
  std::array<char32_t, 128> heldAs{};
  std::map<char32_t, char> heldByte;
  // iconv descriptors keep state: one conversion at a time.
  std::mutex mutex;

  ~Converters() {
    if (encoder != kNoConverter) iconv_close(encoder);
    if (decoder != kNoConverter) iconv_close(decoder);
  }

  void appendAnsi(std::string& out, std::string_view text);
  std::string fromAnsi(std::string_view ansi);
  // Decodes the character at the start of `ansi` when it is one the code page writes back with
  // the same bytes; its byte length, or 0.
  std::size_t exactCharacter(std::string_view ansi, std::string& out);
  // Why the code page cannot carry the drive's replies; empty when it can.
  std::string unfitForReplies();
  void chooseHeldBytes();
};

std::size_t CodePage::Converters::exactCharacter(std::string_view ansi, std::string& out) {
  for (std::size_t length = 1; length <= std::min(kLongestCharacter, ansi.size()); ++length) {
    std::string text;
    const Pass pass = convertPart(decoder, ansi.substr(0, length), text);
    if (pass.error == EINVAL) continue;  // the character goes on
    if (pass.error != 0 || pass.used != length || text.empty()) return 0;
    const std::optional<std::string> back = convertWhole(encoder, text);
    if (!back || *back != ansi.substr(0, length)) return 0;
    out += text;
    return length;
  }
  return 0;
}

std::string CodePage::Converters::fromAnsi(std::string_view ansi) {
  if (keepsAscii && isAscii(ansi)) return std::string(ansi);
  std::lock_guard lock(mutex);
  // The usual case, a text the code page reads and writes back unchanged, in two passes.
  if (std::optional<std::string> text = convertWhole(decoder, ansi)) {
    const std::optional<std::string> back = convertWhole(encoder, *text);
    if (back && *back == ansi) return std::move(*text);
  }
  std::string out;
  std::size_t pos = 0;
  while (pos < ansi.size()) {
    const auto byte = static_cast<unsigned char>(ansi[pos]);
    if (keepsAscii && byte < 0x80) {
      out.push_back(static_cast<char>(byte));
      ++pos;
    } else if (const std::size_t length = exactCharacter(ansi.substr(pos), out); length > 0) {
      pos += length;
    } else {
      // An ASCII byte is always a character of its own (see unfitForReplies).
      assert(byte >= 0x80);
      AppendUtf8(out, heldAs[byte - 0x80]);
      ++pos;
    }
  }
  return out;
}

void CodePage::Converters::appendAnsi(std::string& out, std::string_view text) {
  if (keepsAscii && isAscii(text)) {
    out += text;
    return;
  }
  std::lock_guard lock(mutex);
  std::size_t pos = 0;
  while (pos < text.size()) {
    const Pass pass = convertPart(encoder, text.substr(pos), out);
    pos += pass.used;
    if (pass.error == 0) break;
    if (pass.error != EILSEQ && pass.error != EINVAL) {
      out.push_back('?');
      ++pos;
      continue;
    }
    std::size_t length = 1;
    const char32_t code = decodeUtf8(text, pos, length);
    const auto held = heldByte.find(code);
    out.push_back(held != heldByte.end() ? held->second : '?');
    pos += length;
  }
}

std::string CodePage::Converters::unfitForReplies() {
  static constexpr std::string_view kThemselves =
      "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz ,\r\n";
  keepsAscii = true;
  for (int b = 0; b < 0x80; ++b) {
    const std::string byte(1, static_cast<char>(b));
    std::string text;
    if (exactCharacter(byte, text) != 1 || Utf8CharacterLength(text, 0) != text.size())
      return "it does not read the ASCII byte " + std::to_string(b) + " as one character";
    if (text != byte) {
      keepsAscii = false;
      if (kThemselves.find(static_cast<char>(b)) != std::string_view::npos)
        return "it does not read \"" + byte + "\" as itself";
    }
  }
  return {};
}

void CodePage::Converters::chooseHeldBytes() {
  for (int b = 0x80; b < 0x100; ++b) {
    char32_t held = kReplacementCharacter;  // no free character: the byte cannot be kept
    for (const char32_t block : kHeldByteBlocks) {
      const char32_t candidate = block + static_cast<char32_t>(b);
      if (!convertWhole(encoder, utf8Of(candidate))) {
        held = candidate;
        heldByte[candidate] = static_cast<char>(b);
        break;
      }
    }
    heldAs[static_cast<std::size_t>(b - 0x80)] = held;
  }
}

CodePage::CodePage(std::shared_ptr<Converters> converters) : converters_(std::move(converters)) {}

CodePage::CodePage() {
  // Opened once: a default code page costs nothing to make.
  static const std::shared_ptr<Converters> windows1252 = [] {
    std::optional<CodePage> page = Named(kDefaultAnsiCodePage);
    assert(page && "iconv always has windows-1252");
    return page->converters_;
  }();
  converters_ = windows1252;
}

std::optional<CodePage> CodePage::Named(const std::string& name, std::string* why) {
  auto converters = std::make_shared<Converters>();
  converters->name = name;
  converters->encoder = iconv_open(name.c_str(), "UTF-8");
  converters->decoder = iconv_open("UTF-8", name.c_str());
  if (converters->encoder == kNoConverter || converters->decoder == kNoConverter) {
    if (why) *why = "iconv does not know the code page \"" + name + "\"";
    return std::nullopt;
  }
  if (const std::string unfit = converters->unfitForReplies(); !unfit.empty()) {
    if (why) *why = "the code page \"" + name + "\" cannot carry the drive's texts: " + unfit;
    return std::nullopt;
  }
  converters->chooseHeldBytes();
  return CodePage(std::move(converters));
}

const std::string& CodePage::name() const { return converters_->name; }

std::string CodePage::toAnsi(std::string_view text) const {
  std::string out;
  converters_->appendAnsi(out, text);
  return out;
}

void CodePage::appendAnsi(std::string& out, std::string_view text) const { converters_->appendAnsi(out, text); }

std::string CodePage::fromAnsi(std::string_view ansi) const { return converters_->fromAnsi(ansi); }

std::string CodePage::MidMbcs(std::string_view text, int start, int length) const {
  const std::string ansi = toAnsi(text);
  const long first = start < 1 ? 0 : static_cast<long>(start) - 1;
  long last = length < 0 ? static_cast<long>(ansi.size()) : static_cast<long>(start) - 1 + length;
  if (last > static_cast<long>(ansi.size())) last = static_cast<long>(ansi.size());
  if (first >= last) return {};
  return fromAnsi(std::string_view(ansi).substr(static_cast<std::size_t>(first), static_cast<std::size_t>(last - first)));
}

void AppendUtf8(std::string& out, char32_t code) {
  if (code < 0x80) {
    out.push_back(static_cast<char>(code));
  } else if (code < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (code >> 6)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else if (code < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (code >> 12)));
    out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (code >> 18)));
    out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  }
}

std::size_t Utf8CharacterLength(std::string_view text, std::size_t offset) {
  std::size_t length = 1;
  decodeUtf8(text, offset, length);
  return length;
}

}  // namespace platform::shell
