#include "korvane.h"

#include <gtest/gtest.h>

#include <cstring>

#include "registry_fixture.h"
#include "scenarios.h"

namespace {

using testing_support::CallCounter;
using testing_support::ScopedRegistry;

constexpr std::uint32_t kUntouched = 0xDEADBEEF;
constexpr unsigned char kSentinel = 0xCC;

using BufferExport = std::int32_t (*)(const void* productId, void* buffer, std::uint32_t size, std::uint32_t* needed);

std::int32_t CallA(const void* id, void* buffer, std::uint32_t size, std::uint32_t* needed) {
  return EnumPrinterInfoA(static_cast<const char*>(id), buffer, size, needed);
}
std::int32_t CallW(const void* id, void* buffer, std::uint32_t size, std::uint32_t* needed) {
  return EnumPrinterInfoW(static_cast<const char16_t*>(id), buffer, size, needed);
}

struct Form {
  const char* name;
  BufferExport call;
  const void* present;  // "4B31": two devices
  const void* failing;  // "FFFF": the walk fails
  const void* empty;    // "4B61": no device
};

const Form kForms[] = {
    {"A", CallA, "4B31", "FFFF", "4B61"},
    {"W", CallW, u"4B31", u"FFFF", u"4B61"},
};

TEST(BufferExportTest, EveryRowOfTheProtocol) {
  ScopedRegistry scope({"devices.reg"});
  for (const auto& form : kForms) {
    SCOPED_TRACE(form.name);
    std::uint32_t needed = kUntouched;
    EXPECT_EQ(form.call(nullptr, nullptr, 0, &needed), -1);
    EXPECT_EQ(needed, kUntouched);
    {
      const CallCounter counter;
      std::vector<unsigned char> buffer(64);
      EXPECT_EQ(form.call(form.present, buffer.data(), 64, nullptr), -1);
      EXPECT_EQ(counter.total(), 0u) << "registry read without a place for the size";
    }
    EXPECT_EQ(form.call(form.failing, nullptr, 0, &needed), -1);
    EXPECT_EQ(needed, kUntouched);

    // Size query.
    EXPECT_EQ(form.call(form.present, nullptr, 0, &needed), -1);
    ASSERT_NE(needed, kUntouched);
    ASSERT_GT(needed, 0u);
    const std::uint32_t size = needed;

    // One byte short: nothing written, the size reported again.
    std::vector<unsigned char> buffer(size + 8, kSentinel);
    needed = 0;
    EXPECT_EQ(form.call(form.present, buffer.data(), size - 1, &needed), -1);
    EXPECT_EQ(needed, size);
    for (const auto b : buffer) ASSERT_EQ(b, kSentinel);

    // Exactly the size: filled to its last byte and not beyond.
    EXPECT_EQ(form.call(form.present, buffer.data(), size, &needed), 2);
    EXPECT_EQ(buffer[size - 1], 0);
    for (std::size_t i = size; i < buffer.size(); ++i) EXPECT_EQ(buffer[i], kSentinel);

    // No device: the size query says 0, and any non-null buffer gets 0 records.
    EXPECT_EQ(form.call(form.empty, nullptr, 0, &needed), -1);
    EXPECT_EQ(needed, 0u);
    unsigned char none = kSentinel;
    EXPECT_EQ(form.call(form.empty, &none, 0, &needed), 0);
    EXPECT_EQ(none, kSentinel);
  }
}

TEST(BufferExportTest, WideBufferHoldsTheUtf16FormOfTheNarrowOne) {
  ScopedRegistry scope({"devices.reg"});
  std::uint32_t sizeA = 0;
  std::uint32_t sizeW = 0;
  EnumPrinterInfoA("4B31", nullptr, 0, &sizeA);
  EnumPrinterInfoW(u"4B31", nullptr, 0, &sizeW);
  std::vector<unsigned char> a(sizeA);
  std::vector<unsigned char> w(sizeW);
  ASSERT_EQ(EnumPrinterInfoA("4B31", a.data(), sizeA, &sizeA), 2);
  ASSERT_EQ(EnumPrinterInfoW(u"4B31", w.data(), sizeW, &sizeW), 2);
  for (std::size_t i = 0; i < 2; ++i) {
    PackedPrinterInfo ra;
    PackedPrinterInfo rw;
    std::memcpy(&ra, a.data() + i * sizeof ra, sizeof ra);
    std::memcpy(&rw, w.data() + i * sizeof rw, sizeof rw);
    for (auto [na, nw] : {std::pair{ra.name, rw.name}, {ra.port0, rw.port0}, {ra.port2, rw.port2}}) {
      const std::string narrow(static_cast<const char*>(na));
      EXPECT_EQ(std::u16string(static_cast<const char16_t*>(nw)), std::u16string(narrow.begin(), narrow.end()));
    }
    EXPECT_EQ(ra.online, rw.online);
  }
}

struct Seen {
  std::vector<std::string> lines;
  int stopAfter = 1000;
};

std::int32_t CollectLine(const char* name, const char* port0, const char* port2, std::int32_t online, uintptr_t context) {
  auto* seen = reinterpret_cast<Seen*>(context);
  seen->lines.push_back(std::string(name) + ", " + port0 + ", " + port2 + ", " + (online ? "OnLine" : "OffLine"));
  return static_cast<std::int32_t>(seen->lines.size()) < seen->stopAfter ? 1 : 0;
}

std::int32_t NestedCall(const char16_t* name, const char16_t*, const char16_t*, std::int32_t, uintptr_t context) {
  auto* counts = reinterpret_cast<std::vector<std::int32_t>*>(context);
  std::uint32_t needed = 0;
  EnumPrinterInfoA("4B52", nullptr, 0, &needed);
  counts->push_back(static_cast<std::int32_t>(needed));
  EXPECT_NE(name, nullptr);
  return 1;
}

TEST(CallbackExportTest, OffersEachDeviceUntilTold) {
  ScopedRegistry scope({"devices.reg"});
  Seen all;
  EXPECT_EQ(EnumPrinterInfoCallbackA("4B31", CollectLine, reinterpret_cast<uintptr_t>(&all)), 2);
  EXPECT_EQ(all.lines, (std::vector<std::string>{"Receipt Printer A, COM3, COM4, OnLine",
                                                 "Receipt Printer B, COM7, COM8, OffLine"}));
  Seen first;
  first.stopAfter = 1;
  EXPECT_EQ(EnumPrinterInfoCallbackA("4B31", CollectLine, reinterpret_cast<uintptr_t>(&first)), 2);
  EXPECT_EQ(first.lines.size(), 1u);
  const CallCounter counter;
  EXPECT_EQ(EnumPrinterInfoCallbackA("4B31", nullptr, 0), -1);
  EXPECT_EQ(EnumPrinterInfoCallbackW(u"4B31", nullptr, 0), -1);
  EXPECT_EQ(counter.total(), 0u);
  // A null product id is the empty one, which finds no device keys here.
  EXPECT_EQ(EnumPrinterInfoCallbackA(nullptr, CollectLine, reinterpret_cast<uintptr_t>(&all)), -1);
  EXPECT_EQ(EnumPrinterInfoCallbackW(nullptr, NestedCall, 0), -1);
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
  std::uint32_t needed = 0;
  EnumPrinterInfoA("4B80", nullptr, 0, &needed);
  ASSERT_EQ(needed, R + 5 + 13 + 5);
  std::vector<unsigned char> a(needed);
  ASSERT_EQ(EnumPrinterInfoA("4B80", a.data(), needed, &needed), 1);
  PackedPrinterInfo record;
  std::memcpy(&record, a.data(), sizeof record);
  EXPECT_EQ(std::string(static_cast<const char*>(record.name)), shiftJis);
  EnumPrinterInfoW(u"4B80", nullptr, 0, &needed);
  ASSERT_EQ(needed, R + 10 + 14 + 10);
  std::vector<unsigned char> w(needed);
  ASSERT_EQ(EnumPrinterInfoW(u"4B80", w.data(), needed, &needed), 1);
  std::memcpy(&record, w.data(), sizeof record);
  EXPECT_EQ(std::u16string(static_cast<const char16_t*>(record.name)), u"\u53D7\u4ED8\u30D7\u30EA\u30F3\u30BF");
}

// The exports give the walk's records when it succeeds, and -1 when it fails.
class ExportScenarioTest : public testing::TestWithParam<fixtures::Scenario> {};

TEST_P(ExportScenarioTest, TwoCallProtocolGivesTheScenarioRecords) {
  const auto& scenario = GetParam();
  SCOPED_TRACE(scenario.shows);
  std::vector<std::string> files;
  for (const auto* file : scenario.files) {
    if (file != nullptr) files.emplace_back(file);
  }
  ScopedRegistry scope(files);
  std::uint32_t needed = kUntouched;
  EXPECT_EQ(EnumPrinterInfoA(scenario.productId, nullptr, 0, &needed), -1);
  if (!scenario.walkSucceeds) {
    EXPECT_EQ(needed, kUntouched);
    return;
  }
  std::vector<unsigned char> buffer(needed + 1u);
  ASSERT_EQ(EnumPrinterInfoA(scenario.productId, buffer.data(), needed, &needed), scenario.recordCount);
  for (int i = 0; i < scenario.recordCount; ++i) {
    PackedPrinterInfo record;
    std::memcpy(&record, buffer.data() + sizeof record * static_cast<std::size_t>(i), sizeof record);
    EXPECT_STREQ(static_cast<const char*>(record.name), scenario.records[i].name);
    EXPECT_STREQ(static_cast<const char*>(record.port0), scenario.records[i].port0);
    EXPECT_STREQ(static_cast<const char*>(record.port2), scenario.records[i].port2);
    EXPECT_EQ(record.online, scenario.records[i].online);
  }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, ExportScenarioTest, testing::ValuesIn(fixtures::kScenarios));

}  // namespace
