// The four exports on registries that a broken driver, a hostile user or
// sheer size can produce: names at the platform's length limit, data at and
// past the walk's 1024-byte buffers, values of the wrong type, a double-byte
// lead byte at the end of a string, tens of thousands of keys, and keys that
// are listed but cannot be opened. Every case checks the full contract of all
// four exports (see export_contract.h) and that no key handle or
// task-allocator block outlives it.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "device_registry.h"
#include "export_contract.h"
#include "linked_exports.h"
#include "registry_fixture.h"
#include "winhost/system.h"

namespace hardening {
namespace {

using contract::Enumeration;
using contract::NarrowRecord;
using contract::Outcome;
using contract::WideRecord;
using testing_support::ScopedCodePage;
using testing_support::ScopedRegistry;

const NarrowRecord kWorking{"Receipt Printer A", "COM3", "COM4", 1};

class HostileRegistryTest : public testing::Test {
 protected:
  void SetUp() override { start_ = winhost::ReadCounters(); }
  void TearDown() override {
    const auto end = winhost::ReadCounters();
    EXPECT_EQ(end.openKeys, start_.openKeys) << "key handles left open";
    EXPECT_EQ(end.taskMemBlocks, start_.taskMemBlocks) << "task-allocator blocks not freed";
  }

 private:
  winhost::Counters start_;
};

// The four exports on the installed registry. Every fault in how any of them
// gave its outcome, every disagreement between them, and every key handle or
// task-allocator block that they leave behind fails the test.
Enumeration EnumerateChecked(const std::string& productId) {
  const auto before = winhost::ReadCounters();
  auto enumeration = contract::EnumerateAll(contract::LinkedExports(), productId);
  const auto after = winhost::ReadCounters();
  EXPECT_EQ(after.openKeys, before.openKeys) << "key handles left open";
  EXPECT_EQ(after.taskMemBlocks, before.taskMemBlocks) << "task-allocator blocks not freed";
  for (const auto& fault : contract::Faults(enumeration)) ADD_FAILURE() << fault;
  return enumeration;
}

// The outcome that the four exports agree on, in the A form.
Outcome<char> Enumerate(const std::string& productId = "4B31") { return EnumerateChecked(productId).bufferA; }

// head + fill repeated + tail, 255 units in all: the longest key name the platform allows.
std::u16string Name255(std::u16string_view head, char16_t fill, std::u16string_view tail) {
  return std::u16string(head) + std::u16string(255 - head.size() - tail.size(), fill) + std::u16string(tail);
}

std::string Repeat(std::string_view unit, std::size_t times) {
  std::string text;
  for (std::size_t i = 0; i < times; ++i) text += unit;
  return text;
}

constexpr char16_t kSun = u'\u65E5';  // 0x93 0xFA in code page 932

struct NameCase {
  const char* shows;
  unsigned codePage;
  void (*change)(Device&);
  NarrowRecord expected;
};

TEST_F(HostileRegistryTest, KeyNamesOf255Characters) {
  const std::string longName(255, 'n');
  const NameCase cases[] = {
      {"interface instance names", 1252, [](Device& d) { d.instance0 = Name255(u"6&", u'a', u"0"); }, kWorking},
      {"USBPRINT model name", 1252, [](Device& d) { d.model = Name255(u"MODEL", u'M', u""); }, kWorking},
      {"USBPRINT model instance name", 1252,
       [](Device& d) { d.modelInstance = Name255(u"7&2b4f3c1a&0&", u'x', u"USB001"); }, kWorking},
      {"printer key name", 1252, [](Device& d) { d.printerKey = Name255(u"", u'P', u""); }, kWorking},
      {"printer key and printer name", 1252,
       [](Device& d) {
         d.printerKey = Name255(u"", u'n', u"");
         d.printerName = Sz(d.printerKey);
       },
       {longName, "COM3", "COM4", 1}},
      {"every name at once", 1252,
       [](Device& d) {
         d.instance0 = Name255(u"6&", u'a', u"0");
         d.model = Name255(u"MODEL", u'M', u"");
         d.modelInstance = Name255(u"7&2b4f3c1a&0&", u'x', u"USB001");
         d.printerKey = Name255(u"", u'n', u"");
         d.printerName = Sz(d.printerKey);
       },
       {longName, "COM3", "COM4", 1}},
      // 255 double-byte characters take 510 bytes, still within the walk's buffers.
      {"every name in double-byte characters", 932,
       [](Device& d) {
         d.instance0 = Name255(u"6&", kSun, u"0");
         d.model = Name255(u"", kSun, u"");
         d.modelInstance = Name255(u"7&2b4f3c1a&0&", kSun, u"USB001");
         d.printerKey = Name255(u"", kSun, u"");
         d.printerName = Sz(d.printerKey);
       },
       {Repeat("\x93\xFA", 255), "COM3", "COM4", 1}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.shows);
    const ScopedCodePage codePage(c.codePage);
    Device device;
    c.change(device);
    ScopedRegistry scope(WorkingRegistry(device));
    const auto outcome = Enumerate();
    EXPECT_EQ(outcome.result, 1);
    EXPECT_EQ(outcome.records, std::vector<NarrowRecord>{c.expected});
  }
}

// What each value becomes when its data is long, of another type, or has no
// terminator. The walk reads at most 1024 bytes of a value and takes its
// text up to the first NUL; data that does not fit reads as an empty string.
// Data of a non-string type is taken byte for byte.
struct ValueCase {
  const char* shows;
  Data Device::*value;
  Data data;
  std::int32_t result;
  NarrowRecord expected;  // when result is 1
};

TEST_F(HostileRegistryTest, ValueDataAtAndPastTheLimitAndOfOtherTypes) {
  const std::u16string com3Padded = u"COM3" + std::u16string(1020, u'x');  // 1024 characters
  const std::string com3PaddedBytes = "COM3" + std::string(1020, 'x');
  const std::u16string name1023(1023, u'n');
  const std::u16string usb001Padded = u"USB001" + std::u16string(1018, u'p');
  const auto port0 = [](std::string port, std::int32_t online) {
    return NarrowRecord{"Receipt Printer A", std::move(port), "COM4", online};
  };
  const auto port2 = [](std::string port) { return NarrowRecord{"Receipt Printer A", "COM3", std::move(port), 1}; };
  const auto named = [](std::string name) { return NarrowRecord{std::move(name), "COM3", "COM4", 1}; };
  const auto p0 = &Device::port0;
  const ValueCase cases[] = {
      // "PortName" of interface 0: port0 is its first 6 characters; online when exactly those are present.
      {"PortName: 1024 characters, no NUL", p0, Sz(com3Padded, false), 1, port0("COM3xx", 0)},
      {"PortName: 1023 characters and NUL", p0, Sz(com3Padded.substr(0, 1023)), 1, port0("COM3xx", 0)},
      {"PortName: 1024 characters and NUL, 1025 bytes", p0, Sz(com3Padded), 1, port0("", 0)},
      {"PortName: 1025 characters, no NUL", p0, Sz(com3Padded + u"x", false), 1, port0("", 0)},
      {"PortName: REG_BINARY of 1024 bytes", p0, Raw(REG_BINARY, com3PaddedBytes), 1, port0("COM3xx", 0)},
      {"PortName: REG_BINARY of 1025 bytes", p0, Raw(REG_BINARY, com3PaddedBytes + "x"), 1, port0("", 0)},
      {"PortName: REG_BINARY COM3 without NUL", p0, Raw(REG_BINARY, "COM3"), 1, kWorking},
      {"PortName: REG_BINARY beginning with NUL", p0, Raw(REG_BINARY, std::string("\0COM3", 5)), 1, port0("", 0)},
      {"PortName: REG_BINARY of no bytes", p0, Raw(REG_BINARY, ""), 1, port0("", 0)},
      // A DWORD's four little-endian bytes up to the first zero byte: 0x334D4F43 spells COM3, which is present.
      {"PortName: REG_DWORD spelling COM3", p0, Dword(0x334D4F43), 1, kWorking},
      {"PortName: REG_DWORD 3", p0, Dword(3), 1, port0("\x03", 0)},
      {"PortName: REG_DWORD 0", p0, Dword(0), 1, port0("", 0)},
      {"PortName: REG_DWORD 0xFFFFFFFF", p0, Dword(0xFFFFFFFF), 1, port0("\xFF\xFF\xFF\xFF", 0)},
      // A REG_MULTI_SZ gives its first string.
      {"PortName: REG_MULTI_SZ COM3, COM9", p0, Sz(std::u16string(u"COM3\0COM9\0", 10), true, REG_MULTI_SZ), 1,
       kWorking},
      {"PortName: empty REG_MULTI_SZ", p0, Sz(u"", true, REG_MULTI_SZ), 1, port0("", 0)},
      {"PortName: REG_EXPAND_SZ, not expanded", p0, Sz(u"%PORT%", true, REG_EXPAND_SZ), 1, port0("%PORT%", 0)},
      {"PortName: REG_NONE", p0, Raw(REG_NONE, ""), 1, port0("", 0)},
      // Interface 2 reads the same way.
      {"interface 2 PortName: 1025 bytes", &Device::port2, Sz(com3Padded), 1, port2("")},
      {"interface 2 PortName: REG_DWORD", &Device::port2, Dword(0x354D4F43), 1, port2("COM5")},
      {"interface 2 PortName: REG_BINARY of 1024 bytes", &Device::port2, Raw(REG_BINARY, com3PaddedBytes), 1,
       port2("COM3xx")},
      // The printer's "Name" is given whole, up to 1024 bytes.
      {"Name: 1023 characters and NUL", &Device::printerName, Sz(name1023), 1, named(std::string(1023, 'n'))},
      {"Name: 1024 characters, no NUL", &Device::printerName, Sz(name1023 + u"n", false), 1,
       named(std::string(1024, 'n'))},
      {"Name: 1025 bytes", &Device::printerName, Sz(name1023 + u"n"), 1, named("")},
      {"Name: REG_BINARY", &Device::printerName, Raw(REG_BINARY, std::string("Bin\0ary", 7)), 1, named("Bin")},
      // The printer's "Port" and the interface's "ParentIdPrefix" only link; unreadable, they link nothing.
      {"Port: 1024 characters, no NUL", &Device::printerPort, Sz(usb001Padded, false), 1, kWorking},
      {"Port: 1025 bytes", &Device::printerPort, Sz(usb001Padded), 0, {}},
      {"Port: REG_DWORD, 4 bytes at most", &Device::printerPort, Dword(0x31425355), 0, {}},
      {"ParentIdPrefix: 1025 bytes", &Device::prefix, Sz(u"7&2b4f3c1a&0" + std::u16string(1012, u'z')), 0, {}},
      {"ParentIdPrefix: REG_BINARY of its 11 characters", &Device::prefix, Raw(REG_BINARY, "7&2b4f3c1a&"), 1,
       kWorking},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.shows);
    Device device;
    device.*c.value = c.data;
    ScopedRegistry scope(WorkingRegistry(device));
    const auto outcome = Enumerate();
    EXPECT_EQ(outcome.result, c.result);
    if (c.result == 1) {
      EXPECT_EQ(outcome.records, std::vector<NarrowRecord>{c.expected});
    }
  }
}

// Under code page 932 a string can end in a lead byte: data that stops after
// one, or a port name whose sixth byte is the first of a double-byte
// character. The A strings keep that byte before their terminator; the W
// strings turn it into U+30FB and are still terminated; neither form writes
// past the size it reports.
struct LeadByteCase {
  const char* shows;
  void (*change)(Device&);
  NarrowRecord expected;
  WideRecord expectedWide;
};

TEST_F(HostileRegistryTest, DoubleByteLeadByteAtTheEndOfAString) {
  const LeadByteCase cases[] = {
      {"printer name ends in a lead byte",
       [](Device& d) { d.printerName = Raw(REG_BINARY, "Printer\x82"); },
       {"Printer\x82", "COM3", "COM4", 1},
       {u"Printer\u30FB", u"COM3", u"COM4", 1}},
      {"printer name of 1024 bytes ending in a lead byte",
       [](Device& d) { d.printerName = Raw(REG_BINARY, std::string(1023, 'n') + "\x82"); },
       {std::string(1023, 'n') + "\x82", "COM3", "COM4", 1},
       {std::u16string(1023, u'n') + u"\u30FB", u"COM3", u"COM4", 1}},
      {"port names cut after the lead byte of their fifth character",
       [](Device& d) {
         d.port0 = Sz(u"COM\u65E5\u672C");  // 7 bytes: C O M 93 FA 96 7B
         d.port2 = Sz(u"COM\u65E5\u672C");
       },
       {"Receipt Printer A", "COM\x93\xFA\x96", "COM\x93\xFA\x96", 0},
       {u"Receipt Printer A", u"COM\u65E5\u30FB", u"COM\u65E5\u30FB", 0}},
      {"port name data ending in a lead byte",
       [](Device& d) { d.port0 = Raw(REG_BINARY, "CO\x82"); },
       {"Receipt Printer A", "CO\x82", "COM4", 0},
       {u"Receipt Printer A", u"CO\u30FB", u"COM4", 0}},
  };
  const ScopedCodePage japanese(932);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.shows);
    Device device;
    c.change(device);
    ScopedRegistry scope(WorkingRegistry(device));
    const auto enumeration = EnumerateChecked("4B31");
    EXPECT_EQ(enumeration.bufferA.result, 1);
    EXPECT_EQ(enumeration.bufferA.records, std::vector<NarrowRecord>{c.expected});
    EXPECT_EQ(enumeration.bufferW.records, std::vector<WideRecord>{c.expectedWide});
  }
}

// Ten thousand keys where the walk lists and reads: every USB device key is
// compared, every printer's port read (the device's printer sorts last).
TEST_F(HostileRegistryTest, TenThousandUsbKeysAndPrinters) {
  constexpr int kKeys = 10000;
  auto registry = WorkingRegistry();
  char name[64];
  for (int i = 0; i < kKeys; ++i) {
    // Vendor ids on both sides of the device's, and the vendor's other products.
    if (i % 2 == 0) {
      std::snprintf(name, sizeof name, "VID_%04X&PID_%04X", static_cast<unsigned>(i * 6), static_cast<unsigned>(i));
    } else {
      std::snprintf(name, sizeof name, "Vid_7c1f&Pid_%04X&MI_0%d", static_cast<unsigned>(i / 4 + 0x5000), i % 3);
    }
    registry->CreateKey(kLM, std::u16string(kUsb) + u"\\" + std::u16string(name, name + std::strlen(name)) +
                                 u"\\5&1&0&1");
    std::snprintf(name, sizeof name, "Printer %05d", i);
    const std::u16string printer(name, name + std::strlen(name));
    std::snprintf(name, sizeof name, "USB9%02d", i % 100);  // never begins with the device's USB001
    registry->SetValue(kLM, std::u16string(kPrinters) + u"\\" + printer, u"Name", REG_SZ, Sz(printer).bytes);
    registry->SetValue(kLM, std::u16string(kPrinters) + u"\\" + printer, u"Port", REG_SZ,
                       Sz(std::u16string(name, name + std::strlen(name))).bytes);
  }
  ScopedRegistry scope(registry);
  const auto start = std::chrono::steady_clock::now();
  const auto outcome = Enumerate();
  const auto elapsed = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start);
  EXPECT_EQ(outcome.result, 1);
  EXPECT_EQ(outcome.records, std::vector<NarrowRecord>{kWorking});
  // For the record only: the six walks of the four exports on this registry.
  RecordProperty("six_walks_ms", static_cast<int>(elapsed.count()));
  std::printf("six walks over %d USB keys and %d printers: %.0f ms\n", kKeys, kKeys, elapsed.count());
}

// A name with a character that the ANSI code page lacks is listed with '?'
// in its place, and the key of that name cannot be opened: what a key deleted
// between the listing and the read looks like to the walk. Where the walk
// must list the key, it fails; where it only reads a value there, the key
// counts as having none; where it only compares the name, nothing changes.
struct UnopenableCase {
  const char* shows;
  void (*changeDevice)(Device&);        // may be null
  void (*addKeys)(winhost::Registry&);  // may be null
  std::int32_t result;
  std::vector<NarrowRecord> expected;
  const char* productId = "4B31";
};

constexpr char16_t kOutside1252 = u'\u4E2D';

TEST_F(HostileRegistryTest, ListedKeysThatCannotBeOpened) {
  const UnopenableCase cases[] = {
      // The product id "4B3?" names the listed key; opening it fails.
      {"the interface-0 key: the walk fails",
       [](Device& d) { d.product = std::u16string(u"4B3") + kOutside1252; }, nullptr, -1, {}, "4B3?"},
      {"a second interface-0 instance: the walk fails", nullptr,
       [](winhost::Registry& r) {
         Device second;
         second.instance0 = std::u16string(u"6&") + kOutside1252 + u"&0&0000";
         AddDevice(r, second);
       },
       -1, {}},
      {"a USBPRINT model: the walk fails", nullptr,
       [](winhost::Registry& r) {
         r.CreateKey(kLM, std::u16string(kUsbPrint) + u"\\MODEL" + kOutside1252 + u"\\7&1&0&USB099");
       },
       -1, {}},
      {"the model instance: only its name is read",
       [](Device& d) { d.modelInstance = std::u16string(u"7&2b4f3c1a&0&") + kOutside1252 + u"&USB001"; }, nullptr,
       1, {kWorking}},
      {"the printer key: skipped", [](Device& d) { d.printerKey = std::u16string(u"Receipt ") + kOutside1252; },
       nullptr, 0, {}},
      {"the printer key, another printer on the port after it: that one is found",
       [](Device& d) { d.printerKey = std::u16string(u"Receipt ") + kOutside1252; },
       [](winhost::Registry& r) {
         r.SetValue(kLM, std::u16string(kPrinters) + u"\\Zeta", u"Name", REG_SZ, Sz(u"Zeta").bytes);
         r.SetValue(kLM, std::u16string(kPrinters) + u"\\Zeta", u"Port", REG_SZ, Sz(u"USB001").bytes);
       },
       1, {{"Zeta", "COM3", "COM4", 1}}},
      {"another vendor's USB device key: never opened", nullptr,
       [](winhost::Registry& r) { r.CreateKey(kLM, std::u16string(kUsb) + u"\\VID_" + kOutside1252 + u"\\1"); },
       1, {kWorking}},
      {"a serial-port value name: values are listed, not opened", nullptr,
       [](winhost::Registry& r) {
         r.DeleteValue(kLM, kSerialComm, u"\\Device\\KvSerial0");
         r.SetValue(kLM, kSerialComm, std::u16string(u"\\Device\\") + kOutside1252, REG_SZ, Sz(u"COM3").bytes);
       },
       1, {kWorking}},
      // Data converts too: the walk reads narrow text, so the W form gets the default character as well.
      {"the printer's name data",
       [](Device& d) { d.printerName = Sz(std::u16string(u"Receipt ") + kOutside1252); }, nullptr, 1,
       {{"Receipt ?", "COM3", "COM4", 1}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.shows);
    Device device;
    if (c.changeDevice != nullptr) c.changeDevice(device);
    auto registry = WorkingRegistry(device);
    if (c.addKeys != nullptr) c.addKeys(*registry);
    ScopedRegistry scope(registry);
    const auto outcome = Enumerate(c.productId);
    EXPECT_EQ(outcome.result, c.result);
    if (c.result >= 0) {
      EXPECT_EQ(outcome.records, c.expected);
    }
  }
}

// The serial-port map is listed with the same 1024-character buffers: a value
// whose name or data does not fit ends the listing, and the ports after it
// count as absent, so their devices read offline.
TEST_F(HostileRegistryTest, SerialPortMapEndsAtAValueThatDoesNotFit) {
  struct Case {
    const char* shows;
    std::u16string name;
    Data data;
  };
  const Case cases[] = {
      {"a value name of 1024 characters", std::u16string(1024, u'v'), Sz(u"COM1")},
      {"data of 1025 bytes", u"\\Device\\Long", Sz(std::u16string(1024, u'C'))},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.shows);
    auto registry = WorkingRegistry();
    registry->DeleteValue(kLM, kSerialComm, u"\\Device\\KvSerial0");
    registry->SetValue(kLM, kSerialComm, c.name, c.data.type, c.data.bytes);
    registry->SetValue(kLM, kSerialComm, u"\\Device\\KvSerial0", REG_SZ, Sz(u"COM3").bytes);
    ScopedRegistry scope(registry);
    const auto outcome = Enumerate();
    EXPECT_EQ(outcome.result, 1);
    EXPECT_EQ(outcome.records, (std::vector<NarrowRecord>{{"Receipt Printer A", "COM3", "COM4", 0}}));
  }
}

}  // namespace
}  // namespace hardening
