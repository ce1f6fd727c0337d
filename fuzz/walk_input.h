// The input of walk_fuzzer: a description of the registry keys and values that
// the walk reads, and how to call the library on it.
//
// The fuzzer's bytes are decoded with FuzzedDataProvider. One function,
// Visit, lists the fields in the order they are read; it runs with a Reader
// to fill a description from bytes and with a Writer to turn a description
// into bytes, so hand-made seed inputs (make_walk_seeds) always decode to
// what they were built from.
//
// Strings are built from a small pool, so that one piece of text can recur
// wherever the walk compares one value with another (an instance's prefix, a
// printer's port, a present COM port), cut, joined or re-cased on the way.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "check.h"
#include "winhost/registry.h"

namespace walkfuzz {

enum TextOp : std::uint8_t {
  kWhole,     // pool[a]
  kFirst,     // the first n units of pool[a]
  kLast,      // the last n units of pool[a]
  kConcat,    // pool[a] + pool[b]
  kUpper,     // pool[a] with ASCII letters upper-cased
  kLower,     // pool[a] with ASCII letters lower-cased
  kRepeat,    // pool[a] repeated to n units
  kTextOpLast = kRepeat,
};

struct Text {
  std::uint8_t op = kWhole;
  std::uint8_t a = 0;  // pool indexes, taken modulo the pool's size
  std::uint8_t b = 0;
  std::uint16_t n = 0;
};
constexpr std::uint16_t kMaxTextUnits = 1100;

enum PoolForm : std::uint8_t {
  kLatin1,  // each byte one unit
  kUtf16,   // each two bytes one unit, little-endian (any unit, lone surrogates too)
  kCp932,   // the bytes read as code page 932 text
  kPoolFormLast = kCp932,
};

struct PoolEntry {
  std::uint8_t form = kLatin1;
  std::string bytes;
};
constexpr std::size_t kMaxPoolBytes = 64;

// Value types, by index: REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD, REG_BINARY, REG_NONE.
constexpr std::uint32_t kValueTypes[] = {1, 2, 7, 4, 3, 0};
constexpr std::uint8_t kValueTypeLast = 5;

enum DataForm : std::uint8_t {
  kTerminated,    // the text in UTF-16LE with its terminator
  kUnterminated,  // the text in UTF-16LE without one
  kOddLength,     // the text in UTF-16LE, its terminator and one more byte
  kMulti,         // text, NUL, pool[text.b], NUL, NUL: a string list
  kNarrow,        // the text in the ANSI code page with a NUL byte
  kRaw,           // raw bytes
  kDataFormLast = kRaw,
};
constexpr std::size_t kMaxRawBytes = 1100;

struct Data {
  std::uint8_t type = 0;  // index into kValueTypes
  std::uint8_t form = kTerminated;
  Text text;
  std::string raw;
};

// Which name a value gets: one the walk reads in that key, the first of them
// upper-cased, or any text.
enum NameKind : std::uint8_t { kFirstName, kSecondName, kFirstNameUpper, kTextName, kNameKindLast = kTextName };

struct NamedValue {
  std::uint8_t nameKind = kFirstName;
  Text name;
  Data data;
};

// One device instance: its interface-0 key and, by the bits of `keys`, its
// siblings under interfaces 1 and 2 and the "Device Parameters" keys.
enum InstanceKeys : std::uint8_t {
  kHasInterface1 = 1,
  kHasInterface2 = 2,
  kParameters0 = 4,       // values0 go into "Device Parameters" of the interface-0 key
  kParameters2 = 8,       // values2 go into "Device Parameters" of the interface-2 key
  kOwnSiblingNames = 16,  // name1 and name2 name the siblings instead of name with its last unit replaced
};

struct Instance {
  Text name;
  std::uint8_t keys = 0;
  Text name1;
  Text name2;
  std::vector<NamedValue> values0;  // "PortName" read here
  std::vector<NamedValue> values1;  // "ParentIdPrefix"
  std::vector<NamedValue> values2;  // "PortName"
};

struct PrintModel {
  Text name;
  std::vector<Text> instances;
};

struct Printer {
  Text key;
  std::vector<NamedValue> values;  // "Port" and "Name" read here
};

enum Flags : std::uint8_t {
  kCodePage932 = 1,
  kInterface0 = 2,  // the interface keys exist
  kInterface1 = 4,
  kInterface2 = 8,
  kUsbPrint = 16,    // the USBPRINT key exists, with the models
  kPrinters = 32,    // the printers key exists, with the printers
  kSerialComm = 64,  // the serial-port map exists, with its values
  kFuzzedProduct = 128,  // the interface keys use productId, and the library is asked for it too
};

// How the interface key names are spelled: as the vendor writes them, or all upper or lower case.
enum Spelling : std::uint8_t { kAsWritten, kAllUpper, kAllLower, kSpellingLast = kAllLower };

struct Input {
  std::uint8_t flags = 0;
  std::uint8_t spelling = kAsWritten;
  std::uint8_t stopAfter = 1;  // a callback that stops after this many devices (1 or more)
  std::uint8_t misalign = 0;   // the result buffer starts this many bytes into an allocation (0-7)
  std::vector<PoolEntry> pool;
  Text productId;
  std::vector<Text> otherUsbKeys;
  std::vector<Instance> instances;
  std::vector<PrintModel> models;
  std::vector<Printer> printers;
  std::vector<NamedValue> serialPorts;
};
constexpr std::size_t kMaxPool = 8;
constexpr std::size_t kMaxItems = 4;
constexpr std::size_t kMaxValues = 3;

// ---- Reading and writing ----------------------------------------------------

class Reader {
 public:
  explicit Reader(FuzzedDataProvider& provider) : provider_(provider) {}
  template <typename T>
  void Int(T& value, T min, T max) {
    value = provider_.ConsumeIntegralInRange<T>(min, max);
  }
  void Bytes(std::string& bytes, std::size_t maxLength) { bytes = provider_.ConsumeRandomLengthString(maxLength); }
  template <typename T, typename Each>
  void List(std::vector<T>& items, std::size_t min, std::size_t max, Each each) {
    std::size_t count = 0;
    Int(count, min, max);
    items.resize(count);
    for (auto& item : items) each(item);
  }

 private:
  FuzzedDataProvider& provider_;
};

// Produces bytes that FuzzedDataProvider reads back as the same values:
// integers come from the end of the data, most significant byte first, and
// strings from the front, a backslash doubled and "\" plus another byte ending one.
class Writer {
 public:
  template <typename T>
  void Int(T& value, T min, T max) {
    CHECK_THAT(value >= min && value <= max, "a seed value fits its field");
    const auto range = static_cast<std::uint64_t>(max) - static_cast<std::uint64_t>(min);
    const auto result = static_cast<std::uint64_t>(value) - static_cast<std::uint64_t>(min);
    std::size_t count = 0;
    for (std::size_t offset = 0; offset < sizeof(T) * 8 && (range >> offset) > 0; offset += 8) ++count;
    for (std::size_t i = count; i-- > 0;) back_.push_back(static_cast<std::uint8_t>(result >> (8 * i)));
  }
  void Bytes(std::string& bytes, std::size_t maxLength);
  template <typename T, typename Each>
  void List(std::vector<T>& items, std::size_t min, std::size_t max, Each each) {
    std::size_t count = items.size();
    Int(count, min, max);
    for (auto& item : items) each(item);
  }
  std::vector<std::uint8_t> Finish() const;

 private:
  std::vector<std::uint8_t> front_;
  std::vector<std::uint8_t> back_;  // in the order read, from the end of the data backwards
};

template <typename IO>
void VisitText(IO& io, Text& text) {
  io.Int(text.op, std::uint8_t{0}, std::uint8_t{kTextOpLast});
  io.Int(text.a, std::uint8_t{0}, std::uint8_t{kMaxPool - 1});
  io.Int(text.b, std::uint8_t{0}, std::uint8_t{kMaxPool - 1});
  io.Int(text.n, std::uint16_t{0}, kMaxTextUnits);
}

template <typename IO>
void VisitValue(IO& io, NamedValue& value) {
  io.Int(value.nameKind, std::uint8_t{0}, std::uint8_t{kNameKindLast});
  if (value.nameKind == kTextName) VisitText(io, value.name);
  io.Int(value.data.type, std::uint8_t{0}, kValueTypeLast);
  io.Int(value.data.form, std::uint8_t{0}, std::uint8_t{kDataFormLast});
  if (value.data.form == kRaw) {
    io.Bytes(value.data.raw, kMaxRawBytes);
  } else {
    VisitText(io, value.data.text);
  }
}

template <typename IO>
void Visit(IO& io, Input& input) {
  const auto text = [&io](Text& t) { VisitText(io, t); };
  const auto value = [&io](NamedValue& v) { VisitValue(io, v); };
  io.Int(input.flags, std::uint8_t{0}, std::uint8_t{255});
  io.Int(input.spelling, std::uint8_t{0}, std::uint8_t{kSpellingLast});
  io.Int(input.stopAfter, std::uint8_t{1}, std::uint8_t{kMaxItems});
  io.Int(input.misalign, std::uint8_t{0}, std::uint8_t{7});
  io.List(input.pool, 1, kMaxPool, [&io](PoolEntry& entry) {
    io.Int(entry.form, std::uint8_t{0}, std::uint8_t{kPoolFormLast});
    io.Bytes(entry.bytes, kMaxPoolBytes);
  });
  VisitText(io, input.productId);
  io.List(input.otherUsbKeys, 0, kMaxItems, text);
  io.List(input.instances, 0, kMaxItems, [&](Instance& instance) {
    VisitText(io, instance.name);
    io.Int(instance.keys, std::uint8_t{0}, std::uint8_t{31});
    if ((instance.keys & kOwnSiblingNames) != 0) {
      VisitText(io, instance.name1);
      VisitText(io, instance.name2);
    }
    io.List(instance.values0, 0, kMaxValues, value);
    io.List(instance.values1, 0, kMaxValues, value);
    io.List(instance.values2, 0, kMaxValues, value);
  });
  io.List(input.models, 0, kMaxItems, [&](PrintModel& model) {
    VisitText(io, model.name);
    io.List(model.instances, 0, kMaxItems, text);
  });
  io.List(input.printers, 0, kMaxItems, [&](Printer& printer) {
    VisitText(io, printer.key);
    io.List(printer.values, 0, kMaxValues, value);
  });
  io.List(input.serialPorts, 0, kMaxItems, value);
}

// ---- What the description stands for ------------------------------------------

unsigned CodePage(const Input& input);
std::u16string Resolve(const Input& input, const Text& text);
// The product id whose interface keys the registry holds: "4B31", or productId.
std::u16string ProductId(const Input& input);
// The registry described, in the input's code page.
std::shared_ptr<winhost::Registry> Build(const Input& input);

}  // namespace walkfuzz
