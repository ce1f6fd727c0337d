// The contract checker against exports made up here: one pair that keeps the
// contract, and one fault at a time of the kinds the checker is there to
// catch. A checker that let one of them through would pass broken exports.
#include "export_contract.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace contract {
namespace {

enum class Fault {
  kNone,
  kWritesPastTheSize,
  kWritesIntoAShortBuffer,
  kLeavesAGap,
  kSetsTheSizeOnFailure,
  kNullAddressInA,
  kOnlineTwo,
  kLongPort,
  kNullCallbackString,
  kCountsOnlyTheCallbacksMade,
  kCallsAfterStop,
  kWideDiffers,
  kPaddingNotZero,  // only a 64-bit record has padding
};

// The one device the fakes know, and what they do wrong now.
Fault theFault = Fault::kNone;
bool theWalkFails = false;

template <typename Char>
std::basic_string<Char> Text(const char* ascii) {
  return std::basic_string<Char>(ascii, ascii + std::strlen(ascii));
}

template <typename Char>
std::vector<std::basic_string<Char>> Strings() {  // port0, name, port2
  auto name = Text<Char>("Printer");
  if (sizeof(Char) == 2 && theFault == Fault::kWideDiffers) name[0] = 'Q';
  return {Text<Char>(theFault == Fault::kLongPort ? "COM1234" : "COM1"), name, Text<Char>("COM2")};
}

template <typename Char>
std::int32_t Buffer(const Char*, void* buffer, std::uint32_t size, std::uint32_t* needed) {
  if (theWalkFails) {
    if (theFault == Fault::kSetsTheSizeOnFailure && buffer != nullptr) *needed = 0;
    return -1;
  }
  const auto strings = Strings<Char>();
  const std::uint32_t gap = theFault == Fault::kLeavesAGap ? 2 : 0;
  std::uint32_t total = sizeof(PackedPrinterInfo) + gap;
  for (const auto& s : strings) total += static_cast<std::uint32_t>(sizeof(Char) * (s.size() + 1));
  *needed = total;
  if (buffer == nullptr) return -1;
  auto* bytes = static_cast<unsigned char*>(buffer);
  if (size < total) {
    if (theFault == Fault::kWritesIntoAShortBuffer && size > 0) bytes[0] = 0;
    return -1;
  }
  PackedPrinterInfo record;
  std::memset(&record, theFault == Fault::kPaddingNotZero ? 0xFF : 0, sizeof record);
  unsigned char* pool = bytes + sizeof record;
  const void** fields[] = {&record.port0, &record.name, &record.port2};
  for (std::size_t i = 0; i < 3; ++i) {
    if (i == 1) pool += gap;  // before the name
    *fields[i] = pool;
    std::memcpy(pool, strings[i].c_str(), sizeof(Char) * (strings[i].size() + 1));
    pool += sizeof(Char) * (strings[i].size() + 1);
  }
  if (theFault == Fault::kNullAddressInA && sizeof(Char) == 1) record.port2 = nullptr;
  record.online = theFault == Fault::kOnlineTwo ? 2 : 1;
  std::memcpy(bytes, &record, sizeof record);
  if (theFault == Fault::kWritesPastTheSize) bytes[total] = 0;
  return 1;
}

template <typename Char>
std::int32_t Callbacks(const Char*, Callback<Char> callback, uintptr_t context) {
  if (theWalkFails) return -1;
  const auto strings = Strings<Char>();
  int calls = 0;
  for (int device = 0; device < 2; ++device) {
    const Char* port2 = theFault == Fault::kNullCallbackString ? nullptr : strings[2].c_str();
    ++calls;
    const bool more = callback(strings[1].c_str(), strings[0].c_str(), port2, 1, context) != 0;
    if (!more && theFault != Fault::kCallsAfterStop) break;
  }
  // Two devices in the callback forms, so that stopping after one shows.
  return theFault == Fault::kCountsOnlyTheCallbacksMade ? calls : 2;
}

// The buffer forms above know one device; the callback forms two. Only the
// buffer forms' contract is looked at for buffer faults, and the callbacks'
// for callback faults.
const Exports kFakes{Buffer<char>, Buffer<KorvaneWChar>, Callbacks<char>, Callbacks<KorvaneWChar>};

bool Mentions(const std::vector<std::string>& faults, const std::string& text) {
  for (const auto& fault : faults) {
    if (fault.find(text) != std::string::npos) return true;
  }
  return false;
}

TEST(ExportContractTest, AcceptsExportsThatKeepTheContract) {
  theFault = Fault::kNone;
  for (const bool fails : {false, true}) {
    theWalkFails = fails;
    for (const std::size_t misalign : std::initializer_list<std::size_t>{0, 1, 3}) {
      Options options;
      options.misalign = misalign;
      EXPECT_EQ(BufferA(kFakes, "4B31", options).faults, std::vector<std::string>{});
      EXPECT_EQ(BufferW(kFakes, u"4B31", options).faults, std::vector<std::string>{});
      EXPECT_EQ(CallbackA(kFakes, "4B31", options).faults, std::vector<std::string>{});
      EXPECT_EQ(CallbackW(kFakes, u"4B31", options).faults, std::vector<std::string>{});
    }
  }
  theWalkFails = false;
}

TEST(ExportContractTest, FindsEachFault) {
  struct Row {
    Fault fault;
    bool walkFails;
    const char* form;  // "A", "W", "callback"
    const char* found;
  };
  const Row rows[] = {
      {Fault::kWritesPastTheSize, false, "A", "bytes after the size reported were written"},
      {Fault::kWritesIntoAShortBuffer, false, "W", "a buffer one byte short was written into"},
      {Fault::kLeavesAGap, false, "A", "name is not where the pool continues"},
      {Fault::kSetsTheSizeOnFailure, true, "A", "a failed walk set the size"},
      {Fault::kNullAddressInA, false, "A", "an address of 0 in an A buffer"},
      {Fault::kOnlineTwo, false, "W", "online is neither 0 nor 1"},
      {Fault::kLongPort, false, "A", "port0 longer than 6 characters"},
      {Fault::kNullCallbackString, false, "callback", "a callback received a null port2"},
      {Fault::kCountsOnlyTheCallbacksMade, false, "callback", "a callback that stopped early changed the count"},
      {Fault::kCallsAfterStop, false, "callback", "a callback that returned 0 was called 2 times"},
      {Fault::kPaddingNotZero, false, "A", "the padding after online is not 0"},  // the host is 64-bit
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.found);
    theFault = row.fault;
    theWalkFails = row.walkFails;
    const std::string form = row.form;
    const auto faults = form == "A"   ? BufferA(kFakes, "4B31").faults
                        : form == "W" ? BufferW(kFakes, u"4B31").faults
                                      : CallbackA(kFakes, "4B31").faults;
    EXPECT_TRUE(Mentions(faults, row.found)) << testing::PrintToString(faults);
  }
  // The four forms must agree: a W string that is not its A string widened.
  theFault = Fault::kWideDiffers;
  theWalkFails = false;
  Enumeration enumeration{BufferA(kFakes, "4B31"), BufferA(kFakes, "4B31"), BufferW(kFakes, u"4B31"),
                          BufferW(kFakes, u"4B31")};
  EXPECT_TRUE(Mentions(Faults(enumeration), "is not the A record")) << testing::PrintToString(Faults(enumeration));
  theFault = Fault::kNone;
}

}  // namespace
}  // namespace contract
