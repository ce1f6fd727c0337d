// Builds the registry that the input describes (walk_input.h), installs it in
// the stand-in and runs all four exports on it, for "4B31" and, when the input
// says so, for a product id of its own. Checks:
//  - buffer forms: the size query returns -1 and sets the size exactly when
//    the walk succeeds; a buffer one byte short is refused, learns the size
//    and is untouched; a buffer of the size gets that many bytes and not one
//    more, laid out as n records and then, per device, port0, name and port2,
//    each inside the result and terminated, with no gap; no device means 0
//    records and nothing written;
//  - callback forms: the same count and the same strings as the buffer forms,
//    never a null string, and a callback that stops early ends the calls but
//    not the count;
//  - the A and W forms give the same count, and the W strings are the A
//    strings widened in the code page;
//  - port names are at most 6 characters; online is 0 or 1; there are no more
//    devices than instances times printer models, and none without a
//    serial-port map;
//  - no key handle and no task-allocator block outlives the calls.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "check.h"
#include "korvane.h"
#include "walk_input.h"
#include "winhost/codepage.h"
#include "winhost/system.h"

namespace {

constexpr std::uint32_t kUntouched = 0xDEADBEEF;
constexpr unsigned char kSentinel = 0xA5;
constexpr std::size_t kSlack = 32;
constexpr std::size_t kRecord = sizeof(PackedPrinterInfo);
constexpr std::size_t kMaxPort = 6;

template <typename Char>
struct Device {
  std::basic_string<Char> name;
  std::basic_string<Char> port0;
  std::basic_string<Char> port2;
  std::int32_t online = 0;
  bool operator==(const Device& other) const {
    return name == other.name && port0 == other.port0 && port2 == other.port2 && online == other.online;
  }
};

// What one export answered: -1 when the walk failed, else the devices.
template <typename Char>
struct Outcome {
  std::int32_t count = -1;
  std::vector<Device<Char>> devices;
};

template <typename Char>
using BufferExport = std::int32_t (*)(const Char*, void*, std::uint32_t, std::uint32_t*);

bool AllSentinel(const unsigned char* begin, const unsigned char* end) {
  for (; begin != end; ++begin) {
    if (*begin != kSentinel) return false;
  }
  return true;
}

// Reads the string that the pool holds at pos, which must be where `address` points.
template <typename Char>
std::basic_string<Char> PooledString(const unsigned char* buffer, std::size_t& pos, std::size_t end,
                                     const void* address) {
  FUZZ_REQUIRE(address != nullptr, "every string of a result has an address");
  FUZZ_REQUIRE(reinterpret_cast<std::uintptr_t>(address) == reinterpret_cast<std::uintptr_t>(buffer + pos),
               "strings follow the records in order, with no gap");
  FUZZ_REQUIRE(pos % sizeof(Char) == 0, "a UTF-16 string starts at an even offset");
  std::basic_string<Char> text;
  for (;;) {
    FUZZ_REQUIRE(pos + sizeof(Char) <= end, "a string ends inside the result");
    Char c;
    std::memcpy(&c, buffer + pos, sizeof c);
    pos += sizeof c;
    if (c == 0) return text;
    text.push_back(c);
  }
}

// Reads and checks a packed result of `count` records and `size` bytes.
template <typename Char>
std::vector<Device<Char>> Unpack(const unsigned char* buffer, std::int32_t count, std::size_t size) {
  std::vector<Device<Char>> devices;
  std::size_t pos = kRecord * static_cast<std::size_t>(count);
  for (std::int32_t i = 0; i < count; ++i) {
    PackedPrinterInfo record;
    std::memcpy(&record, buffer + kRecord * static_cast<std::size_t>(i), sizeof record);
    Device<Char> device;
    device.port0 = PooledString<Char>(buffer, pos, size, record.port0);
    device.name = PooledString<Char>(buffer, pos, size, record.name);
    device.port2 = PooledString<Char>(buffer, pos, size, record.port2);
    device.online = record.online;
    devices.push_back(std::move(device));
  }
  FUZZ_REQUIRE(pos == size, "the result ends with its last string");
  return devices;
}

template <typename Char>
Outcome<Char> RunBuffer(BufferExport<Char> call, const Char* productId, std::size_t misalign) {
  Outcome<Char> outcome;
  std::uint32_t needed = kUntouched;
  FUZZ_REQUIRE(call(productId, nullptr, 0, &needed) == -1, "a size query returns -1");
  if (needed == kUntouched) {
    unsigned char probe[64];
    std::memset(probe, kSentinel, sizeof probe);
    FUZZ_REQUIRE(call(productId, probe, sizeof probe, &needed) == -1, "a failed walk fails a buffer call");
    FUZZ_REQUIRE(needed == kUntouched, "a failed walk leaves the size alone");
    FUZZ_REQUIRE(AllSentinel(probe, probe + sizeof probe), "a failed walk writes nothing");
    return outcome;
  }
  if (needed == 0) {
    unsigned char none = kSentinel;
    std::uint32_t again = kUntouched;
    FUZZ_REQUIRE(call(productId, &none, 0, &again) == 0, "no device: any buffer gets 0 records");
    FUZZ_REQUIRE(again == 0 && none == kSentinel, "no device: size 0, nothing written");
    outcome.count = 0;
    return outcome;
  }
  FUZZ_REQUIRE(needed >= kRecord, "a result holds at least one record");

  std::vector<unsigned char> storage(misalign + needed + kSlack, kSentinel);
  unsigned char* buffer = storage.data() + misalign;
  std::uint32_t again = kUntouched;
  FUZZ_REQUIRE(call(productId, buffer, needed - 1, &again) == -1, "a buffer one byte short is refused");
  FUZZ_REQUIRE(again == needed, "a buffer one byte short learns the size");
  FUZZ_REQUIRE(AllSentinel(storage.data(), storage.data() + storage.size()), "a buffer one byte short is untouched");

  again = kUntouched;
  const std::int32_t count = call(productId, buffer, needed, &again);
  FUZZ_REQUIRE(again == needed, "a filled buffer learns the same size");
  FUZZ_REQUIRE(count > 0 && kRecord * static_cast<std::size_t>(count) <= needed,
               "a result of some bytes holds records");
  FUZZ_REQUIRE(AllSentinel(storage.data(), buffer), "nothing is written before the buffer");
  FUZZ_REQUIRE(AllSentinel(buffer + needed, storage.data() + storage.size()), "nothing is written past the size");
  outcome.count = count;
  outcome.devices = Unpack<Char>(buffer, count, needed);

  // A larger buffer gets the very same bytes, and nothing after them.
  const std::vector<unsigned char> exact(buffer, buffer + needed);
  std::memset(storage.data(), kSentinel, storage.size());
  FUZZ_REQUIRE(call(productId, buffer, needed + static_cast<std::uint32_t>(kSlack), &again) == count,
               "a larger buffer gets the same count");
  FUZZ_REQUIRE(std::memcmp(buffer, exact.data(), needed) == 0, "a larger buffer gets the same bytes");
  FUZZ_REQUIRE(AllSentinel(buffer + needed, storage.data() + storage.size()),
               "a larger buffer is written only up to the size");
  return outcome;
}

template <typename Char>
struct Collector {
  std::vector<Device<Char>> devices;
  std::size_t stopAfter = std::numeric_limits<std::size_t>::max();

  std::int32_t Add(const Char* name, const Char* port0, const Char* port2, std::int32_t online) {
    FUZZ_REQUIRE(name != nullptr && port0 != nullptr && port2 != nullptr, "a callback never gets a null string");
    devices.push_back(Device<Char>{name, port0, port2, online});
    return devices.size() < stopAfter ? 1 : 0;
  }
};

std::int32_t CollectA(const char* name, const char* port0, const char* port2, std::int32_t online,
                      std::uintptr_t context) {
  return reinterpret_cast<Collector<char>*>(context)->Add(name, port0, port2, online);
}

std::int32_t CollectW(const KorvaneWChar* name, const KorvaneWChar* port0, const KorvaneWChar* port2,
                      std::int32_t online, std::uintptr_t context) {
  return reinterpret_cast<Collector<KorvaneWChar>*>(context)->Add(name, port0, port2, online);
}

template <typename Char, typename Export, typename Proc>
Outcome<Char> RunCallback(Export call, Proc proc, const Char* productId, std::size_t stopAfter) {
  Collector<Char> all;
  Outcome<Char> outcome;
  outcome.count = call(productId, proc, reinterpret_cast<std::uintptr_t>(&all));
  FUZZ_REQUIRE(outcome.count >= -1, "a callback form returns -1 or a count");
  const auto offered = outcome.count < 0 ? 0 : static_cast<std::size_t>(outcome.count);
  FUZZ_REQUIRE(all.devices.size() == offered, "a callback is offered every device, and nothing after a failure");
  outcome.devices = std::move(all.devices);

  Collector<Char> early;
  early.stopAfter = stopAfter;
  FUZZ_REQUIRE(call(productId, proc, reinterpret_cast<std::uintptr_t>(&early)) == outcome.count,
               "a callback that stops early does not change the count");
  FUZZ_REQUIRE(early.devices.size() == std::min(stopAfter, offered), "a callback that returns 0 is not called again");
  for (std::size_t i = 0; i < early.devices.size(); ++i) {
    FUZZ_REQUIRE(early.devices[i] == outcome.devices[i], "every call offers the same devices");
  }
  return outcome;
}

// The UTF-16 form of a narrow result string: converted with its terminator,
// up to the first NUL (a lead byte at the end takes the terminator with it).
std::u16string Widen(const std::string& narrow, unsigned codePage) {
  auto wide = winhost::FromAnsi(std::string_view(narrow.c_str(), narrow.size() + 1), codePage);
  return wide.substr(0, wide.find(u'\0'));
}

void CheckProduct(const walkfuzz::Input& input, std::u16string productId) {
  const unsigned codePage = walkfuzz::CodePage(input);
  productId = productId.substr(0, productId.find(u'\0'));
  const std::string narrowId = winhost::ToAnsi(productId, codePage);

  const auto bufferA = RunBuffer<char>(EnumPrinterInfoA, narrowId.c_str(), input.misalign);
  const auto bufferW = RunBuffer<KorvaneWChar>(EnumPrinterInfoW, productId.c_str(), input.misalign);
  const auto callbackA = RunCallback<char>(EnumPrinterInfoCallbackA, CollectA, narrowId.c_str(), input.stopAfter);
  const auto callbackW =
      RunCallback<KorvaneWChar>(EnumPrinterInfoCallbackW, CollectW, productId.c_str(), input.stopAfter);

  FUZZ_REQUIRE(bufferA.count == bufferW.count, "the A and W forms agree on the count");
  FUZZ_REQUIRE(callbackA.count == bufferA.count && callbackA.devices == bufferA.devices,
               "the A callback gets what the A buffer holds");
  FUZZ_REQUIRE(callbackW.count == bufferW.count && callbackW.devices == bufferW.devices,
               "the W callback gets what the W buffer holds");
  if (bufferA.count < 0) return;

  const auto instances = (input.flags & walkfuzz::kInterface0) != 0 ? input.instances.size() : 0;
  const auto models = (input.flags & walkfuzz::kUsbPrint) != 0 ? input.models.size() : 0;
  FUZZ_REQUIRE(static_cast<std::size_t>(bufferA.count) <= instances * models,
               "at most one device per instance and printer model");
  FUZZ_REQUIRE((input.flags & walkfuzz::kSerialComm) != 0, "no walk succeeds without the serial-port map");
  for (std::size_t i = 0; i < bufferA.devices.size(); ++i) {
    const auto& a = bufferA.devices[i];
    const auto& w = bufferW.devices[i];
    FUZZ_REQUIRE(a.port0.size() <= kMaxPort && a.port2.size() <= kMaxPort, "A port names are at most 6 bytes");
    FUZZ_REQUIRE(w.port0.size() <= kMaxPort && w.port2.size() <= kMaxPort, "W port names are at most 6 units");
    FUZZ_REQUIRE(a.online == 0 || a.online == 1, "online is 0 or 1");
    FUZZ_REQUIRE(w.online == a.online, "the A and W forms agree on online");
    FUZZ_REQUIRE(w.name == Widen(a.name, codePage) && w.port0 == Widen(a.port0, codePage) &&
                     w.port2 == Widen(a.port2, codePage),
                 "W strings are the A strings widened");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider provider(data, size);
  walkfuzz::Input input;
  walkfuzz::Reader reader(provider);
  walkfuzz::Visit(reader, input);

  winhost::SetAnsiCodePage(walkfuzz::CodePage(input));
  winhost::InstallRegistry(walkfuzz::Build(input));
  const auto before = winhost::ReadCounters();
  CheckProduct(input, u"4B31");
  if ((input.flags & walkfuzz::kFuzzedProduct) != 0) CheckProduct(input, walkfuzz::ProductId(input));
  const auto after = winhost::ReadCounters();
  FUZZ_REQUIRE(after.openKeys == before.openKeys, "every key opened is closed");
  FUZZ_REQUIRE(after.taskMemBlocks == before.taskMemBlocks, "every task-allocator block is freed");
  return 0;
}
