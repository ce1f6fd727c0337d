#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "common/ansi.h"
#include "common/code_pages.h"
#include "common/key_names.h"
#include "common/utf.h"
#include "registry_fixture.h"

namespace {

TEST(UtfTest, Utf16ToUtf8EncodesEveryLengthAndReplacesLoneSurrogates) {
  const struct {
    std::u16string utf16;
    std::string utf8;
  } cases[] = {
      {u"", ""},
      {u"COM3", "COM3"},
      {u"\u00E9", "\xC3\xA9"},                                   // two bytes
      {u"\u53D7\u4ED8", "\xE5\x8F\x97\xE4\xBB\x98"},             // three bytes each
      {u"\U0001F5A8", "\xF0\x9F\x96\xA8"},                       // a surrogate pair, four bytes
      {std::u16string(1, u'\xD83D') + u"x", "\xEF\xBF\xBDx"},    // a lone high surrogate
      {std::u16string(1, u'\xDD00'), "\xEF\xBF\xBD"},            // a lone low surrogate
      {std::u16string(u"a\0b", 3), std::string("a\0b", 3)},      // a NUL is converted too
  };
  for (const auto& c : cases) EXPECT_EQ(common::Utf16ToUtf8(c.utf16), c.utf8);
}

// Each sequence at offset 1 of "x" + bytes: what it decodes to, or nothing.
TEST(UtfTest, DecodeUtf8AtTakesWellFormedSequencesOnly) {
  const struct {
    std::string bytes;
    std::optional<char32_t> codePoint;
    std::size_t length;
  } cases[] = {
      {"A", U'A', 1},
      {std::string(1, '\0'), U'\0', 1},
      {"\x7F", 0x7F, 1},
      {"\xC2\x80", 0x80, 2},                  // the smallest of each length
      {"\xDF\xBF", 0x7FF, 2},                 // the largest of each length
      {"\xE0\xA0\x80", 0x800, 3},
      {"\xEF\xBF\xBF", 0xFFFF, 3},
      {"\xF0\x90\x80\x80", 0x10000, 4},
      {"\xF4\x8F\xBF\xBFtail", 0x10FFFF, 4},  // what follows is not read
      {"\xED\x9F\xBF", 0xD7FF, 3},           // just below the surrogates
      {"\xEE\x80\x80", 0xE000, 3},           // just above them
      {"\x80", std::nullopt, 0},               // a continuation byte alone
      {"\xBF", std::nullopt, 0},
      {"\xC0\xAF", std::nullopt, 0},          // overlong forms
      {"\xC1\xBF", std::nullopt, 0},
      {"\xE0\x9F\xBF", std::nullopt, 0},
      {"\xF0\x8F\xBF\xBF", std::nullopt, 0},
      {"\xED\xA0\x80", std::nullopt, 0},     // an encoded surrogate
      {"\xED\xBF\xBF", std::nullopt, 0},
      {"\xF4\x90\x80\x80", std::nullopt, 0},  // above U+10FFFF
      {"\xF8\x88\x80\x80\x80", std::nullopt, 0},  // no five-byte forms
      {"\xFF", std::nullopt, 0},
      {"\xC3\x28", std::nullopt, 0},          // a continuation that is none
      {"\xE2\x82", std::nullopt, 0},          // truncated by the end of the bytes
      {"\xF0\x9F\x98", std::nullopt, 0},
  };
  for (const auto& c : cases) {
    const std::string bytes = "x" + c.bytes;
    const auto point = common::DecodeUtf8At(bytes, 1);
    ASSERT_EQ(point.has_value(), c.codePoint.has_value()) << common::Escaped(std::string_view(c.bytes));
    if (!point) continue;
    EXPECT_EQ(point->value, *c.codePoint) << common::Escaped(std::string_view(c.bytes));
    EXPECT_EQ(point->bytes, c.length) << common::Escaped(std::string_view(c.bytes));
  }
}

TEST(UtfTest, AppendUtf16GivesAUnitOrASurrogatePair) {
  std::u16string out = u"x";
  for (const char32_t c : {U'A', U'\u00E9', U'\uFFFF', U'\U00010000', U'\U0001F600', U'\U0010FFFF'}) {
    common::AppendUtf16(out, c);
  }
  EXPECT_EQ(out, u"xA\u00E9\uFFFF\U00010000\U0001F600\U0010FFFF");
  // The pairs decode back to the code points.
  EXPECT_EQ(common::CodePointAt(out, 4).value, U'\U00010000');
  EXPECT_EQ(common::CodePointAt(out, 8).value, U'\U0010FFFF');
}

TEST(EscapedTest, KeepsPrintableAsciiOnly) {
  EXPECT_EQ(common::Escaped(std::string_view("COM3\x93\xFA\n")), "COM3\\x93\\xFA\\x0A");
  EXPECT_EQ(common::Escaped(std::u16string_view(u"Vid_7c1f\u65E5")), "Vid_7c1f\\u65E5");
}

// The conversions go through the platform's calls, so they follow the ANSI
// code page; they convert exactly the bytes given, a lead byte at the end too.
TEST(AnsiTest, ConvertsInTheAnsiCodePage) {
  const struct {
    unsigned codePage;
    std::string ansi;
    std::u16string wide;
  } cases[] = {
      {1252, "", u""},
      {1252, "Caf\xE9 \x80", u"Caf\u00E9 \u20AC"},
      {932, "\x8e\xf3\x95\x74", u"\u53D7\u4ED8"},
      {932, "ab\x83", u"ab\u30FB"},  // a lone lead byte becomes the code page's replacement
  };
  for (const auto& c : cases) {
    const testing_support::ScopedCodePage codePage(c.codePage);
    EXPECT_EQ(common::AnsiToUtf16(c.ansi), c.wide);
    EXPECT_EQ(common::AnsiToUtf8(c.ansi), common::Utf16ToUtf8(c.wide));
    if (c.ansi.find('\x83') == std::string::npos) {
      EXPECT_EQ(common::WideToAnsi(c.wide), c.ansi);
    }
  }
  const testing_support::ScopedCodePage western(1252);
  EXPECT_EQ(common::WideToAnsi(u"\u65E5"), "?");  // a character the code page lacks
}

// The edges of each lead-byte range; a page outside the list has none.
TEST(CodePagesTest, LeadBytesOfEachPage) {
  const struct {
    unsigned codePage;
    unsigned char byte;
    bool lead;
  } cases[] = {
      {932, 0x80, false},  {932, 0x81, true},   {932, 0x9F, true},  {932, 0xA0, false}, {932, 0xDF, false},
      {932, 0xE0, true},   {932, 0xFC, true},   {932, 0xFD, false}, {936, 0x80, false}, {936, 0x81, true},
      {936, 0xFE, true},   {936, 0xFF, false},  {949, 0xA0, true},  {949, 0xFF, false}, {950, 0x81, true},
      {950, 0xFE, true},   {950, 0x5C, false},  {874, 0xA1, false}, {1252, 0x81, false}, {437, 0x81, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(common::IsLeadByte(c.byte, c.codePage), c.lead) << c.codePage << " " << +c.byte;
    EXPECT_EQ(common::IsDoubleByteCodePage(c.codePage), c.codePage >= 932 && c.codePage <= 950) << c.codePage;
  }
  static_assert(common::IsAnsiCodePage(874) && common::IsAnsiCodePage(1258) && !common::IsAnsiCodePage(65001));
}

}  // namespace

// Names compare as _mbsicmp compares them in the code page in force; UTF-16
// names as the A functions would give them. Long names, past what fits on the
// stack, compare the same way.
TEST(KeyNamesTest, CompareAsTheWalkDoesInTheCodePage) {
  const std::string longName(600, 'k');
  const struct {
    unsigned codePage;
    std::string a;
    std::string b;
    bool same;
  } cases[] = {
      {1252, "Enum\\USB", "ENUM\\usb", true},
      {1252, "USB", "USBPRINT", false},
      {1252, "\xE9t\xE9", "\xC9T\xC9", true},     // accented letters fold
      {1250, "\x9A", "\x8A", true},               // s and S with caron, where 1250 has them
      {932, "\x83\x41", "\x83\x61", false},       // second bytes 'A' and 'a': two katakana
      {932, "\x83\x41x", "\x83\x41X", true},      // the letter after a double-byte character folds
      {1252, "a\xE9", "A\xC9", true},           // ASCII, then a letter to fold
      {1252, "ab\xE9", "aC\xE9", false},        // ASCII that differs, then the same letter
      {1252, "ab", "ab\xE9", false},            // one longer by a letter the other lacks
      {1252, longName, std::string(600, 'K'), true},
      {1252, longName, longName.substr(1) + "x", false},
  };
  for (const auto& c : cases) {
    const testing_support::ScopedCodePage codePage(c.codePage);
    EXPECT_EQ(common::SameKeyName(c.a, c.b), c.same) << c.codePage << " " << common::Escaped(c.a);
    EXPECT_EQ(common::SameKeyName(common::AnsiToUtf16(c.a), common::AnsiToUtf16(c.b)), c.same) << c.codePage;
  }
  const testing_support::ScopedCodePage western(1252);
  EXPECT_TRUE(common::StartsWithKeyName("VID_7C1F&PID_4B31", "Vid_7c1f&Pid_"));
  EXPECT_FALSE(common::StartsWithKeyName("Vid_7c1f", "Vid_7c1f&Pid_"));
  // Characters the code page lacks become '?' for the walk, as for these.
  EXPECT_TRUE(common::SameKeyName(u"\u65E5", u"\u672C"));
}

// The UTF-16 comparison takes ASCII names without _mbsicmp: it must agree with
// it on every pair of ASCII characters, in every code page.
TEST(KeyNamesTest, AsciiComparesAlikeInEveryCodePage) {
  for (const unsigned page : common::kAnsiCodePages) {
    const testing_support::ScopedCodePage codePage(page);
    for (char a = 1; a > 0; ++a) {
      for (char b = 1; b > 0; ++b) {
        const std::string ansiA(1, a), ansiB(1, b);
        const std::u16string wideA(1, static_cast<char16_t>(a)), wideB(1, static_cast<char16_t>(b));
        ASSERT_EQ(common::SameKeyName(wideA, wideB), common::SameKeyName(ansiA, ansiB)) << page << " " << int{a} << " " << int{b};
      }
    }
  }
}
