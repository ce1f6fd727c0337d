#include "winhost/registry.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "registry_fixture.h"

namespace winhost {
namespace {

using testing_support::SzData;

std::vector<std::string> SubkeyNames(const Registry& registry, const KeyPtr& key) {
  std::vector<std::string> names;
  std::u16string name;
  for (std::uint32_t i = 0; registry.EnumKey(key, i, name) == 0; ++i) names.emplace_back(name.begin(), name.end());
  return names;
}

TEST(RegistryTest, SubkeysEnumerateByUpperCasedName) {
  Registry registry;
  // '_' (0x5F) sorts after upper-case letters but before lower-case ones.
  for (const auto* name : {u"_x", u"b", u"AA", u"a", u"Z1"}) {
    registry.CreateKey(Root::LocalMachine, std::u16string(u"K\\") + name);
  }
  KeyPtr key;
  ASSERT_EQ(registry.Open(registry.RootKey(Root::LocalMachine), u"k", key), 0);
  EXPECT_EQ(SubkeyNames(registry, key), (std::vector<std::string>{"a", "AA", "b", "Z1", "_x"}));
}

TEST(RegistryTest, KeysKeepTheCaseOfTheirCreation) {
  Registry registry;
  registry.CreateKey(Root::LocalMachine, u"K\\Mixed");
  registry.CreateKey(Root::LocalMachine, u"K\\MIXED\\child");
  KeyPtr key;
  ASSERT_EQ(registry.Open(registry.RootKey(Root::LocalMachine), u"k", key), 0);
  EXPECT_EQ(SubkeyNames(registry, key), std::vector<std::string>{"Mixed"});
}

TEST(RegistryTest, ValuesKeepTheirWriteOrderAndRewriteInPlace) {
  Registry registry;
  registry.SetValue(Root::LocalMachine, u"K", u"z", REG_SZ, SzData("1"));
  registry.SetValue(Root::LocalMachine, u"K", u"a", REG_SZ, SzData("2"));
  registry.SetValue(Root::LocalMachine, u"K", u"Z", REG_SZ, SzData("3"));  // same value, other case
  KeyPtr key;
  ASSERT_EQ(registry.Open(registry.RootKey(Root::LocalMachine), u"K", key), 0);
  Value value;
  ASSERT_EQ(registry.EnumValue(key, 0, value), 0);
  EXPECT_EQ(value.name, u"z");
  EXPECT_EQ(value.data, SzData("3"));
  ASSERT_EQ(registry.EnumValue(key, 1, value), 0);
  EXPECT_EQ(value.name, u"a");
  EXPECT_EQ(registry.EnumValue(key, 2, value), ERROR_NO_MORE_ITEMS);
}

TEST(RegistryTest, PathRules) {
  Registry registry;
  registry.CreateKey(Root::LocalMachine, u"A\\B");
  const auto root = registry.RootKey(Root::LocalMachine);
  KeyPtr key;
  EXPECT_EQ(registry.Open(root, u"", key), 0);
  EXPECT_EQ(key, root);
  EXPECT_EQ(registry.Open(root, u"\\A", key), ERROR_BAD_PATHNAME);
  EXPECT_EQ(registry.Open(root, u"A\\\\B", key), ERROR_BAD_PATHNAME);
  EXPECT_EQ(registry.Open(root, u"A\\B\\", key), 0);
  EXPECT_EQ(registry.Open(root, u"A\\C", key), ERROR_FILE_NOT_FOUND);
}

TEST(RegistryTest, DeletedKeyFailsThroughOldReferences) {
  Registry registry;
  registry.SetValue(Root::LocalMachine, u"A\\B", u"v", REG_SZ, SzData("x"));
  KeyPtr key;
  ASSERT_EQ(registry.Open(registry.RootKey(Root::LocalMachine), u"A\\B", key), 0);
  registry.DeleteKey(Root::LocalMachine, u"a");
  Value value;
  EXPECT_EQ(registry.QueryValue(key, u"v", value), ERROR_KEY_DELETED);
  EXPECT_EQ(registry.Open(registry.RootKey(Root::LocalMachine), u"A", key), ERROR_FILE_NOT_FOUND);
}

TEST(RegistryTest, LoadsFixturesAndReportsMalformedOnes) {
  const auto registry = LoadRegistry({testing_support::FixturePath("devices.reg")});
  KeyPtr key;
  EXPECT_EQ(registry->Open(registry->RootKey(Root::LocalMachine), u"HARDWARE\\DEVICEMAP\\SERIALCOMM", key), 0);
  EXPECT_THROW(LoadRegistry({testing_support::FixturePath("no_such_file.reg")}), std::runtime_error);
}

}  // namespace
}  // namespace winhost
