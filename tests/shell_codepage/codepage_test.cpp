// The ANSI code page: round trips, bytes without a character, and MidMbcs byte positions.
#include <gtest/gtest.h>

#include "platform/shell/codepage.h"

TEST(ShellCodePage, Windows1252RoundTripsEveryByte) {
  ASSERT_EQ(shell::ansiCodePage(), "windows-1252");
  EXPECT_EQ(shell::toAnsi("caf\xC3\xA9 \xE2\x82\xAC"), "caf\xE9 \x80");
  EXPECT_EQ(shell::fromAnsi("caf\xE9 \x80"), "caf\xC3\xA9 \xE2\x82\xAC");
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  EXPECT_EQ(shell::toAnsi(shell::fromAnsi(all)), all);
  EXPECT_EQ(shell::fromAnsi(std::string("\x81", 1)), "\xC2\x81");
  // Characters the code page lacks, and broken UTF-8, become '?'.
  EXPECT_EQ(shell::toAnsi("\xE6\x97\xA5" "a"), "?a");
  EXPECT_EQ(shell::toAnsi("\xFF" "b"), "?b");
  EXPECT_EQ(shell::toAnsi(std::string("a\0b", 3)), std::string("a\0b", 3));
  const std::string longText(5000, 'x');
  EXPECT_EQ(shell::toAnsi(longText), longText);
}

TEST(ShellCodePage, MidMbcsCountsBytesOfTheAnsiForm) {
  EXPECT_EQ(shell::MidMbcs("\x15" "0A", 1, 1), "\x15");
  EXPECT_EQ(shell::MidMbcs("\x15" "0A", 2, 1), "0");
  EXPECT_EQ(shell::MidMbcs("abc", 2, -1), "bc");
  EXPECT_EQ(shell::MidMbcs("abc", 3, 10), "c");
  EXPECT_EQ(shell::MidMbcs("abc", 4, 1), "");
  EXPECT_EQ(shell::MidMbcs("abc", 0, 2), "a");
  EXPECT_EQ(shell::MidMbcs("abc", 2, 0), "");
  EXPECT_EQ(shell::MidMbcs("", 1, 1), "");
  EXPECT_EQ(shell::MidMbcs("\xC3\xA9x", 2, 1), "x");  // é is one byte in windows-1252

  // In a double-byte code page one character spans two positions.
  ASSERT_TRUE(shell::setAnsiCodePage("SHIFT_JIS"));
  const std::string nichi = "\xE6\x97\xA5";  // 日
  EXPECT_EQ(shell::toAnsi(nichi).size(), 2u);
  EXPECT_EQ(shell::MidMbcs(nichi + "A", 3, 1), "A");
  EXPECT_EQ(shell::MidMbcs(nichi + "A", 1, 2), nichi);
  EXPECT_FALSE(shell::MidMbcs(nichi + "A", 1, 1).empty());  // half a character still gives something
  EXPECT_FALSE(shell::setAnsiCodePage("no-such-code-page"));
  EXPECT_EQ(shell::ansiCodePage(), "SHIFT_JIS");
  ASSERT_TRUE(shell::setAnsiCodePage("windows-1252"));
}

TEST(ShellCodePage, PlainAsciiIsConvertedWhereTheCodePageMovesIt) {
  // An EBCDIC page keeps no ASCII code where it was: plain letters and digits still convert.
  ASSERT_TRUE(shell::setAnsiCodePage("IBM037"));
  EXPECT_EQ(shell::toAnsi("A1"), "\xC1\xF1");
  EXPECT_EQ(shell::fromAnsi("\xC1\xF1"), "A1");
  EXPECT_EQ(shell::MidMbcs("AB", 2, 1), "B");
  ASSERT_TRUE(shell::setAnsiCodePage("windows-1252"));
  EXPECT_EQ(shell::toAnsi("A1"), "A1");
  EXPECT_EQ(shell::fromAnsi(std::string("\x15\x00" "Z", 3)), std::string("\x15\x00" "Z", 3));
}
