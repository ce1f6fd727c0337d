#include "library/result_packing.h"

#include <gtest/gtest.h>

#include <cstring>

#include "registry_fixture.h"

namespace korvane {
namespace {

using testing_support::ScopedCodePage;

constexpr unsigned char kSentinel = 0xCC;
constexpr std::size_t R = kPackedRecordSize;  // 16 in the 32-bit library

struct Packed {
  std::vector<unsigned char> bytes;  // bytes needed, then 8 sentinel bytes
  std::uint32_t needed = 0;
  const PackedPrinterInfo record(std::size_t i) const {
    PackedPrinterInfo r;
    std::memcpy(&r, bytes.data() + R * i, sizeof r);
    return r;
  }
  std::size_t offset(const void* address) const {
    return static_cast<std::size_t>(static_cast<const unsigned char*>(address) - bytes.data());
  }
};

Packed Pack(const PrinterInfoList& records, bool wide) {
  ResultLists lists;
  Packed packed;
  packed.needed = BuildResultLists(records, lists, wide);
  packed.bytes.assign(packed.needed + 8u, kSentinel);
  PackResults(packed.bytes.data(), lists, wide);
  ReleaseResultLists(lists);
  return packed;
}

const PrinterInfo kOne{"Printer A", "COM3", "COM4", 1};  // name 9, ports 4 characters

TEST(PackResultsTest, NarrowRecordLayout) {
  const auto packed = Pack({kOne}, false);
  ASSERT_EQ(packed.needed, R + 20);  // 36 in the 32-bit library
  const auto record = packed.record(0);
  EXPECT_EQ(packed.offset(record.port0), R);
  EXPECT_EQ(packed.offset(record.name), R + 5);
  EXPECT_EQ(packed.offset(record.port2), R + 15);
  EXPECT_EQ(record.online, 1);
  EXPECT_EQ(std::memcmp(packed.bytes.data() + R, "COM3\0Printer A\0COM4\0", 20), 0);
  for (std::size_t i = packed.needed; i < packed.bytes.size(); ++i) EXPECT_EQ(packed.bytes[i], kSentinel);
}

TEST(PackResultsTest, WideRecordLayout) {
  const auto packed = Pack({kOne}, true);
  ASSERT_EQ(packed.needed, R + 40);  // 56 in the 32-bit library
  const auto record = packed.record(0);
  EXPECT_EQ(packed.offset(record.port0), R);
  EXPECT_EQ(packed.offset(record.name), R + 10);
  EXPECT_EQ(packed.offset(record.port2), R + 30);
  EXPECT_EQ(std::u16string(static_cast<const char16_t*>(record.name)), u"Printer A");
  EXPECT_EQ(packed.bytes[packed.needed - 1], 0);  // last terminator ends exactly at bytes needed
  EXPECT_EQ(packed.bytes[packed.needed - 2], 0);
  EXPECT_EQ(packed.bytes[packed.needed], kSentinel);
}

TEST(PackResultsTest, PoolHoldsEachRecordsStringsInTurn) {
  const auto packed = Pack({PrinterInfo{"N1", "P0", "P2", 0}, PrinterInfo{"", "Q0", "", 1}}, false);
  ASSERT_EQ(packed.needed, 2 * R + 9 + 5);
  EXPECT_EQ(std::memcmp(packed.bytes.data() + 2 * R, "P0\0N1\0P2\0Q0\0\0\0", 14), 0);
  const auto second = packed.record(1);
  EXPECT_EQ(packed.offset(second.name), 2 * R + 12);  // an empty string points at its terminator
  EXPECT_EQ(packed.offset(second.port2), 2 * R + 13);
  EXPECT_EQ(second.online, 1);
}

TEST(PackResultsTest, NothingIsWrittenForNoRecordsOrNoBuffer) {
  ResultLists lists;
  EXPECT_EQ(BuildResultLists({}, lists, true), 0u);
  unsigned char buffer[4] = {kSentinel, kSentinel, kSentinel, kSentinel};
  PackResults(buffer, lists, true);
  for (const auto b : buffer) EXPECT_EQ(b, kSentinel);
  ResultLists filled;
  BuildResultLists({kOne}, filled, false);
  PackResults(nullptr, filled, false);  // must not crash
}

TEST(PackResultsTest, WideSizesCountUtf16UnitsInADoubleByteCodePage) {
  const ScopedCodePage japanese(932);
  // One double-byte character: one UTF-16 unit and the terminator, 4 bytes.
  const auto packed = Pack({PrinterInfo{"\x93\xfa", "", "", 0}}, true);
  EXPECT_EQ(packed.needed, R + 2 + 4 + 2);
  EXPECT_EQ(std::u16string(static_cast<const char16_t*>(packed.record(0).name)), u"\u65E5");
}

TEST(PackResultsTest, LeadByteBeforeTheTerminatorStaysInsideTheReportedSize) {
  const ScopedCodePage japanese(932);
  // The lead byte swallows the terminator when converted; the copy must
  // still be terminated and fit the bytes reported.
  const auto packed = Pack({PrinterInfo{"ab\x83", "COM1", "COM2", 0}}, true);
  const auto name = static_cast<const char16_t*>(packed.record(0).name);
  const auto nameEnd = packed.offset(name) + 2 * (std::char_traits<char16_t>::length(name) + 1);
  EXPECT_LE(nameEnd, packed.needed);
  EXPECT_EQ(std::u16string(static_cast<const char16_t*>(packed.record(0).port2)), u"COM2");
  EXPECT_EQ(packed.bytes[packed.needed], kSentinel);
}

TEST(ResultListsTest, WideCopiesAreFreedOnce) {
  const auto before = winhost::ReadCounters().taskMemBlocks;
  {
    ResultLists lists;
    BuildResultLists({kOne, kOne}, lists, true);
    EXPECT_EQ(winhost::ReadCounters().taskMemBlocks - before, 6);
    ReleaseResultLists(lists);
    EXPECT_EQ(winhost::ReadCounters().taskMemBlocks, before);
  }  // the destructor must not free them again
  EXPECT_EQ(winhost::ReadCounters().taskMemBlocks, before);
}

TEST(StringConversionTest, NullGivesNoCopy) {
  const auto before = winhost::ReadCounters().taskMemBlocks;
  EXPECT_FALSE(WidenString(nullptr).text);
  EXPECT_EQ(NarrowString(nullptr).bytes, 0u);
  {
    const auto copy = NarrowString(u"4B31");
    ASSERT_TRUE(copy.text);
    EXPECT_STREQ(copy.text.get(), "4B31");
    EXPECT_EQ(copy.bytes, 5u);
  }  // the copy owns its block
  EXPECT_EQ(winhost::ReadCounters().taskMemBlocks, before);
}

}  // namespace
}  // namespace korvane
