#pragma once
// The system's ANSI code page: texts (UTF-8 here) to and from their single/multi-byte form.
// One setting for the process, "windows-1252" unless changed by name (any iconv name).
#include <string>
#include <string_view>

namespace shell {

inline constexpr const char* kDefaultAnsiCodePage = "windows-1252";

// False (and the setting unchanged) when iconv does not know the name.
bool setAnsiCodePage(const std::string& name);
std::string ansiCodePage();

// A character the code page cannot hold becomes '?'. In windows-1252 the five byte values
// without a character (0x81, 0x8D, 0x8F, 0x90, 0x9D) travel as U+0081 and so on, so that
// any byte string survives fromAnsi followed by toAnsi.
std::string toAnsi(std::string_view text);
std::string fromAnsi(std::string_view ansi);

// The part of `text` at the 1-based byte positions start .. start + length - 1 of its ANSI
// form, converted back. Positions outside the form are left out; a negative length means
// to the end.
std::string MidMbcs(std::string_view text, int start, int length);

// Appends the UTF-8 form of one code point (up to U+10FFFF).
void AppendUtf8(std::string& out, char32_t code);

}  // namespace shell
