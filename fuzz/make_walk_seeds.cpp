// Writes the seed inputs of walk_fuzzer into a folder (scripts/fuzz.sh writes them into the build tree):
//
//   make_walk_seeds DIR
//
// Each seed is a registry description turned into bytes by walkfuzz::Writer.
// Before writing, every seed is decoded again and must give back the same
// bytes, and the library must find in it the devices that it was made to hold.
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "check.h"
#include "korvane.h"
#include "walk_input.h"
#include "winhost/codepage.h"
#include "winhost/system.h"

namespace {

using namespace walkfuzz;

Text Whole(std::uint8_t a) { return Text{kWhole, a, 0, 0}; }
Text First(std::uint8_t a, std::uint16_t n) { return Text{kFirst, a, 0, n}; }
Text Last(std::uint8_t a, std::uint16_t n) { return Text{kLast, a, 0, n}; }
Text Concat(std::uint8_t a, std::uint8_t b) { return Text{kConcat, a, b, 0}; }
Text Repeat(std::uint8_t a, std::uint16_t n) { return Text{kRepeat, a, 0, n}; }

PoolEntry Latin1(std::string text) { return PoolEntry{kLatin1, std::move(text)}; }

NamedValue Value(NameKind kind, Text text, std::uint8_t type = 0, DataForm form = kTerminated) {
  NamedValue value;
  value.nameKind = kind;
  value.data.type = type;
  value.data.form = form;
  value.data.text = text;
  return value;
}

constexpr std::uint8_t kExpandSz = 1;
constexpr std::uint8_t kMultiSz = 2;
constexpr std::uint8_t kBinary = 4;
constexpr std::uint8_t kAllKeys = kInterface0 | kInterface1 | kInterface2 | kUsbPrint | kPrinters | kSerialComm;
constexpr std::uint8_t kAllInstanceKeys = kHasInterface1 | kHasInterface2 | kParameters0 | kParameters2;

// One connected device: pool 0 instance, 1 model instance, 2 and 3 ports, 4 printer, 5 model.
Input OneDevice() {
  Input input;
  input.flags = kAllKeys;
  input.pool = {Latin1("6&1f2e3d4c&0&0000"), Latin1("7&2b4f3c1a&0&USB001"), Latin1("COM3"),
                Latin1("COM4"), Latin1("Receipt Printer A"), Latin1("MODELC300USB")};
  Instance instance;
  instance.name = Whole(0);
  instance.keys = kAllInstanceKeys;
  instance.values0 = {Value(kFirstName, Whole(2))};
  instance.values1 = {Value(kFirstName, First(1, 12))};
  instance.values2 = {Value(kFirstName, Whole(3))};
  input.instances = {instance};
  input.models = {PrintModel{Whole(5), {Whole(1)}}};
  input.printers = {Printer{Whole(4), {Value(kFirstName, Last(1, 6)), Value(kSecondName, Whole(4))}}};
  input.serialPorts = {Value(kFirstName, Whole(2))};
  return input;
}

// Two instances, the second not connected; interface keys in upper case; a
// printer on another port that matches nothing.
Input TwoDevices() {
  Input input = OneDevice();
  input.spelling = kAllUpper;
  input.stopAfter = 1;
  input.misalign = 3;
  input.pool.push_back(Latin1("6&5a6b7c8d&0&0000"));     // 6
  input.pool.push_back(Latin1("7&9e8d7c6b&0&USB002"));   // 7
  Instance second;
  second.name = Whole(6);
  second.keys = kAllInstanceKeys;
  second.values0 = {Value(kFirstName, Whole(3))};
  second.values1 = {Value(kFirstName, First(7, 12))};
  second.values2 = {Value(kFirstName, Whole(2))};
  input.instances.push_back(second);
  input.models[0].instances.push_back(Whole(7));
  input.printers.push_back(Printer{Concat(4, 3), {Value(kSecondName, Concat(4, 3)), Value(kFirstName, Last(7, 6))}});
  input.printers.push_back(Printer{Whole(5), {Value(kFirstName, Whole(2))}});
  return input;
}

// Code page 932: a Japanese printer name, and a port name whose sixth byte
// starts a double-byte character.
Input CodePage932() {
  Input input = OneDevice();
  input.flags |= kCodePage932;
  input.pool.push_back(PoolEntry{kCp932, "\x8e\xf3\x95\x74\x83\x76\x83\x8a\x83\x93\x83\x5e"});  // 6
  input.pool.push_back(PoolEntry{kCp932, "COM\x83\x76\x83\x8a"});                              // 7
  input.printers[0].values[1] = Value(kSecondName, Whole(6));
  input.instances[0].values2 = {Value(kFirstName, Whole(7))};
  return input;
}

// Values at and past the library's 1024-byte reads, other value types, long names.
Input LongValues() {
  Input input = OneDevice();
  input.misalign = 1;
  input.pool.push_back(Latin1("COM12345"));  // 6
  input.pool.push_back(Latin1("x"));         // 7
  input.instances[0].values0 = {Value(kFirstName, Whole(6), kExpandSz)};
  input.instances[0].values1 = {Value(kFirstName, First(1, 12), kExpandSz)};
  input.instances[0].values2 = {Value(kFirstName, Repeat(3, 700))};
  input.printers[0].values = {Value(kFirstName, Last(1, 6), kBinary, kNarrow),
                              Value(kSecondName, Repeat(4, 1023))};
  input.printers.push_back(Printer{Repeat(7, 255), {Value(kFirstName, Repeat(2, 1100))}});
  input.serialPorts = {Value(kTextName, Repeat(7, 300), kMultiSz, kMulti), Value(kSecondName, Whole(2))};
  input.serialPorts[0].name = Repeat(7, 300);
  input.serialPorts[0].data.text = Whole(6);
  input.serialPorts[0].data.text.b = 2;
  return input;
}

// Another product id, asked for in lower case; other USB devices beside it;
// one instance that two models print through; a value written again under
// its name in upper case.
Input OtherProduct() {
  Input input = OneDevice();
  input.flags |= kFuzzedProduct;
  input.spelling = kAllLower;
  input.stopAfter = 2;
  input.pool.push_back(Latin1("4B52"));               // 6
  input.pool.push_back(Latin1("ROOT_HUB20"));         // 7
  input.productId = Whole(6);
  input.otherUsbKeys = {Whole(7), Concat(7, 6)};
  input.models.push_back(PrintModel{Concat(5, 6), {Concat(1, 1)}});
  input.instances[0].values2.push_back(Value(kFirstNameUpper, Whole(2)));  // overwrites "PortName"
  return input;
}

// The walk fails: no serial-port map.
Input NoSerialComm() {
  Input input = OneDevice();
  input.flags &= static_cast<std::uint8_t>(~kSerialComm);
  return input;
}

// Names with characters outside the code page, brackets and quotes; sibling
// keys named on their own; values under names the walk never reads.
Input OddNames() {
  Input input = OneDevice();
  input.pool.push_back(PoolEntry{kUtf16, std::string("6\0&\0\x2d\x4e&\0\x30\0", 10)});  // 6: "6&中&0"
  input.pool.push_back(Latin1("Printer [\"quoted\"] \xe9\t"));                         // 7
  Instance odd;
  odd.name = Whole(6);
  odd.keys = kAllInstanceKeys | kOwnSiblingNames;
  odd.name1 = Concat(6, 6);
  odd.name2 = Whole(7);
  odd.values0 = {Value(kTextName, Whole(2)), Value(kFirstNameUpper, Whole(3), kMultiSz, kMulti)};
  odd.values0[0].name = Whole(7);
  input.instances.push_back(odd);
  input.printers.push_back(Printer{Whole(7), {Value(kSecondName, Whole(7)), Value(kFirstName, Last(1, 6))}});
  return input;
}

struct Seed {
  const char* file;
  Input input;
  std::int32_t devices;  // what EnumPrinterInfoA must find for "4B31" (or the product id); -2: any
};

std::int32_t CountDevices(const Input& input) {
  winhost::SetAnsiCodePage(CodePage(input));
  winhost::InstallRegistry(Build(input));
  const auto product = winhost::ToAnsi(ProductId(input), CodePage(input));
  std::uint32_t needed = 0;
  EnumPrinterInfoA(product.c_str(), nullptr, 0, &needed);
  std::vector<unsigned char> buffer(needed + 1);
  return EnumPrinterInfoA(product.c_str(), buffer.data(), needed, &needed);
}

}  // namespace

int main(int argc, char** argv) {
  check::AbortOnFailure();  // a seed that does not fit its layout is this program's own fault
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_walk_seeds DIR\n");
    return 64;
  }
  std::vector<Seed> seeds = {
      {"one_device", OneDevice(), 1},       {"two_devices", TwoDevices(), 2},
      {"code_page_932", CodePage932(), 1},  {"long_values", LongValues(), 1},
      {"other_product", OtherProduct(), 2}, {"no_serialcomm", NoSerialComm(), -1},
      {"odd_names", OddNames(), -2},
  };
  int failures = 0;
  for (auto& seed : seeds) {
    Writer writer;
    Visit(writer, seed.input);
    const auto bytes = writer.Finish();

    FuzzedDataProvider provider(bytes.data(), bytes.size());
    Reader reader(provider);
    Input decoded;
    Visit(reader, decoded);
    Writer again;
    Visit(again, decoded);
    const std::int32_t found = CountDevices(decoded);
    if (again.Finish() != bytes || provider.remaining_bytes() != 0) {
      std::fprintf(stderr, "%s: does not decode to itself\n", seed.file);
      ++failures;
    } else if (seed.devices != -2 && found != seed.devices) {
      std::fprintf(stderr, "%s: %d devices found, %d expected\n", seed.file, found, seed.devices);
      ++failures;
    }
    const std::string path = std::string(argv[1]) + "/" + seed.file;
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
    std::printf("%s: %zu bytes, %d devices\n", path.c_str(), bytes.size(), found);
  }
  return failures == 0 ? 0 : 1;
}
