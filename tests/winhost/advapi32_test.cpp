// The stand-in's Reg* calls, checked against what the platform does where the
// library can observe it. Buffers are pre-filled with sentinel bytes to show
// what a call wrote and what it left alone.
#include <mbstring.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>

#include "registry_fixture.h"

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

}  // namespace
