#include "library/correlation.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <utility>

#include "registry_fixture.h"
#include "registry_trace.h"
#include "scenarios.h"

namespace korvane {
namespace {

using testing_support::CallCounter;
using testing_support::KeyUse;
using testing_support::RegistryUse;
using testing_support::ScopedRegistry;

const std::string kUsb = "SYSTEM\\CurrentControlSet\\Enum\\USB";
const std::string kUsbPrint = "SYSTEM\\CurrentControlSet\\Enum\\USBPRINT";
const std::string kPrinters = "SYSTEM\\CurrentControlSet\\Control\\Print\\Printers";
const std::string kSerialComm = "HARDWARE\\DEVICEMAP\\SERIALCOMM";

// What holds for every walk: every key opened is closed; every key is opened
// to be listed or to read one value; every listing runs through all the
// key's entries in index order; the USB key is listed once.
void ExpectTidyRegistryUse(const RegistryUse& use) {
  EXPECT_EQ(use.handleFaults, std::vector<std::string>{});
  for (const auto& key : use.uses) {
    EXPECT_NE(key.kind, KeyUse::kUnused) << key.path << " opened for nothing";
    EXPECT_NE(key.kind, KeyUse::kMixed) << key.path << " opened once for two things";
    if (key.kind == KeyUse::kSubkeys || key.kind == KeyUse::kValues) {
      const auto entries = key.kind == KeyUse::kSubkeys ? testing_support::SubkeyCount(key.path)
                                                        : testing_support::ValueCount(key.path);
      EXPECT_TRUE(key.inIndexOrder) << key.path;
      EXPECT_EQ(key.enumerations, entries + 1) << key.path << " not listed to its end";
    }
  }
  EXPECT_EQ(use.CountListings(kUsb), 1u);
}

std::vector<std::string> FilesOf(const fixtures::Scenario& scenario) {
  std::vector<std::string> files;
  for (const auto* file : scenario.files) {
    if (file != nullptr) files.emplace_back(file);
  }
  return files;
}

std::string Describe(const PrinterInfo& r) {
  return "{" + r.name + ", " + r.port0 + ", " + r.port2 + ", " + std::to_string(r.online) + "}";
}

class ScenarioTest : public testing::TestWithParam<fixtures::Scenario> {};

TEST_P(ScenarioTest, WalkFindsTheExpectedRecords) {
  const auto& scenario = GetParam();
  SCOPED_TRACE(scenario.shows);
  ScopedRegistry scope(FilesOf(scenario));
  const CallCounter counter;
  // Records already in the list stay in front of the new ones.
  PrinterInfoList records{PrinterInfo{"earlier", "COM0", "COM0", 0}};
  bool succeeded = false;
  const auto use = testing_support::TraceRegistryUse([&] { succeeded = CollectPrinterInfo(scenario.productId, records); });
  EXPECT_EQ(succeeded, scenario.walkSucceeds);
  EXPECT_EQ(counter.openedNotClosed(), 0) << "a key was left open";
  ExpectTidyRegistryUse(use);
  ASSERT_EQ(records.size(), static_cast<std::size_t>(scenario.recordCount) + 1);
  EXPECT_EQ(records[0].name, "earlier");
  for (int i = 0; i < scenario.recordCount; ++i) {
    const auto& expected = scenario.records[i];
    const auto& actual = records[static_cast<std::size_t>(i) + 1];
    EXPECT_EQ(actual.name, expected.name) << "record " << i << " " << Describe(actual);
    EXPECT_EQ(actual.port0, expected.port0) << "record " << i;
    EXPECT_EQ(actual.port2, expected.port2) << "record " << i;
    EXPECT_EQ(actual.online, expected.online) << "record " << i;
  }
}

std::string ScenarioName(const testing::TestParamInfo<fixtures::Scenario>& info) {
  std::string name = std::to_string(info.index) + "_" + info.param.productId;
  for (const auto* file : info.param.files) {
    if (file == nullptr) continue;
    for (const char* c = file; *c != '\0' && *c != '.'; ++c) name += (std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_');
  }
  return name;
}

INSTANTIATE_TEST_SUITE_P(Fixtures, ScenarioTest, testing::ValuesIn(fixtures::kScenarios), ScenarioName);

TEST(CollectPrinterInfoTest, NullProductIdIsTheEmptyOne) {
  ScopedRegistry scope({"devices.reg"});
  PrinterInfoList records;
  EXPECT_FALSE(CollectPrinterInfo(nullptr, records));
  EXPECT_TRUE(records.empty());
}

// The walk for 4B31 on devices.reg (two instances, six printer models): the
// USB key, the serial-port map and the interface-0 key are listed once, in
// that order; then per instance, from the listing of its key on, USBPRINT and
// every model in it are listed once, in USBPRINT's order, no key is listed
// twice and no value read twice, and the printers' ports are read in the
// printer list's order up to the printer that the record names, not beyond.
TEST(CollectPrinterInfoTest, ListsEachKeyOncePerInstanceAndReadsNothingTwice) {
  ScopedRegistry scope({"devices.reg"});
  PrinterInfoList records;
  bool succeeded = false;
  const auto use = testing_support::TraceRegistryUse([&] { succeeded = CollectPrinterInfo("4B31", records); });
  ASSERT_TRUE(succeeded);
  ExpectTidyRegistryUse(use);
  const std::string interface0 = kUsb + "\\Vid_7c1f&Pid_4B31&MI_00";
  ASSERT_GE(use.uses.size(), 3u);
  EXPECT_EQ(use.uses[0].path, kUsb);
  EXPECT_EQ(use.uses[1].path, kSerialComm);
  EXPECT_EQ(use.uses[1].kind, KeyUse::kValues);
  EXPECT_EQ(use.uses[2].path, interface0);
  EXPECT_EQ(use.uses[2].kind, KeyUse::kSubkeys);

  // The uses after those, split where an instance's key is listed.
  const auto instances = testing_support::SubkeyNames(interface0);
  std::vector<std::vector<KeyUse>> perInstance;
  for (std::size_t i = 3; i < use.uses.size(); ++i) {
    const auto& key = use.uses[i];
    const bool next = perInstance.size() < instances.size() && key.kind == KeyUse::kSubkeys &&
                      key.path == interface0 + "\\" + instances[perInstance.size()];
    if (next) perInstance.emplace_back();
    ASSERT_FALSE(perInstance.empty()) << key.path << " used before the first instance";
    perInstance.back().push_back(key);
  }
  ASSERT_EQ(perInstance.size(), instances.size());
  ASSERT_EQ(records.size(), instances.size());

  std::vector<std::string> models;
  for (const auto& model : testing_support::SubkeyNames(kUsbPrint)) models.push_back(kUsbPrint + "\\" + model);
  const auto printers = testing_support::SubkeyNames(kPrinters);
  for (std::size_t i = 0; i < perInstance.size(); ++i) {
    SCOPED_TRACE(instances[i]);
    std::map<std::string, int> listed;
    std::set<std::pair<std::string, std::string>> read;
    std::vector<std::string> modelListings;
    std::vector<std::string> portsRead;
    std::string nameRead;
    for (const auto& key : perInstance[i]) {
      if (key.kind == KeyUse::kRead) {
        EXPECT_TRUE(read.insert({key.path, key.value}).second) << key.path << " " << key.value << " read twice";
        if (key.value == "Port") portsRead.push_back(key.path);
        if (key.value == "Name") nameRead = key.path;
      } else {
        EXPECT_EQ(++listed[key.path], 1) << key.path << " listed twice";
        if (key.path.rfind(kUsbPrint + "\\", 0) == 0) modelListings.push_back(key.path);
      }
    }
    EXPECT_EQ(listed[kUsbPrint], 1);
    EXPECT_EQ(modelListings, models);
    EXPECT_EQ(listed[kPrinters], 1);
    ASSERT_FALSE(portsRead.empty());
    for (std::size_t p = 0; p < portsRead.size() && p < printers.size(); ++p) {
      EXPECT_EQ(portsRead[p], kPrinters + "\\" + printers[p]) << "ports not read in the printer list's order";
    }
    EXPECT_EQ(portsRead.back(), nameRead) << "ports read past the printer that the record names";
    EXPECT_EQ(nameRead, kPrinters + "\\" + records[i].name);
  }
}

// Without an interface-0 key the walk ends after the USB listing; it does not
// go on to list the root key as if it held instances.
TEST(CollectPrinterInfoTest, EndsAtOnceWithoutAnInterface0Key) {
  ScopedRegistry scope({"devices.reg"});
  PrinterInfoList records;
  bool succeeded = true;
  const auto use = testing_support::TraceRegistryUse([&] { succeeded = CollectPrinterInfo("4B62", records); });
  EXPECT_FALSE(succeeded);
  ExpectTidyRegistryUse(use);
  ASSERT_EQ(use.uses.size(), 1u);
  EXPECT_EQ(use.uses[0].path, kUsb);
  EXPECT_TRUE(records.empty());
}

}  // namespace
}  // namespace korvane
