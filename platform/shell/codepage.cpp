#include "platform/shell/codepage.h"

#include <iconv.h>

#include <cerrno>
#include <mutex>
#include <vector>

namespace shell {

namespace {

const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);

// The two converters of the current code page, opened once per setting.
struct CodePage {
  std::string name = kDefaultAnsiCodePage;
  iconv_t toAnsi = kNoConverter;
  iconv_t fromAnsi = kNoConverter;
  // Both directions leave the 128 ASCII codes as they are (windows-1252 and most others do;
  // EBCDIC pages do not): pure ASCII text then needs no conversion at all.
  bool keepsAscii = false;
  std::mutex mutex;

  ~CodePage() { closeConverters(); }
  void closeConverters() {
    if (toAnsi != kNoConverter) iconv_close(toAnsi);
    if (fromAnsi != kNoConverter) iconv_close(fromAnsi);
    toAnsi = fromAnsi = kNoConverter;
  }
  bool open(const std::string& codePage) {
    iconv_t to = iconv_open(codePage.c_str(), "UTF-8");
    if (to == kNoConverter) return false;
    iconv_t from = iconv_open("UTF-8", codePage.c_str());
    if (from == kNoConverter) {
      iconv_close(to);
      return false;
    }
    closeConverters();
    toAnsi = to;
    fromAnsi = from;
    name = codePage;
    keepsAscii = convertsAsciiUnchanged();
    return true;
  }
  bool convertsAsciiUnchanged() const;
};

CodePage& codePage() {
  static CodePage page;
  return page;
}

// Length of the UTF-8 sequence starting at `s`, and its code point; a malformed byte is
// taken alone, as code point 0xFFFFFFFF.
std::size_t decodeUtf8(std::string_view s, char32_t& c) {
  const auto b0 = static_cast<unsigned char>(s[0]);
  std::size_t len = b0 < 0x80 ? 1 : (b0 >> 5) == 6 ? 2 : (b0 >> 4) == 14 ? 3 : (b0 >> 3) == 30 ? 4 : 0;
  if (len == 0 || len > s.size()) {
    c = 0xFFFFFFFF;
    return 1;
  }
  c = len == 1 ? b0 : b0 & (0x7F >> len);
  for (std::size_t i = 1; i < len; ++i) {
    const auto b = static_cast<unsigned char>(s[i]);
    if ((b & 0xC0) != 0x80) {
      c = 0xFFFFFFFF;
      return 1;
    }
    c = (c << 6) | (b & 0x3F);
  }
  return len;
}

// Runs iconv over the whole input; at each byte it cannot convert, `fallback` is asked to
// append something for the bad unit and says how many input bytes it used.
template <typename Fallback>
std::string convert(iconv_t cd, std::string_view input, Fallback fallback) {
  std::string out;
  if (cd == kNoConverter) return std::string(input);
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  std::vector<char> chunk(256);
  std::size_t pos = 0;
  while (pos < input.size()) {
    char* in = const_cast<char*>(input.data() + pos);
    std::size_t inLeft = input.size() - pos;
    char* outPtr = chunk.data();
    std::size_t outLeft = chunk.size();
    const std::size_t rc = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    const int err = rc == static_cast<std::size_t>(-1) ? errno : 0;
    out.append(chunk.data(), chunk.size() - outLeft);
    pos = input.size() - inLeft;
    if (err == E2BIG) continue;
    if (err == EILSEQ || err == EINVAL) {
      pos += fallback(out, input.substr(pos));
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    } else if (err != 0) {
      break;
    }
  }
  // Flush any shift state the code page may keep.
  char* outPtr = chunk.data();
  std::size_t outLeft = chunk.size();
  iconv(cd, nullptr, nullptr, &outPtr, &outLeft);
  out.append(chunk.data(), chunk.size() - outLeft);
  return out;
}

bool isAscii(std::string_view text) {
  for (const char c : text)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

std::size_t skipUnconvertible(std::string& out, std::string_view) {
  out.push_back('?');
  return 1;
}

bool CodePage::convertsAsciiUnchanged() const {
  std::string ascii;
  for (int c = 0; c < 0x80; ++c) ascii.push_back(static_cast<char>(c));
  return convert(toAnsi, ascii, skipUnconvertible) == ascii && convert(fromAnsi, ascii, skipUnconvertible) == ascii;
}

}  // namespace

bool setAnsiCodePage(const std::string& name) {
  CodePage& page = codePage();
  std::lock_guard lock(page.mutex);
  return page.open(name);
}

std::string ansiCodePage() {
  CodePage& page = codePage();
  std::lock_guard lock(page.mutex);
  return page.name;
}

std::string toAnsi(std::string_view text) {
  CodePage& page = codePage();
  std::lock_guard lock(page.mutex);
  if (page.toAnsi == kNoConverter) page.open(page.name);
  if (page.keepsAscii && isAscii(text)) return std::string(text);
  return convert(page.toAnsi, text, [](std::string& out, std::string_view rest) {
    char32_t c = 0;
    const std::size_t used = decodeUtf8(rest, c);
    // U+0080..U+00FF without a character in the code page keep their byte value.
    out.push_back(c >= 0x80 && c <= 0xFF ? static_cast<char>(c) : '?');
    return used;
  });
}

std::string fromAnsi(std::string_view ansi) {
  CodePage& page = codePage();
  std::lock_guard lock(page.mutex);
  if (page.fromAnsi == kNoConverter) page.open(page.name);
  if (page.keepsAscii && isAscii(ansi)) return std::string(ansi);
  return convert(page.fromAnsi, ansi, [](std::string& out, std::string_view rest) {
    AppendUtf8(out, static_cast<unsigned char>(rest[0]));
    return std::size_t{1};
  });
}

std::string MidMbcs(std::string_view text, int start, int length) {
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

}  // namespace shell
