#include "korvane.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "export_contract.h"
#include "linked_exports.h"
#include "registry_fixture.h"
#include "scenarios.h"

namespace {

using contract::kUntouched;
using contract::NarrowRecord;
using contract::WideRecord;
using testing_support::CallCounter;
using testing_support::ScopedRegistry;

const NarrowRecord kPrinterA{"Receipt Printer A", "COM3", "COM4", 1};
const NarrowRecord kPrinterB{"Receipt Printer B", "COM7", "COM8", 0};

// The four exports on one product id, every fault of any of them and every
// disagreement between them added as a failure.
contract::Enumeration EnumerateChecked(const char* productId, const contract::Options& options = {}) {
  auto enumeration = contract::EnumerateAll(contract::LinkedExports(), productId, options);
  for (const auto& fault : contract::Faults(enumeration)) ADD_FAILURE() << fault;
  return enumeration;
}

// Calls the library from inside a callback: the size for 4B52.
std::int32_t NestedCall(const char16_t* name, const char16_t*, const char16_t*, std::int32_t, uintptr_t context) {
  auto* counts = reinterpret_cast<std::vector<std::int32_t>*>(context);
  std::uint32_t needed = 0;
  EnumPrinterInfoA("4B52", nullptr, 0, &needed);
  counts->push_back(static_cast<std::int32_t>(needed));
  EXPECT_NE(name, nullptr);
  return 1;
}

// The whole contract of the four exports (export_contract.h) for a product
// with devices, one whose walk fails and one without devices, in buffers at
// every alignment, and with callbacks that stop after one and two devices.
TEST(ExportContractTest, EveryRowOfTheProtocol) {
  ScopedRegistry scope({"devices.reg"});
  struct Row {
    const char* productId;
    std::int32_t result;
    std::vector<NarrowRecord> records;
  };
  const Row rows[] = {
      {"4B31", 2, {kPrinterA, kPrinterB}},
      {"FFFF", -1, {}},  // the walk fails
      {"4B61", 0, {}},   // no device
  };
  for (const auto& row : rows) {
    for (const std::size_t misalign : std::initializer_list<std::size_t>{0, 1, 2, 3}) {
      SCOPED_TRACE(std::string(row.productId) + ", misaligned by " + std::to_string(misalign));
      contract::Options options;
      options.misalign = misalign;
      options.stopAfter = 1 + misalign % 2;
      const auto enumeration = EnumerateChecked(row.productId, options);
      EXPECT_EQ(enumeration.bufferA.result, row.result);
      EXPECT_EQ(enumeration.bufferA.records, row.records);
      if (row.result < 0) {
        EXPECT_EQ(enumeration.bufferA.needed, kUntouched);
      }
    }
  }
}

// Null arguments are refused before the registry is read; a null product id
// of the callback forms is the empty one.
TEST(ExportContractTest, NullArguments) {
  ScopedRegistry scope({"devices.reg"});
  for (const auto& fault : contract::ArgumentFaults(contract::LinkedExports(), "4B31")) ADD_FAILURE() << fault;
  const CallCounter counter;
  std::vector<unsigned char> buffer(64);
  std::uint32_t needed = kUntouched;
  EXPECT_EQ(EnumPrinterInfoA("4B31", buffer.data(), 64, nullptr), -1);
  EXPECT_EQ(EnumPrinterInfoW(u"4B31", buffer.data(), 64, nullptr), -1);
  EXPECT_EQ(EnumPrinterInfoA(nullptr, nullptr, 0, &needed), -1);
  EXPECT_EQ(EnumPrinterInfoW(nullptr, nullptr, 0, &needed), -1);
  EXPECT_EQ(EnumPrinterInfoCallbackA("4B31", nullptr, 0), -1);
  EXPECT_EQ(EnumPrinterInfoCallbackW(u"4B31", nullptr, 0), -1);
  EXPECT_EQ(counter.total(), 0u) << "registry read although an argument was refused";
  // The empty product id finds no device keys here.
  std::vector<std::int32_t> counts;
  EXPECT_EQ(EnumPrinterInfoCallbackW(nullptr, NestedCall, reinterpret_cast<uintptr_t>(&counts)), -1);
  EXPECT_TRUE(counts.empty());
}

TEST(CallbackExportTest, ACallbackMayCallTheLibrary) {
  ScopedRegistry scope({"devices.reg"});
  std::vector<std::int32_t> counts;
  EXPECT_EQ(EnumPrinterInfoCallbackW(u"4B31", NestedCall, reinterpret_cast<uintptr_t>(&counts)), 2);
  ASSERT_EQ(counts.size(), 2u);
  EXPECT_GT(counts[0], 0);
  EXPECT_EQ(counts[0], counts[1]);
}

TEST(ExportsTest, NothingOutlivesACall) {
  ScopedRegistry scope({"devices.reg"});
  const auto before = winhost::ReadCounters();
  std::vector<std::int32_t> counts;
  for (int i = 0; i < 50; ++i) {
    std::uint32_t needed = 0;
    EnumPrinterInfoW(u"4B31", nullptr, 0, &needed);
    std::vector<unsigned char> buffer(needed);
    EnumPrinterInfoW(u"4B31", buffer.data(), needed - 1, &needed);
    EnumPrinterInfoW(u"4B31", buffer.data(), needed, &needed);
    EnumPrinterInfoCallbackW(u"4B52", NestedCall, reinterpret_cast<uintptr_t>(&counts));
    EnumPrinterInfoW(u"FFFF", nullptr, 0, &needed);
  }
  const auto after = winhost::ReadCounters();
  EXPECT_EQ(after.taskMemBlocks, before.taskMemBlocks);
  EXPECT_EQ(after.openKeys, before.openKeys);
}

// A W buffer's strings record by record, port0, name, port2; "-" for an address of 0.
std::vector<std::u16string> WideStrings(const std::vector<unsigned char>& buffer, std::int32_t count) {
  std::vector<std::u16string> strings;
  for (std::int32_t i = 0; i < count; ++i) {
    PackedPrinterInfo record;
    std::memcpy(&record, buffer.data() + sizeof record * static_cast<std::size_t>(i), sizeof record);
    for (const void* text : {record.port0, record.name, record.port2}) {
      strings.push_back(text != nullptr ? std::u16string(static_cast<const char16_t*>(text)) : u"-");
    }
  }
  return strings;
}

std::int32_t CollectWide(const char16_t* name, const char16_t* port0, const char16_t* port2, std::int32_t online,
                         uintptr_t context) {
  auto& strings = *reinterpret_cast<std::vector<std::u16string>*>(context);
  strings.insert(strings.end(), {port0, name, port2, online != 0 ? u"online" : u"offline"});
  return 1;
}

// When the task allocator runs dry the W forms fail, or give the records with
// the strings they could not copy left out, and free every block they took.
TEST(ExportsTest, AnExhaustedTaskAllocator) {
  ScopedRegistry scope({"devices.reg"});
  const auto before = winhost::ReadCounters();
  constexpr std::uint32_t R = sizeof(PackedPrinterInfo);
  struct Row {
    long successes;  // the product id's copy, then port0, name, port2 of each record
    std::int32_t result;
    std::uint32_t needed;
    std::vector<std::u16string> buffer;
    std::vector<std::u16string> callback;
  };
  const Row rows[] = {
      {0, -1, kUntouched, {}, {}},
      {1, 2, 2 * R, {u"-", u"-", u"-", u"-", u"-", u"-"},
       {u"", u"", u"", u"online", u"", u"", u"", u"offline"}},
      {2, 2, 2 * R + 10, {u"COM3", u"-", u"-", u"-", u"-", u"-"},
       {u"COM3", u"", u"", u"online", u"", u"", u"", u"offline"}},
      {7, 2, 2 * R + 10 + 36 + 10 + 10 + 36 + 10,
       {u"COM3", u"Receipt Printer A", u"COM4", u"COM7", u"Receipt Printer B", u"COM8"},
       {u"COM3", u"Receipt Printer A", u"COM4", u"online", u"COM7", u"Receipt Printer B", u"COM8", u"offline"}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.successes);
    // Each call starts with the same number of allocations allowed.
    const auto limited = [&row](auto call) {
      const testing_support::ScopedTaskMemLimit limit(row.successes);
      return call();
    };
    std::uint32_t needed = kUntouched;
    EXPECT_EQ(limited([&] { return EnumPrinterInfoW(u"4B31", nullptr, 0, &needed); }), -1);
    EXPECT_EQ(needed, row.needed);
    std::vector<unsigned char> buffer(row.needed != kUntouched ? row.needed : 0);
    const auto size = static_cast<std::uint32_t>(buffer.size());
    const auto result = limited([&] { return EnumPrinterInfoW(u"4B31", buffer.data(), size, &needed); });
    EXPECT_EQ(result, row.result);
    EXPECT_EQ(WideStrings(buffer, result), row.buffer);
    std::vector<std::u16string> offered;
    const auto context = reinterpret_cast<uintptr_t>(&offered);
    EXPECT_EQ(limited([&] { return EnumPrinterInfoCallbackW(u"4B31", CollectWide, context); }), row.result);
    EXPECT_EQ(offered, row.callback);
  }
  // The A forms take no task memory at all.
  const testing_support::ScopedTaskMemLimit none(0);
  std::uint32_t needed = 0;
  EXPECT_EQ(EnumPrinterInfoA("4B31", nullptr, 0, &needed), -1);
  std::vector<unsigned char> buffer(needed);
  EXPECT_EQ(EnumPrinterInfoA("4B31", buffer.data(), needed, &needed), 2);
  EXPECT_EQ(winhost::ReadCounters().taskMemBlocks, before.taskMemBlocks);
}

// Under code page 932 a Japanese printer name reaches the A buffer as
// Shift-JIS bytes, and the W buffer's size counts UTF-16 units.
TEST(ExportsTest, DoubleByteCodePage) {
  const testing_support::ScopedCodePage japanese(932);
  ScopedRegistry scope({"devices.reg", "japanese_printer.reg"});
  const std::string shiftJis = "\x8e\xf3\x95\x74\x83\x76\x83\x8a\x83\x93\x83\x5e";  // 6 characters, 12 bytes
  constexpr std::uint32_t R = sizeof(PackedPrinterInfo);
  const auto enumeration = EnumerateChecked("4B80");
  EXPECT_EQ(enumeration.bufferA.needed, R + 5 + 13 + 5);
  ASSERT_EQ(enumeration.bufferA.records.size(), 1u);
  EXPECT_EQ(enumeration.bufferA.records[0].name, shiftJis);
  EXPECT_EQ(enumeration.bufferW.needed, R + 10 + 14 + 10);
  ASSERT_EQ(enumeration.bufferW.records.size(), 1u);
  EXPECT_EQ(enumeration.bufferW.records[0].name, u"\u53D7\u4ED8\u30D7\u30EA\u30F3\u30BF");
}

// The exports give the walk's records when it succeeds, and -1 when it fails,
// keeping their whole contract on every fixture registry.
class ExportScenarioTest : public testing::TestWithParam<fixtures::Scenario> {};

TEST_P(ExportScenarioTest, TheFourExportsGiveTheScenarioRecords) {
  const auto& scenario = GetParam();
  SCOPED_TRACE(scenario.shows);
  std::vector<std::string> files;
  for (const auto* file : scenario.files) {
    if (file != nullptr) files.emplace_back(file);
  }
  ScopedRegistry scope(files);
  const auto enumeration = EnumerateChecked(scenario.productId);
  if (!scenario.walkSucceeds) {
    EXPECT_EQ(enumeration.bufferA.result, -1);
    EXPECT_EQ(enumeration.bufferA.needed, kUntouched);
    return;
  }
  std::vector<NarrowRecord> expected;
  for (int i = 0; i < scenario.recordCount; ++i) {
    const auto& r = scenario.records[i];
    expected.push_back(NarrowRecord{r.name, r.port0, r.port2, r.online});
  }
  EXPECT_EQ(enumeration.bufferA.result, scenario.recordCount);
  EXPECT_EQ(enumeration.bufferA.records, expected);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, ExportScenarioTest, testing::ValuesIn(fixtures::kScenarios));

}  // namespace
