#include "library/registry_access.h"

#include <gtest/gtest.h>

#include "registry_fixture.h"

namespace korvane {
namespace {

using testing_support::CallCounter;
using testing_support::ScopedCodePage;
using testing_support::ScopedRegistry;
using testing_support::SzData;
using testing_support::U16;
using winhost::Call;
using winhost::Root;

constexpr auto kLM = Root::LocalMachine;

std::vector<std::uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

std::shared_ptr<winhost::Registry> SmallRegistry() {
  auto registry = std::make_shared<winhost::Registry>();
  registry->CreateKey(kLM, u"T\\Parent\\beta");
  registry->CreateKey(kLM, u"T\\Parent\\Alpha");
  registry->CreateKey(kLM, u"T\\Empty");
  // Values list in the order written, not sorted.
  registry->SetValue(kLM, u"T\\Values", u"zeta", REG_SZ, SzData("last letter"));
  registry->SetValue(kLM, u"T\\Values", u"alpha", REG_SZ, SzData("first letter"));
  registry->SetValue(kLM, u"T\\Values", u"multi", REG_MULTI_SZ, SzData(std::string("one\0two\0", 8)));
  registry->SetValue(kLM, u"T\\Values", u"number", REG_DWORD, {'2', '3', '4', 0});
  registry->SetValue(kLM, u"T\\Values", u"raw", REG_BINARY, Bytes("ABC"));
  registry->SetValue(kLM, u"T\\Values", u"empty", REG_SZ, SzData(""));
  return registry;
}

struct ListCase {
  const char* path;
  std::int32_t result;
  StringList namesAfter;  // the list starts as {"old"}
};

TEST(ListSubkeysTest, AppendsNamesOrReportsFailure) {
  const ListCase cases[] = {
      {"T\\Parent", 2, {"old", "Alpha", "beta"}},  // upper-cased order, names as created
      {"T\\Empty", 0, {"old"}},
      {"T\\Missing", -1, {"old"}},
      {"", 1, {"old", "T"}},  // the root key itself
      {"\\T\\Parent", -1, {"old"}},
      {"t\\PARENT", 2, {"old", "Alpha", "beta"}},
  };
  ScopedRegistry scope(SmallRegistry());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    const CallCounter counter;
    StringList names{"old"};
    EXPECT_EQ(ListSubkeys(HKEY_LOCAL_MACHINE, c.path, names), c.result);
    EXPECT_EQ(names, c.namesAfter);
    EXPECT_EQ(counter.openedNotClosed(), 0);
  }
}

TEST(ListSubkeysTest, NullArgumentsTouchNoRegistry) {
  ScopedRegistry scope(SmallRegistry());
  const CallCounter counter;
  StringList names;
  EXPECT_EQ(ListSubkeys(HKEY_LOCAL_MACHINE, nullptr, names), -1);
  EXPECT_EQ(ListSubkeys(nullptr, "T", names), -1);
  StringList data;
  EXPECT_EQ(ListValues(HKEY_LOCAL_MACHINE, nullptr, names, data), -1);
  EXPECT_EQ(ReadStringValue(HKEY_LOCAL_MACHINE, "T\\Values", nullptr), "");
  EXPECT_EQ(ReadStringValue(nullptr, "T\\Values", "alpha"), "");
  EXPECT_EQ(counter.total(), 0u);
  EXPECT_TRUE(names.empty());
}

TEST(ListSubkeysTest, OpensEnumeratesToTheEndAndCloses) {
  ScopedRegistry scope(SmallRegistry());
  const CallCounter counter;
  StringList names;
  ASSERT_EQ(ListSubkeys(HKEY_LOCAL_MACHINE, "T\\Parent", names), 2);
  EXPECT_EQ(counter.count(Call::RegOpenKeyExA), 1u);
  EXPECT_EQ(counter.count(Call::RegEnumKeyExA), 3u);  // two names and the end
  EXPECT_EQ(counter.count(Call::RegCloseKey), 1u);
  EXPECT_EQ(counter.total(), 5u);
}

TEST(ListValuesTest, ListsNamesAndTextInWriteOrder) {
  ScopedRegistry scope(SmallRegistry());
  const CallCounter counter;
  StringList names{"old"};
  StringList data{"old"};
  ASSERT_EQ(ListValues(HKEY_LOCAL_MACHINE, "T\\Values", names, data), 6);
  EXPECT_EQ(names, (StringList{"old", "zeta", "alpha", "multi", "number", "raw", "empty"}));
  // Data is text up to the first NUL: a multi-string's first string, a
  // number's bytes, raw bytes up to the last one returned.
  EXPECT_EQ(data, (StringList{"old", "last letter", "first letter", "one", "234", "ABC", ""}));
  EXPECT_EQ(counter.count(Call::RegOpenKeyA), 1u);
  EXPECT_EQ(counter.count(Call::RegEnumValueA), 7u);
  EXPECT_EQ(counter.openedNotClosed(), 0);
}

TEST(ListValuesTest, MissingKeyLeavesListsUnchanged) {
  ScopedRegistry scope(SmallRegistry());
  StringList names{"n"};
  StringList data{"d"};
  EXPECT_EQ(ListValues(HKEY_LOCAL_MACHINE, "T\\Missing", names, data), -1);
  EXPECT_EQ(ListValues(HKEY_LOCAL_MACHINE, "\\T\\Values", names, data), -1);
  EXPECT_EQ(names, StringList{"n"});
  EXPECT_EQ(data, StringList{"d"});
}

// The buffers hold 1024 bytes: a name of 1023 characters and data of 1024
// bytes fit; one more and the listing ends there, dropping the values after it.
struct LimitCase {
  std::size_t nameChars;
  std::size_t dataBytes;
  std::int32_t listed;  // of the three values written: big one first, then two small
};

TEST(ListValuesTest, EndsAtTheFirstValueThatDoesNotFit) {
  const LimitCase cases[] = {{1023, 1024, 3}, {1024, 10, 0}, {10, 1025, 0}, {1023, 1025, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.nameChars << " name chars, " << c.dataBytes << " data bytes");
    auto registry = std::make_shared<winhost::Registry>();
    registry->SetValue(kLM, u"K", U16(std::string(c.nameChars, 'n')), REG_BINARY,
                       std::vector<std::uint8_t>(c.dataBytes, 'd'));
    registry->SetValue(kLM, u"K", u"after1", REG_SZ, SzData("x"));
    registry->SetValue(kLM, u"K", u"after2", REG_SZ, SzData("y"));
    ScopedRegistry scope(registry);
    StringList names;
    StringList data;
    EXPECT_EQ(ListValues(HKEY_LOCAL_MACHINE, "K", names, data), c.listed);
    ASSERT_EQ(names.size(), static_cast<std::size_t>(c.listed));
    if (c.listed > 0) {
      EXPECT_EQ(names[0].size(), c.nameChars);
      EXPECT_EQ(data[0], std::string(c.dataBytes, 'd'));  // no NUL: ends at the last byte
      EXPECT_EQ(data[2], "y");
    }
  }
}

TEST(ReadStringValueTest, ReadsTextOrEmpty) {
  struct Case {
    const char* path;
    const char* value;
    std::string expected;
  };
  const Case cases[] = {
      {"T\\Values", "alpha", "first letter"},
      {"T\\Values", "ALPHA", "first letter"},  // value names ignore case
      {"T\\Values", "multi", "one"},
      {"T\\Values", "number", "234"},
      {"T\\Values", "raw", "ABC"},
      {"T\\Values", "empty", ""},
      {"T\\Values", "missing", ""},
      {"T\\Missing", "alpha", ""},
      {"\\T\\Values", "alpha", ""},
  };
  ScopedRegistry scope(SmallRegistry());
  const CallCounter counter;
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.path << " " << c.value);
    EXPECT_EQ(ReadStringValue(HKEY_LOCAL_MACHINE, c.path, c.value), c.expected);
  }
  EXPECT_EQ(counter.openedNotClosed(), 0);
}

TEST(ReadStringValueTest, DataLimitIs1024Bytes) {
  auto registry = std::make_shared<winhost::Registry>();
  registry->SetValue(kLM, u"K", u"fits", REG_BINARY, std::vector<std::uint8_t>(1024, 'a'));
  registry->SetValue(kLM, u"K", u"too big", REG_BINARY, std::vector<std::uint8_t>(1025, 'a'));
  // A string of 1023 characters plus its terminator fits exactly.
  registry->SetValue(kLM, u"K", u"string", REG_SZ, SzData(std::string(1023, 's')));
  ScopedRegistry scope(registry);
  EXPECT_EQ(ReadStringValue(HKEY_LOCAL_MACHINE, "K", "fits"), std::string(1024, 'a'));
  EXPECT_EQ(ReadStringValue(HKEY_LOCAL_MACHINE, "K", "too big"), "");
  EXPECT_EQ(ReadStringValue(HKEY_LOCAL_MACHINE, "K", "string"), std::string(1023, 's'));
}

TEST(ReadStringValueTest, ManyMissingValuesLeaveNoKeyOpen) {
  ScopedRegistry scope(SmallRegistry());
  const CallCounter counter;
  for (int i = 0; i < 1000; ++i) ReadStringValue(HKEY_LOCAL_MACHINE, "T\\Values", "missing");
  EXPECT_EQ(counter.openedNotClosed(), 0);
  EXPECT_EQ(counter.count(Call::RegOpenKeyExA), 1000u);
  EXPECT_EQ(counter.count(Call::RegCloseKey), 1000u);
}

TEST(RegistryAccessTest, NamesAndDataComeInTheAnsiCodePage) {
  const ScopedCodePage japanese(932);
  auto registry = std::make_shared<winhost::Registry>();
  registry->CreateKey(kLM, u"J\\\u30C6\u30B9\u30C8");  // "テスト"
  registry->SetValue(kLM, u"J", u"v", REG_SZ, {0xE5, 0x65, 0x2C, 0x67, 0, 0});  // "日本"
  ScopedRegistry scope(registry);
  StringList names;
  ASSERT_EQ(ListSubkeys(HKEY_LOCAL_MACHINE, "J", names), 1);
  EXPECT_EQ(names[0], "\x83\x65\x83\x58\x83\x67");
  EXPECT_EQ(ReadStringValue(HKEY_LOCAL_MACHINE, "J", "v"), "\x93\xfa\x96\x7b");
  EXPECT_EQ(ReadStringValue(HKEY_LOCAL_MACHINE, "J\\\x83\x65\x83\x58\x83\x67", "none"), "");
}

}  // namespace
}  // namespace korvane
