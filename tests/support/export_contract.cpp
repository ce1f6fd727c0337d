#include "export_contract.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <limits>
#include <type_traits>
#include <utility>

#include "common/ansi.h"
#include "common/utf.h"

namespace contract {
namespace {

constexpr unsigned char kSentinel = 0xA5;
constexpr std::size_t kTail = 64;                   // sentinel bytes after the size given to the export
constexpr std::size_t kFailedWalkProbe = 64;        // the buffer offered when the size query failed
constexpr std::size_t kMaxPort = 6;                 // characters of a port name
constexpr std::size_t kMaxCallbackUnits = 1 << 16;  // longer than any registry string the walk reads
constexpr std::size_t kRecordSize = sizeof(PackedPrinterInfo);

static_assert(std::is_same<Callback<char>, EnumPrinterInfoProcA>::value, "the A callback's type");
static_assert(std::is_same<Callback<KorvaneWChar>, EnumPrinterInfoProcW>::value, "the W callback's type");

// Storage for one result buffer: `misalign` sentinel bytes, the buffer, and
// kTail more after the size given.
class Storage {
 public:
  Storage(std::size_t misalign, std::size_t size) : misalign_(misalign), bytes_(misalign + size + kTail, kSentinel) {}
  unsigned char* buffer() { return bytes_.data() + misalign_; }
  void Refill() { std::fill(bytes_.begin(), bytes_.end(), kSentinel); }
  bool UntouchedBefore() const { return Untouched(0, misalign_); }
  bool UntouchedFrom(std::size_t offset) const { return Untouched(misalign_ + offset, bytes_.size()); }
  bool UntouchedAll() const { return Untouched(0, bytes_.size()); }

 private:
  bool Untouched(std::size_t from, std::size_t to) const {
    return std::all_of(bytes_.begin() + static_cast<std::ptrdiff_t>(from),
                       bytes_.begin() + static_cast<std::ptrdiff_t>(to), [](unsigned char b) { return b == kSentinel; });
  }

  std::size_t misalign_;
  std::vector<unsigned char> bytes_;
};

template <typename Char>
void CheckRecordValues(const Record<Char>& record, std::size_t index, std::vector<std::string>& faults) {
  const auto where = "record " + std::to_string(index) + ": ";
  if (record.online != 0 && record.online != 1) faults.push_back(where + "online is neither 0 nor 1");
  if (record.port0.size() > kMaxPort) faults.push_back(where + "port0 longer than 6 characters");
  if (record.port2.size() > kMaxPort) faults.push_back(where + "port2 longer than 6 characters");
}

// Reads the packed result of `count` records and `size` bytes: the records,
// then the pool, in which every string must start where the previous one
// ended, with its terminator before the end of the size reported, and the
// last one ending exactly there.
template <typename Char>
void Unpack(const unsigned char* base, std::uint32_t size, const Options& options, Outcome<Char>& out) {
  const auto count = static_cast<std::size_t>(out.result);
  if (kRecordSize * count > size) {
    out.faults.push_back("the records alone exceed the size reported");
    return;
  }
  const unsigned char* end = base + size;
  const unsigned char* cursor = base + kRecordSize * count;
  for (std::size_t i = 0; i < count; ++i) {
    const auto where = "record " + std::to_string(i) + ": ";
    PackedPrinterInfo packed;
    std::memcpy(&packed, base + kRecordSize * i, sizeof packed);
    Record<Char> record;
    struct Field {
      const char* name;
      const void* address;
      std::basic_string<Char>* text;
    };
    const Field fields[] = {
        {"port0", packed.port0, &record.port0}, {"name", packed.name, &record.name}, {"port2", packed.port2, &record.port2}};
    for (const auto& field : fields) {
      if (field.address == nullptr) {
        // Stands for a string whose UTF-16 copy could not be made.
        if (sizeof(Char) == 1) {
          out.faults.push_back(where + field.name + " has an address of 0 in an A buffer");
        } else if (!options.wideCopiesMayFail) {
          out.faults.push_back(where + field.name + " has an address of 0, though no copy could fail");
        }
        continue;
      }
      if (static_cast<const unsigned char*>(field.address) != cursor) {
        out.faults.push_back(where + field.name + " is not where the pool continues");
        return;
      }
      if (static_cast<std::size_t>(cursor - base) % sizeof(Char) != 0) {
        out.faults.push_back(where + field.name + " starts at an odd offset");
      }
      for (;; cursor += sizeof(Char)) {
        if (cursor + sizeof(Char) > end) {
          out.faults.push_back(where + field.name + " runs past the size reported");
          return;
        }
        Char unit;
        std::memcpy(&unit, cursor, sizeof unit);
        if (unit == 0) break;
        field.text->push_back(unit);
      }
      cursor += sizeof(Char);
    }
    record.online = packed.online;
    // A 64-bit record ends in padding after online, which the layout gives as 0.
    const auto padding = base + kRecordSize * i + offsetof(PackedPrinterInfo, online) + sizeof packed.online;
    if (std::any_of(padding, base + kRecordSize * (i + 1), [](unsigned char b) { return b != 0; })) {
      out.faults.push_back(where + "the padding after online is not 0");
    }
    CheckRecordValues(record, i, out.faults);
    out.records.push_back(std::move(record));
  }
  if (cursor != end) out.faults.push_back("the pool does not end at the size reported");
}

template <typename Char>
Outcome<Char> ProbeBuffer(BufferExport<Char> call, const Char* productId, const Options& options) {
  Outcome<Char> out;
  auto& faults = out.faults;
  std::uint32_t needed = kUntouched;
  if (call(productId, nullptr, 0, &needed) != -1) faults.push_back("the size query did not return -1");
  out.needed = needed;
  if (needed == kUntouched) {
    // The walk failed. Walking again, it fails again and touches nothing.
    if (options.stable) {
      Storage storage(options.misalign, kFailedWalkProbe);
      std::uint32_t again = kUntouched;
      if (call(productId, storage.buffer(), kFailedWalkProbe, &again) != -1) {
        faults.push_back("a buffer call succeeded where the size query failed");
      }
      if (again != kUntouched) faults.push_back("a failed walk set the size");
      if (!storage.UntouchedAll()) faults.push_back("a failed walk wrote into the buffer");
    }
    return out;
  }
  if (needed > 0 && needed < kRecordSize) faults.push_back("a size of some bytes that holds no record");
  const std::uint32_t size = needed;
  Storage storage(options.misalign, size);

  if (options.stable && size > 0) {
    // One byte short: -1, the size again, and nothing written.
    std::uint32_t again = kUntouched;
    if (call(productId, storage.buffer(), size - 1, &again) != -1) faults.push_back("a buffer one byte short was filled");
    if (again != size) faults.push_back("a buffer one byte short did not get the size again");
    if (!storage.UntouchedAll()) faults.push_back("a buffer one byte short was written into");
    storage.Refill();
  }

  std::uint32_t filled = kUntouched;
  const std::int32_t result = call(productId, storage.buffer(), size, &filled);
  if (result < -1) faults.push_back("a negative result other than -1");
  if (result < 0) {
    if (!storage.UntouchedAll()) faults.push_back("a call that failed wrote into the buffer");
    if (filled != kUntouched && filled <= size) faults.push_back("-1 although the result fits the buffer");
    if (options.stable) faults.push_back("the call with the size just reported failed");
    return out;
  }
  out.result = result;
  out.needed = filled;
  if (filled == kUntouched || filled > size) {
    faults.push_back("the buffer was filled, but the size reported is not within it");
    out.result = -1;
    return out;
  }
  if (options.stable && filled != size) faults.push_back("the size changed between two calls");
  if (!storage.UntouchedBefore()) faults.push_back("bytes before the buffer were written");
  if (!storage.UntouchedFrom(filled)) faults.push_back("bytes after the size reported were written");
  Unpack(storage.buffer(), filled, options, out);

  if (options.stable) {
    // A larger buffer gets the very same bytes, and nothing after them. The
    // same buffer, since the addresses in it are absolute.
    const std::vector<unsigned char> exact(storage.buffer(), storage.buffer() + filled);
    storage.Refill();
    std::uint32_t again = kUntouched;
    if (call(productId, storage.buffer(), size + static_cast<std::uint32_t>(kTail), &again) != result) {
      faults.push_back("a larger buffer got another count");
    }
    if (again != filled) faults.push_back("a larger buffer got another size");
    if (!std::equal(exact.begin(), exact.end(), storage.buffer())) faults.push_back("a larger buffer got other bytes");
    if (!storage.UntouchedBefore() || !storage.UntouchedFrom(filled)) {
      faults.push_back("a larger buffer was written outside the size reported");
    }
  }
  return out;
}

template <typename Char>
std::basic_string<Char> CallbackText(const Char* text, const char* field, std::vector<std::string>& faults) {
  if (text == nullptr) {
    faults.push_back(std::string("a callback received a null ") + field);
    return {};
  }
  std::basic_string<Char> copy;
  for (std::size_t i = 0; text[i] != 0; ++i) {
    if (i == kMaxCallbackUnits) {
      faults.push_back(std::string("a callback's ") + field + " has no terminator in reach");
      break;
    }
    copy.push_back(text[i]);
  }
  return copy;
}

template <typename Char>
struct Collector {
  std::vector<Record<Char>> records;
  std::vector<std::string> faults;
  std::size_t stopAfter = std::numeric_limits<std::size_t>::max();
};

template <typename Char>
std::int32_t KORVANE_CALL Collect(const Char* name, const Char* port0, const Char* port2, std::int32_t online,
                                  uintptr_t context) {
  auto& collector = *reinterpret_cast<Collector<Char>*>(context);
  Record<Char> record;
  record.name = CallbackText(name, "name", collector.faults);
  record.port0 = CallbackText(port0, "port0", collector.faults);
  record.port2 = CallbackText(port2, "port2", collector.faults);
  record.online = online;
  CheckRecordValues(record, collector.records.size(), collector.faults);
  collector.records.push_back(std::move(record));
  return collector.records.size() < collector.stopAfter ? 1 : 0;
}

template <typename Char>
Outcome<Char> ProbeCallback(CallbackExport<Char> call, const Char* productId, const Options& options) {
  Outcome<Char> out;
  Collector<Char> all;
  const std::int32_t result = call(productId, Collect<Char>, reinterpret_cast<uintptr_t>(&all));
  out.faults = std::move(all.faults);
  out.records = std::move(all.records);
  out.result = result < 0 ? -1 : result;
  if (result < -1) out.faults.push_back("a negative result other than -1");
  if (result < 0 && !out.records.empty()) out.faults.push_back("the callback was called, and then -1 returned");
  if (result >= 0 && static_cast<std::size_t>(result) != out.records.size()) {
    out.faults.push_back("the result differs from the number of callbacks");
  }
  if (options.stable) {
    // A callback that returns 0 is not called again; the count stays.
    Collector<Char> early;
    early.stopAfter = options.stopAfter;
    if (call(productId, Collect<Char>, reinterpret_cast<uintptr_t>(&early)) != out.result) {
      out.faults.push_back("a callback that stopped early changed the count");
    }
    const std::size_t offered = out.result < 0 ? 0 : static_cast<std::size_t>(out.result);
    if (early.records.size() != std::min(options.stopAfter, offered)) {
      out.faults.push_back("a callback that returned 0 was called " + std::to_string(early.records.size()) +
                           " times, stopping after " + std::to_string(options.stopAfter));
    }
    const std::size_t common = std::min(early.records.size(), out.records.size());
    if (!std::equal(early.records.begin(), early.records.begin() + static_cast<std::ptrdiff_t>(common),
                    out.records.begin())) {
      out.faults.push_back("a callback that stopped early was offered other devices");
    }
  }
  return out;
}

// The UTF-16 form of an A result string, as the W exports make it: converted
// with its terminator, up to the first NUL (a lead byte at the end takes the
// terminator into one character, which the W string keeps).
std::basic_string<KorvaneWChar> Widen(const std::string& narrow) {
  const auto wide = common::AnsiToWide(std::string_view(narrow.c_str(), narrow.size() + 1));
  const std::basic_string<KorvaneWChar> units(wide.begin(), wide.end());
  return units.substr(0, units.find(KorvaneWChar{0}));
}

template <typename Char>
std::string DescribeRecord(const Record<Char>& record) {
  const auto text = [](const std::basic_string<Char>& s) { return common::Escaped(std::basic_string_view<Char>(s)); };
  return "{\"" + text(record.name) + "\", \"" + text(record.port0) + "\", \"" + text(record.port2) + "\", " +
         std::to_string(record.online) + "}";
}

}  // namespace

NarrowRecord Narrow(const char* name, const char* port0, const char* port2, std::int32_t online) {
  return NarrowRecord{name, port0, port2, online};
}

WideRecord Widened(const NarrowRecord& ascii) {
  const auto widen = [](const std::string& text) { return std::basic_string<KorvaneWChar>(text.begin(), text.end()); };
  return WideRecord{widen(ascii.name), widen(ascii.port0), widen(ascii.port2), ascii.online};
}

std::string Describe(const NarrowRecord& record) { return DescribeRecord(record); }
std::string Describe(const WideRecord& record) { return DescribeRecord(record); }

Outcome<char> BufferA(const Exports& exports, const char* productId, const Options& options) {
  return ProbeBuffer<char>(exports.bufferA, productId, options);
}

Outcome<KorvaneWChar> BufferW(const Exports& exports, const KorvaneWChar* productId, const Options& options) {
  return ProbeBuffer<KorvaneWChar>(exports.bufferW, productId, options);
}

Outcome<char> CallbackA(const Exports& exports, const char* productId, const Options& options) {
  return ProbeCallback<char>(exports.callbackA, productId, options);
}

Outcome<KorvaneWChar> CallbackW(const Exports& exports, const KorvaneWChar* productId, const Options& options) {
  return ProbeCallback<KorvaneWChar>(exports.callbackW, productId, options);
}

Enumeration EnumerateAll(const Exports& exports, const char* narrowId, const KorvaneWChar* wideId,
                         const Options& options) {
  return Enumeration{BufferA(exports, narrowId, options), CallbackA(exports, narrowId, options),
                     BufferW(exports, wideId, options), CallbackW(exports, wideId, options)};
}

Enumeration EnumerateAll(const Exports& exports, std::string_view asciiId, const Options& options) {
  const std::string narrow(asciiId);
  const std::basic_string<KorvaneWChar> wide(asciiId.begin(), asciiId.end());
  return EnumerateAll(exports, narrow.c_str(), wide.c_str(), options);
}

std::vector<std::string> Faults(const Enumeration& e) {
  std::vector<std::string> faults;
  const auto take = [&faults](const char* form, const std::vector<std::string>& found) {
    for (const auto& fault : found) faults.push_back(std::string(form) + ": " + fault);
  };
  take("EnumPrinterInfoA", e.bufferA.faults);
  take("EnumPrinterInfoCallbackA", e.callbackA.faults);
  take("EnumPrinterInfoW", e.bufferW.faults);
  take("EnumPrinterInfoCallbackW", e.callbackW.faults);
  if (e.bufferA.result != e.callbackA.result || e.bufferA.result != e.bufferW.result ||
      e.bufferA.result != e.callbackW.result) {
    faults.push_back("the four results differ: " + std::to_string(e.bufferA.result) + " " +
                     std::to_string(e.callbackA.result) + " " + std::to_string(e.bufferW.result) + " " +
                     std::to_string(e.callbackW.result));
  }
  if (e.bufferA.records != e.callbackA.records) {
    faults.push_back("A buffer " + Describe(e.bufferA.records) + "differs from A callback " +
                     Describe(e.callbackA.records));
  }
  if (e.bufferW.records != e.callbackW.records) {
    faults.push_back("W buffer " + Describe(e.bufferW.records) + "differs from W callback " +
                     Describe(e.callbackW.records));
  }
  if (e.bufferA.records.size() != e.bufferW.records.size()) {
    faults.push_back("A and W buffers hold different numbers of records");
    return faults;
  }
  for (std::size_t i = 0; i < e.bufferA.records.size(); ++i) {
    const auto& a = e.bufferA.records[i];
    const WideRecord widened{Widen(a.name), Widen(a.port0), Widen(a.port2), a.online};
    if (widened != e.bufferW.records[i]) {
      faults.push_back("W record " + Describe(e.bufferW.records[i]) + " is not the A record " + Describe(a) +
                       " widened");
    }
  }
  return faults;
}

namespace {

std::int32_t KORVANE_CALL CountA(const char*, const char*, const char*, std::int32_t, uintptr_t context) {
  ++*reinterpret_cast<int*>(context);
  return 1;
}

std::int32_t KORVANE_CALL CountW(const KorvaneWChar*, const KorvaneWChar*, const KorvaneWChar*, std::int32_t,
                                 uintptr_t context) {
  ++*reinterpret_cast<int*>(context);
  return 1;
}

}  // namespace

std::vector<std::string> ArgumentFaults(const Exports& exports, std::string_view asciiProductId) {
  std::vector<std::string> faults;
  const std::string narrow(asciiProductId);
  const std::basic_string<KorvaneWChar> wide(asciiProductId.begin(), asciiProductId.end());
  const KorvaneWChar wideEmpty[] = {0};
  std::vector<unsigned char> buffer(64, kSentinel);
  const auto untouched = [&buffer] {
    return std::all_of(buffer.begin(), buffer.end(), [](unsigned char b) { return b == kSentinel; });
  };
  const auto size = static_cast<std::uint32_t>(buffer.size());

  // Buffer forms: a null product id, or no place for the size, with and without a buffer.
  for (const bool wideForm : {false, true}) {
    const std::string form = wideForm ? "EnumPrinterInfoW" : "EnumPrinterInfoA";
    const auto call = [&](bool nullId, void* target, std::uint32_t* needed) {
      const std::uint32_t given = target != nullptr ? size : 0;
      return wideForm ? exports.bufferW(nullId ? nullptr : wide.c_str(), target, given, needed)
                      : exports.bufferA(nullId ? nullptr : narrow.c_str(), target, given, needed);
    };
    for (void* target : {static_cast<void*>(nullptr), static_cast<void*>(buffer.data())}) {
      const std::string with = target != nullptr ? " and a buffer" : " and no buffer";
      std::uint32_t needed = kUntouched;
      if (call(true, target, &needed) != -1) faults.push_back(form + " with a null product id" + with + ": not -1");
      if (needed != kUntouched) faults.push_back(form + " with a null product id" + with + ": the size was set");
      if (call(false, target, nullptr) != -1) {
        faults.push_back(form + " without a place for the size" + with + ": not -1");
      }
    }
    if (!untouched()) faults.push_back(form + ": a call with a null argument wrote into the buffer");
  }

  // Callback forms: a null callback fails; a null product id is the empty one.
  if (exports.callbackA(narrow.c_str(), nullptr, 0) != -1) faults.push_back("EnumPrinterInfoCallbackA without a callback: not -1");
  if (exports.callbackW(wide.c_str(), nullptr, 0) != -1) faults.push_back("EnumPrinterInfoCallbackW without a callback: not -1");
  int callsNull = 0;
  int callsEmpty = 0;
  const auto nullA = exports.callbackA(nullptr, CountA, reinterpret_cast<uintptr_t>(&callsNull));
  const auto emptyA = exports.callbackA("", CountA, reinterpret_cast<uintptr_t>(&callsEmpty));
  if (nullA != emptyA || callsNull != callsEmpty) {
    faults.push_back("EnumPrinterInfoCallbackA: a null product id gives " + std::to_string(nullA) + " and " +
                     std::to_string(callsNull) + " calls, the empty one " + std::to_string(emptyA) + " and " +
                     std::to_string(callsEmpty));
  }
  callsNull = 0;
  callsEmpty = 0;
  const auto nullW = exports.callbackW(nullptr, CountW, reinterpret_cast<uintptr_t>(&callsNull));
  const auto emptyW = exports.callbackW(wideEmpty, CountW, reinterpret_cast<uintptr_t>(&callsEmpty));
  if (nullW != emptyW || callsNull != callsEmpty) {
    faults.push_back("EnumPrinterInfoCallbackW: a null product id gives " + std::to_string(nullW) + " and " +
                     std::to_string(callsNull) + " calls, the empty one " + std::to_string(emptyW) + " and " +
                     std::to_string(callsEmpty));
  }
  return faults;
}

}  // namespace contract
