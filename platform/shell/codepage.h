#pragma once
// An ANSI code page: texts (UTF-8 here) to and from their single/multi-byte form. A value that
// is handed to whoever converts (the control, the writers, the archiver, the drive database),
// never a setting of the process.
//
// The conversion is exact both ways for every byte string: toAnsi(fromAnsi(bytes)) == bytes.
// A byte that does not begin a character of the code page, or begins one that the code page
// writes back with other bytes (the few characters that have two codes), is held as a
// character the code page cannot hold: the byte's own value U+0080..U+00FF where that is free
// (windows-1252 0x81 travels as U+0081, as on Windows), else U+F780..U+F7FF, else
// U+10FF80..U+10FFFF. toAnsi turns such a character back into its byte, so a drive's text
// survives into the files byte for byte, even half of a double-byte character.
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace platform::shell {

inline constexpr const char* kDefaultAnsiCodePage = "windows-1252";

class CodePage {
 public:
  // windows-1252.
  CodePage();

  // The code page iconv knows as `name` (CP932, SHIFT_JIS, SJIS, windows-1252, CP1252, ...).
  // Nothing, with `why` set, when iconv does not know it or when it cannot carry the drive's
  // replies: each of the 128 ASCII bytes must be one character of its own, and digits,
  // letters, blank, comma, CR and LF must be themselves (UTF-16, EBCDIC and the ISO-2022
  // pages are refused).
  static std::optional<CodePage> Named(const std::string& name, std::string* why = nullptr);

  const std::string& name() const;

  // A character the code page cannot hold becomes '?' (a held byte: that byte).
  std::string toAnsi(std::string_view text) const;
  // The same, appended to `out` (a file's buffer: plain ASCII costs no allocation).
  void appendAnsi(std::string& out, std::string_view text) const;
  std::string fromAnsi(std::string_view ansi) const;

  // The part of `text` at the 1-based byte positions start .. start + length - 1 of its ANSI
  // form, converted back. Positions outside the form are left out; a negative length means
  // to the end. Half of a double-byte character comes back as its held byte.
  std::string MidMbcs(std::string_view text, int start, int length) const;

 private:
  struct Converters;
  explicit CodePage(std::shared_ptr<Converters> converters);
  std::shared_ptr<Converters> converters_;
};

// Appends the UTF-8 form of one code point (up to U+10FFFF).
void AppendUtf8(std::string& out, char32_t code);

// Byte length of the UTF-8 character that starts at `offset` of `text` (1 for a byte that
// starts none), so that character positions can be counted.
std::size_t Utf8CharacterLength(std::string_view text, std::size_t offset);

}  // namespace platform::shell
