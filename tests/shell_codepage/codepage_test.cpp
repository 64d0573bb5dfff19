// The ANSI code page as a value: exact round trips of any bytes, bytes without a character,
// MidMbcs byte positions, and which names are taken.
#include <gtest/gtest.h>

#include <random>

#include "platform/shell/codepage.h"

using platform::shell::CodePage;

namespace {

CodePage named(const std::string& name) {
  std::string why;
  const std::optional<CodePage> page = CodePage::Named(name, &why);
  EXPECT_TRUE(page.has_value()) << why;
  return page.value_or(CodePage());
}

const std::string kA = "\xE3\x81\x82";     // あ, 82 A0 in Shift-JIS
const std::string kNichi = "\xE6\x97\xA5";  // 日, 93 FA

}  // namespace

TEST(ShellCodePage, Windows1252ByDefault) {
  const CodePage page;
  EXPECT_EQ(page.name(), "windows-1252");
  EXPECT_EQ(page.toAnsi("caf\xC3\xA9 \xE2\x82\xAC"), "caf\xE9 \x80");
  EXPECT_EQ(page.fromAnsi("caf\xE9 \x80"), "caf\xC3\xA9 \xE2\x82\xAC");
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  EXPECT_EQ(page.toAnsi(page.fromAnsi(all)), all);
  EXPECT_EQ(page.fromAnsi(std::string("\x81", 1)), "\xC2\x81");  // no character: held as U+0081
  // Characters the code page lacks, and broken UTF-8, become '?'.
  EXPECT_EQ(page.toAnsi(kNichi + "a"), "?a");
  EXPECT_EQ(page.toAnsi("\xFF" "b"), "?b");
  EXPECT_EQ(page.toAnsi(std::string("a\0b", 3)), std::string("a\0b", 3));
  const std::string longText(5000, 'x');
  EXPECT_EQ(page.toAnsi(longText), longText);
  EXPECT_EQ(page.toAnsi(std::string(3000, '\xC3') + "\xA9"), std::string(2999, '?') + "\xE9");
}

TEST(ShellCodePage, AnyBytesComeBackExactlyInEveryCodePage) {
  std::mt19937 random(19);
  for (const char* name : {"windows-1252", "CP932", "SHIFT_JIS", "CP936", "CP949", "CP950", "windows-1251"}) {
    SCOPED_TRACE(name);
    const CodePage page = named(name);
    for (int n = 0; n < 3000; ++n) {
      std::string bytes(1 + random() % 9, '\0');
      for (char& b : bytes) b = static_cast<char>(random() % 2 ? 0x80 + random() % 0x80 : random() % 0x100);
      const std::string text = page.fromAnsi(bytes);
      ASSERT_EQ(page.toAnsi(text), bytes);
      // What the files and messages get is valid UTF-8.
      for (std::size_t i = 0; i < text.size(); i += platform::shell::Utf8CharacterLength(text, i))
        ASSERT_FALSE(platform::shell::Utf8CharacterLength(text, i) == 1 && static_cast<unsigned char>(text[i]) >= 0x80);
    }
  }
}

TEST(ShellCodePage, ShiftJisTextsAndTheBytesThatAreNone) {
  const CodePage cp932 = named("CP932");
  EXPECT_EQ(cp932.toAnsi(kA), "\x82\xA0");
  EXPECT_EQ(cp932.fromAnsi("\x82\xA0"), kA);
  EXPECT_EQ(cp932.fromAnsi("\x83\x41\x83\x43"), "\xE3\x82\xA2\xE3\x82\xA4");  // アイ: trail bytes that look like ASCII
  // A lead byte without its trail is held as the byte's own character, and written back.
  EXPECT_EQ(cp932.fromAnsi("A\x82"), "A\xC2\x82");
  EXPECT_EQ(cp932.toAnsi("A\xC2\x82"), "A\x82");
  // 0xF7 alone: U+00F7 is "÷" there (81 80), so the byte is held in the private use area.
  EXPECT_EQ(cp932.fromAnsi("\xF7"), "\xEF\x9F\xB7");
  EXPECT_EQ(cp932.toAnsi(cp932.fromAnsi("\xF7")), "\xF7");
  EXPECT_EQ(cp932.toAnsi("\xC3\xB7"), "\x81\x80");  // a real "÷" stays one
  // ED 40 and FA 5C are the same character; the drive's code is the one kept.
  EXPECT_EQ(cp932.toAnsi(cp932.fromAnsi("\xED\x40")), "\xED\x40");
  EXPECT_EQ(cp932.toAnsi(cp932.fromAnsi("\xFA\x5C")), "\xFA\x5C");

  // Shift-JIS proper reads 5C as the yen sign, and writes it back as 5C.
  const CodePage sjis = named("SHIFT_JIS");
  EXPECT_EQ(sjis.fromAnsi("C:\x5C"), "C:\xC2\xA5");
  EXPECT_EQ(sjis.toAnsi("C:\xC2\xA5"), "C:\x5C");
  // Two code pages at once: neither is a setting of the process.
  EXPECT_EQ(CodePage().toAnsi(kA), "?");
  EXPECT_EQ(sjis.toAnsi(kA), "\x82\xA0");
}

TEST(ShellCodePage, MidMbcsCountsBytesOfTheAnsiForm) {
  const CodePage page;
  EXPECT_EQ(page.MidMbcs("\x15" "0A", 1, 1), "\x15");
  EXPECT_EQ(page.MidMbcs("\x15" "0A", 2, 1), "0");
  EXPECT_EQ(page.MidMbcs("abc", 2, -1), "bc");
  EXPECT_EQ(page.MidMbcs("abc", 3, 10), "c");
  EXPECT_EQ(page.MidMbcs("abc", 4, 1), "");
  EXPECT_EQ(page.MidMbcs("abc", 0, 2), "a");
  EXPECT_EQ(page.MidMbcs("abc", 2, 0), "");
  EXPECT_EQ(page.MidMbcs("", 1, 1), "");
  EXPECT_EQ(page.MidMbcs("\xC3\xA9x", 2, 1), "x");  // é is one byte in windows-1252

  // In a double-byte code page one character spans two positions; a boundary inside it gives
  // the half as its held byte, which converts back to exactly that byte.
  const CodePage sjis = named("SHIFT_JIS");
  EXPECT_EQ(sjis.MidMbcs(kNichi + "A", 3, 1), "A");
  EXPECT_EQ(sjis.MidMbcs(kNichi + "A", 1, 2), kNichi);
  EXPECT_EQ(sjis.toAnsi(sjis.MidMbcs(kNichi + "A", 1, 1)), "\x93");
  EXPECT_EQ(sjis.toAnsi(sjis.MidMbcs(kNichi + "A", 2, 2)), "\xFA" "A");
}

TEST(ShellCodePage, TakesTheUsualNamesAndRefusesPagesThatCannotCarryReplies) {
  for (const char* name : {"CP932", "SHIFT_JIS", "SJIS", "windows-1252", "CP1252", "cp1252", "EUC-JP", "UTF-8"}) {
    std::string why;
    const std::optional<CodePage> page = CodePage::Named(name, &why);
    ASSERT_TRUE(page) << name << ": " << why;
    EXPECT_EQ(page->name(), name);
    EXPECT_EQ(page->toAnsi("QT 0123,\r\n"), "QT 0123,\r\n");
  }
  std::string why;
  EXPECT_FALSE(CodePage::Named("no-such-code-page", &why));
  EXPECT_NE(why.find("does not know"), std::string::npos) << why;
  // Wide, EBCDIC and shifting pages move or swallow the ASCII of the drive's replies.
  for (const char* name : {"UTF-16", "UTF-32", "IBM037", "ISO-2022-JP", "UTF-7"}) {
    EXPECT_FALSE(CodePage::Named(name, &why)) << name;
    EXPECT_NE(why.find("cannot carry"), std::string::npos) << why;
  }
}
