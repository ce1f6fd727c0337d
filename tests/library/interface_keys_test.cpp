#include "library/interface_keys.h"

#include <gtest/gtest.h>

#include "registry_fixture.h"
#include "registry_trace.h"

namespace korvane {
namespace {

using testing_support::ScopedRegistry;

constexpr const char* kUnchanged = "unchanged";
const std::string kUsb = "SYSTEM\\CurrentControlSet\\Enum\\USB\\";

struct Case {
  const char* productId;
  bool result;
  std::string paths[3];
};

TEST(FindInterfaceKeysTest, FindsWholeNamesIgnoringCase) {
  const Case cases[] = {
      {"4B31", true, {kUsb + "Vid_7c1f&Pid_4B31&MI_00", kUsb + "Vid_7c1f&Pid_4B31&MI_01", kUsb + "Vid_7c1f&Pid_4B31&MI_02"}},
      // The output holds the name as listed, not as built.
      {"4b52", true, {kUsb + "VID_7C1F&PID_4B52&MI_00", kUsb + "VID_7C1F&PID_4B52&MI_01", kUsb + "VID_7C1F&PID_4B52&MI_02"}},
      {"4B60", true, {kUsb + "Vid_7c1f&Pid_4B60&MI_00", kUnchanged, kUsb + "Vid_7c1f&Pid_4B60&MI_02"}},
      // "...&MI_000" begins with the interface-0 name but is not it.
      {"4B62", true, {kUnchanged, kUsb + "Vid_7c1f&Pid_4B62&MI_01", kUnchanged}},
      {"4B6", true, {kUnchanged, kUnchanged, kUnchanged}},
      {"ZZZZ", true, {kUnchanged, kUnchanged, kUnchanged}},
  };
  ScopedRegistry scope({"devices.reg"});
  for (const auto& c : cases) {
    SCOPED_TRACE(c.productId);
    std::string paths[3] = {kUnchanged, kUnchanged, kUnchanged};
    EXPECT_EQ(FindInterfaceKeys(c.productId, paths[0], paths[1], paths[2]), c.result);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(paths[i], c.paths[i]) << "interface " << i;
  }
}

TEST(FindInterfaceKeysTest, EmptyProductIdSearchesItsOwnNames) {
  auto registry = std::make_shared<winhost::Registry>();
  registry->CreateKey(winhost::Root::LocalMachine, u"SYSTEM\\CurrentControlSet\\Enum\\USB\\VID_7C1F&PID_&MI_01");
  ScopedRegistry scope(registry);
  std::string paths[3];
  EXPECT_TRUE(FindInterfaceKeys("", paths[0], paths[1], paths[2]));
  EXPECT_EQ(paths[0], "");
  EXPECT_EQ(paths[1], kUsb + "VID_7C1F&PID_&MI_01");
}

TEST(FindInterfaceKeysTest, FalseWhenTheUsbKeyIsMissingOrEmpty) {
  for (const auto& overlay : {"empty_usb.reg", "no_usbprint.reg"}) {
    SCOPED_TRACE(overlay);
    const bool empty = std::string(overlay) == "empty_usb.reg";
    ScopedRegistry scope({"devices.reg", overlay});
    std::string paths[3] = {kUnchanged, kUnchanged, kUnchanged};
    EXPECT_EQ(FindInterfaceKeys("4B31", paths[0], paths[1], paths[2]), !empty);
    if (empty) {
      EXPECT_EQ(paths[0], kUnchanged);
    }
  }
  ScopedRegistry nothing(std::make_shared<winhost::Registry>());
  std::string paths[3] = {kUnchanged, kUnchanged, kUnchanged};
  EXPECT_FALSE(FindInterfaceKeys("4B31", paths[0], paths[1], paths[2]));
  EXPECT_EQ(paths[0], kUnchanged);
}

// All three interface keys come from one listing of the USB key, which runs
// through every entry in order; nothing else is opened, nothing left open.
TEST(FindInterfaceKeysTest, ListsTheUsbKeyOnce) {
  ScopedRegistry scope({"devices.reg"});
  std::string paths[3];
  bool found = false;
  const auto use = testing_support::TraceRegistryUse(
      [&] { found = FindInterfaceKeys("4B31", paths[0], paths[1], paths[2]); });
  ASSERT_TRUE(found);
  EXPECT_EQ(use.handleFaults, std::vector<std::string>{});
  ASSERT_EQ(use.uses.size(), 1u);
  const auto& listing = use.uses[0];
  EXPECT_EQ(listing.kind, testing_support::KeyUse::kSubkeys);
  EXPECT_EQ(listing.path, "SYSTEM\\CurrentControlSet\\Enum\\USB");
  EXPECT_TRUE(listing.inIndexOrder);
  EXPECT_EQ(listing.enumerations, testing_support::SubkeyCount(listing.path) + 1) << "a listing that stopped early";
}

}  // namespace
}  // namespace korvane
