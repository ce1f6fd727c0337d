// The stand-in's Reg* calls, checked against what the platform does where the
// library can observe it. Buffers are pre-filled with sentinel bytes to show
// what a call wrote and what it left alone.
#include <mbstring.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <string>

#include "common/code_pages.h"
#include "registry_fixture.h"
#include "winhost/codepage.h"

namespace {

using testing_support::CallCounter;
using testing_support::ScopedCodePage;
using testing_support::ScopedRegistry;
using testing_support::SzData;
using winhost::Root;

constexpr char kSentinel = '\x5A';

std::shared_ptr<winhost::Registry> Sample() {
  auto registry = std::make_shared<winhost::Registry>();
  registry->SetValue(Root::LocalMachine, u"K", u"sz", REG_SZ, SzData("abc"));
  registry->SetValue(Root::LocalMachine, u"K", u"expand", REG_EXPAND_SZ, SzData("%TEMP%"));
  registry->SetValue(Root::LocalMachine, u"K", u"multi", REG_MULTI_SZ, {'a', 0, 0, 0, 'b', 0, 0, 0, 0, 0});
  registry->SetValue(Root::LocalMachine, u"K", u"dword", REG_DWORD, {1, 2, 3, 4});
  registry->SetValue(Root::LocalMachine, u"K", u"binary", REG_BINARY, {0xFF, 0, 0x41});
  registry->CreateKey(Root::LocalMachine, u"K\\Sub");
  return registry;
}

struct DataCase {
  const char* value;
  DWORD type;
  std::string bytes;
};

TEST(Advapi32Test, QueryReturnsTheBytesOfEachType) {
  const DataCase cases[] = {
      {"sz", REG_SZ, std::string("abc\0", 4)},
      {"expand", REG_EXPAND_SZ, std::string("%TEMP%\0", 7)},  // not expanded
      {"multi", REG_MULTI_SZ, std::string("a\0b\0\0", 5)},
      {"dword", REG_DWORD, std::string("\x01\x02\x03\x04", 4)},
      {"binary", REG_BINARY, std::string("\xFF\0A", 3)},
  };
  ScopedRegistry scope(Sample());
  HKEY key;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "K", 0, KEY_READ, &key), ERROR_SUCCESS);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    char data[16];
    std::memset(data, kSentinel, sizeof data);
    DWORD size = sizeof data;
    DWORD type = 0xDEADBEEF;
    ASSERT_EQ(RegQueryValueExA(key, c.value, nullptr, &type, reinterpret_cast<BYTE*>(data), &size), ERROR_SUCCESS);
    EXPECT_EQ(type, c.type);
    EXPECT_EQ(std::string(data, size), c.bytes);
    EXPECT_EQ(data[size], kSentinel);
  }
  RegCloseKey(key);
}

TEST(Advapi32Test, TooSmallBuffersFailAndWriteNothing) {
  ScopedRegistry scope(Sample());
  HKEY key;
  ASSERT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "K", &key), ERROR_SUCCESS);
  char name[8];
  BYTE data[8];
  std::memset(name, kSentinel, sizeof name);
  std::memset(data, kSentinel, sizeof data);
  DWORD nameChars = 2;  // "sz" needs 3 with its terminator
  DWORD dataBytes = sizeof data;
  EXPECT_EQ(RegEnumValueA(key, 0, name, &nameChars, nullptr, nullptr, data, &dataBytes), ERROR_MORE_DATA);
  nameChars = sizeof name;
  dataBytes = 3;  // "abc" needs 4
  EXPECT_EQ(RegEnumValueA(key, 0, name, &nameChars, nullptr, nullptr, data, &dataBytes), ERROR_MORE_DATA);
  EXPECT_EQ(dataBytes, 4u);
  dataBytes = 3;
  EXPECT_EQ(RegQueryValueExA(key, "sz", nullptr, nullptr, data, &dataBytes), ERROR_MORE_DATA);
  for (const char c : name) EXPECT_EQ(c, kSentinel);
  for (const BYTE b : data) EXPECT_EQ(b, static_cast<BYTE>(kSentinel));
  DWORD keyChars = 3;  // "Sub" needs 4
  EXPECT_EQ(RegEnumKeyExA(key, 0, name, &keyChars, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
  EXPECT_EQ(name[0], kSentinel);
  keyChars = 4;
  EXPECT_EQ(RegEnumKeyExA(key, 0, name, &keyChars, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(keyChars, 3u);
  EXPECT_STREQ(name, "Sub");
  EXPECT_EQ(RegEnumKeyExA(key, 1, name, &keyChars, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
  RegCloseKey(key);
}

TEST(Advapi32Test, OpenPathRulesAndHandles) {
  ScopedRegistry scope(Sample());
  const CallCounter counter;
  HKEY key = reinterpret_cast<HKEY>(1);
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "\\K", 0, KEY_READ, &key), ERROR_BAD_PATHNAME);
  EXPECT_EQ(key, nullptr);
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Missing", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
  // An empty path opens a new handle to the key itself...
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "", 0, KEY_READ, &key), ERROR_SUCCESS);
  EXPECT_NE(key, HKEY_LOCAL_MACHINE);
  EXPECT_EQ(counter.openedNotClosed(), 1);
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
  // ...while RegOpenKeyA hands back the very handle it was given.
  ASSERT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "", &key), ERROR_SUCCESS);
  EXPECT_EQ(key, HKEY_LOCAL_MACHINE);
  EXPECT_EQ(counter.openedNotClosed(), 0);
}

TEST(Advapi32Test, EnumerationNeedsTheRightAccess) {
  ScopedRegistry scope(Sample());
  HKEY key;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "K", 0, KEY_QUERY_VALUE, &key), ERROR_SUCCESS);
  char name[8];
  DWORD chars = sizeof name;
  EXPECT_EQ(RegEnumKeyExA(key, 0, name, &chars, nullptr, nullptr, nullptr, nullptr), 5L);
  RegCloseKey(key);
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "K", 0, KEY_ENUMERATE_SUB_KEYS, &key), ERROR_SUCCESS);
  BYTE data[8];
  DWORD size = sizeof data;
  EXPECT_EQ(RegQueryValueExA(key, "sz", nullptr, nullptr, data, &size), 5L);
  RegCloseKey(key);
}

TEST(Advapi32Test, HandleOfADeletedKeyFails) {
  ScopedRegistry scope(Sample());
  HKEY key;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "K", 0, KEY_READ, &key), ERROR_SUCCESS);
  scope.registry().DeleteKey(Root::LocalMachine, u"K");
  BYTE data[8];
  DWORD size = sizeof data;
  EXPECT_EQ(RegQueryValueExA(key, "sz", nullptr, nullptr, data, &size), ERROR_KEY_DELETED);
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

TEST(Kernel32Test, ConvertsThroughTheAnsiCodePage) {
  struct Case {
    unsigned codePage;
    std::string ansi;
    std::u16string wide;
  };
  const Case cases[] = {
      {1252, "caf\xE9 \x80", u"caf\u00E9 \u20AC"},
      {932, "\x93\xfa\x96\x7b", u"\u65E5\u672C"},
      {932, "a\\b", u"a\\b"},  // 0x5C stays a backslash, as registry paths need
      {874, "\xA1\xDB", u"\u0E01\u00DB"},  // 0xDB is undefined: the unit of its value
      {936, "\xC4\xE3\x80", u"\u4F60\u20AC"},
      {949, "\xB0\xA1", u"\uAC00"},
      {950, "\xA4\x40\xA4\\", u"\u4E00\u4E48"},  // a trail byte 0x5C is no backslash
      {1250, "\xB9\x8A", u"\u0105\u0160"},
      {1251, "\xC0\xB8", u"\u0410\u0451"},
      {1252, "\x81\x9F", u"\u0081\u0178"},
      {1253, "\xC1\xAA", u"\u0391\u00AA"},
      {1254, "\xD0\xFD", u"\u011E\u0131"},
      {1255, "\xE1\xCC", u"\u05D1\u05BC"},  // a letter and its point stay two units
      {1256, "\xC7\xE9", u"\u0627\u00E9"},
      {1257, "\xC0\xE0", u"\u0104\u0105"},
      {1258, "A\xDE\xC3", u"A\u0303\u0102"},  // not composed into U+00C3
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.codePage);
    const ScopedCodePage codePage(c.codePage);
    WCHAR wide[16];
    const int units = MultiByteToWideChar(CP_ACP, 0, c.ansi.c_str(), -1, wide, 16);
    ASSERT_EQ(units, static_cast<int>(c.wide.size()) + 1);
    EXPECT_EQ(std::u16string(wide), c.wide);
    char narrow[16];
    const int bytes = WideCharToMultiByte(CP_ACP, 0, wide, -1, narrow, 16, nullptr, nullptr);
    ASSERT_EQ(bytes, static_cast<int>(c.ansi.size()) + 1);
    EXPECT_EQ(std::string(narrow), c.ansi);
  }
  const ScopedCodePage western(1252);
  char narrow[4];
  BOOL usedDefault = 0;
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"\u4E2D", -1, narrow, 4, nullptr, &usedDefault), 2);
  EXPECT_STREQ(narrow, "?");
  EXPECT_TRUE(usedDefault);
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"abc", -1, narrow, 3, nullptr, nullptr), 0);  // no room
}

// A character that a code page lacks becomes one '?' (a surrogate pair is one
// character in a double-byte page, two units in a single-byte one); a byte
// sequence that a double-byte page lacks becomes U+30FB, a lead byte taking
// the byte after it along.
TEST(CodePageTest, ReplacesWhatThePageLacks) {
  const struct {
    unsigned codePage;
    std::u16string wide;
    std::string ansi;
  } unwritable[] = {
      {1251, u"a\u4E2D", "a?"},
      {1258, u"\u00C3", "?"},  // not decomposed into A and a combining tilde
      {1255, u"\uFB31", "?"},
      {936, u"\uAC00", "?"},
      {932, u"\U0001F600", "?"},
      {1252, u"\U0001F600", "??"},
      {949, std::u16string(1, u'\xD83D') + u"x", "?x"},  // a lone surrogate
  }, unreadable[] = {
      {936, u"a\u30FB", "a\xC4"},  // a lone lead byte at the end
      {949, u"\u30FBz", "\xC9\xA1z"},
      {950, u"\u30FBz", "\xA4\x7Fz"},
      {932, u"\u30FBz", "\x81 z"},  // the space goes with the lead byte
      {936, u"\u30FBz", "\xFFz"},
  };
  for (const auto& c : unwritable) {
    bool usedDefault = false;
    EXPECT_EQ(winhost::ToAnsi(c.wide, c.codePage, &usedDefault), c.ansi) << c.codePage;
    EXPECT_TRUE(usedDefault) << c.codePage;
  }
  for (const auto& c : unreadable) EXPECT_EQ(winhost::FromAnsi(c.ansi, c.codePage), c.wide) << c.codePage;
}

TEST(CodePageTest, TheAnsiCodePageIsOneThatWindowsGivesALocale) {
  for (const unsigned page : common::kAnsiCodePages) EXPECT_NO_THROW(ScopedCodePage{page}) << page;
  for (const unsigned page : {0u, 437u, 1200u, 1259u, 65001u}) {
    EXPECT_THROW(winhost::SetAnsiCodePage(page), std::invalid_argument) << page;
    EXPECT_EQ(winhost::AnsiCodePage(), 1252u);
  }
  try {
    winhost::SetAnsiCodePage(437);
  } catch (const std::invalid_argument& e) {
    EXPECT_NE(std::string(e.what()).find("874 932 936 949 950 1250 1251 1252 1253 1254 1255 1256 1257 1258"),
              std::string::npos);
  }
}

TEST(MsvcrtTest, CaseBlindComparisonLeavesDoubleByteTrailBytesAlone) {
  auto equal = [](const char* a, const char* b) {
    return _mbsicmp(reinterpret_cast<const unsigned char*>(a), reinterpret_cast<const unsigned char*>(b)) == 0;
  };
  {
    const ScopedCodePage codePage(932);
    EXPECT_TRUE(equal("Vid_7c1f", "VID_7C1F"));
    // 0x83 0x61 and 0x83 0x41 are two different katakana, not 'a' and 'A'.
    EXPECT_FALSE(equal("\x83\x61", "\x83\x41"));
    EXPECT_FALSE(equal("abc", "abcd"));
  }
  const ScopedCodePage codePage(1252);
  EXPECT_TRUE(equal("\xE9t\xE9", "\xC9T\xC9"));
}

// Each single-byte page folds its own letters to their capitals; a byte that
// is no letter of the page stays as it is, and so does a double-byte character.
TEST(MsvcrtTest, FoldsTheLettersOfEachCodePage) {
  const struct {
    unsigned codePage;
    const char* a;
    const char* b;
    int order;
  } cases[] = {
      {1252, "\xE9\x9A\xFF", "\xC9\x8A\x9F", 0},
      {1252, "\xF7", "\xD7", 1},  // division and multiplication signs, no letters
      {1250, "\xB9\x9A", "\xA5\x8A", 0},
      {1251, "\xE0\xB8\x83", "\xC0\xA8\x81", 0},
      {1251, "\xE0", "\xC1", -1},  // folded before it is compared
      {1253, "\xE1\xDC\xF2", "\xC1\xA2\xD3", 0},
      {1254, "i\xFD", "II", 0},  // no Turkish capital dotted I; dotless i's capital is I
      {1257, "\xE0", "\xC0", 0},
      {1258, "\xE3\xFD", "\xC3\xDD", 0},
      {1256, "\xE9", "\xC9", 1},  // 0xC9 is an Arabic letter, no capital e acute
      {1255, "\xFC", "\xDC", 1},  // undefined bytes, no letters
      {874, "a\xFC", "A\xDC", 1},
      {936, "\x81\x61", "\x81\x41", 1},
      {950, "\xA4\x61", "\xA4\x41", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.codePage << " " << testing::PrintToString(std::string(c.a)));
    const ScopedCodePage codePage(c.codePage);
    const int order =
        _mbsicmp(reinterpret_cast<const unsigned char*>(c.a), reinterpret_cast<const unsigned char*>(c.b));
    EXPECT_EQ((order > 0) - (order < 0), c.order);
  }
}

}  // namespace
