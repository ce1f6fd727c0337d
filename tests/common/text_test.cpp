#include <gtest/gtest.h>

#include "common/ansi.h"
#include "common/code_pages.h"
#include "common/utf.h"
#include "registry_fixture.h"

namespace {

TEST(Utf16ToUtf8Test, EncodesEveryLengthAndReplacesLoneSurrogates) {
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
