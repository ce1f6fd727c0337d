#include "correlation.h"

#include <gtest/gtest.h>

#include "registry_fixture.h"
#include "scenarios.h"

namespace korvane {
namespace {

using testing_support::CallCounter;
using testing_support::ScopedRegistry;

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
  EXPECT_EQ(CollectPrinterInfo(scenario.productId, records), scenario.walkSucceeds);
  EXPECT_EQ(counter.openedNotClosed(), 0) << "a key was left open";
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

// Every registry call that the walk for 4B31 on devices.reg must make, and no
// more. A listing of n entries is 1 open + (n + 1) enumerations + 1 close; a
// value read is open, query, close.
TEST(CollectPrinterInfoTest, MakesOnlyTheCallsTheWalkNeeds) {
  ScopedRegistry scope({"devices.reg"});
  const CallCounter counter;
  PrinterInfoList records;
  ASSERT_TRUE(CollectPrinterInfo("4B31", records));
  const std::uint64_t usbKeys = 1 + 23 + 1;        // 22 subkeys of Enum\USB
  const std::uint64_t serialPorts = 1 + 4 + 1;     // 3 values
  const std::uint64_t instances = 1 + 3 + 1;       // 2 instances
  const std::uint64_t perInstance = (1 + 2 + 1)    // the instance key (Device Parameters)
                                    + 3            // ParentIdPrefix
                                    + (1 + 7 + 1)  // 6 models
                                    + 29           // their instance listings: 2, 2, 1, 3, 2, 1 instances
                                    + (1 + 12 + 1) // 11 printers, listed for the one matching model
                                    + 3 * 3;       // PortName, Name, PortName of the record
  const std::uint64_t portReads = 3 * 9 + 3 * 10;  // printers read up to the 9th and 10th
  EXPECT_EQ(counter.total(), usbKeys + serialPorts + instances + 2 * perInstance + portReads);
  EXPECT_EQ(counter.openedNotClosed(), 0);
}

// Without an interface-0 key the walk ends after the USB listing; it does not
// go on to list the root key as if it held instances.
TEST(CollectPrinterInfoTest, EndsAtOnceWithoutAnInterface0Key) {
  ScopedRegistry scope({"devices.reg"});
  const CallCounter counter;
  PrinterInfoList records;
  EXPECT_FALSE(CollectPrinterInfo("4B62", records));
  EXPECT_EQ(counter.total(), 1u + 23u + 1u);
  EXPECT_TRUE(records.empty());
}

}  // namespace
}  // namespace korvane
