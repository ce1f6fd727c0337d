// Readers on several threads call the four exports while a writer adds and
// removes devices piece by piece in the installed registry. A walk that runs
// into a key removed after it was listed fails; every other result must be a
// consistent enumeration, and nothing may be left open or allocated.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <random>
#include <thread>

#include "device_registry.h"
#include "enumeration_probe.h"
#include "registry_fixture.h"
#include "winhost/system.h"

namespace hardening {
namespace {

using testing_support::ScopedRegistry;

constexpr int kChurnDevices = 8;     // device 0 stays; 1..7 come and go
constexpr int kReaders = 4;
constexpr int kRoundsPerReader = 150;  // each round calls all four exports (six walks)

char16_t Digit(int k) { return static_cast<char16_t>(u'0' + k); }

// Device k: its keys sort after device 0's everywhere, so that removing them
// never shifts device 0's entries in a listing that is under way. Odd devices
// print through a model of their own, which comes and goes with them.
Device ChurnDevice(int k) {
  Device d;
  d.instance0 = std::u16string(u"6&0000000") + Digit(k) + u"&0&0000";
  d.prefix = Sz(std::u16string(u"7&1000000") + Digit(k) + u"&0");
  d.model = k % 2 == 0 ? std::u16string(u"MODELC300USB") : std::u16string(u"MODELW") + Digit(k);
  d.modelInstance = std::u16string(u"7&1000000") + Digit(k) + u"&0&USB00" + Digit(k);
  d.printerKey = std::u16string(u"Printer ") + Digit(k);
  d.printerName = Sz(d.printerKey);
  d.printerPort = Sz(std::u16string(u"USB00") + Digit(k));
  d.port0 = Sz(std::u16string(u"COM1") + Digit(k));
  d.port2 = Sz(std::u16string(u"COM2") + Digit(k));
  return d;
}

std::u16string SerialValueName(int k) { return std::u16string(u"\\Device\\KvDev") + Digit(k); }

// The pieces of a device that the writer adds and removes one at a time.
enum Piece { kInterface0, kInterface1, kInterface2, kModel, kPrinter, kSerialPort, kOtherUsbKey, kPieces };

void SetPiece(winhost::Registry& registry, int k, int piece, bool present) {
  const auto d = ChurnDevice(k);
  const auto set = [&registry](const std::u16string& key, std::u16string_view name, const Data& data) {
    registry.SetValue(kLM, key, name, data.type, data.bytes);
  };
  switch (piece) {
    case kInterface0:
      if (present) set(InstanceKey(d, u'0') + u"\\Device Parameters", u"PortName", d.port0);
      else registry.DeleteKey(kLM, InstanceKey(d, u'0'));
      break;
    case kInterface1:
      if (present) set(InstanceKey(d, u'1'), u"ParentIdPrefix", d.prefix);
      else registry.DeleteKey(kLM, InstanceKey(d, u'1'));
      break;
    case kInterface2:
      if (present) set(InstanceKey(d, u'2') + u"\\Device Parameters", u"PortName", d.port2);
      else registry.DeleteKey(kLM, InstanceKey(d, u'2'));
      break;
    case kModel:
      if (present) registry.CreateKey(kLM, ModelInstanceKey(d));
      else if (k % 2 == 1) registry.DeleteKey(kLM, std::u16string(kUsbPrint) + u"\\" + d.model);
      else registry.DeleteKey(kLM, ModelInstanceKey(d));
      break;
    case kPrinter:
      if (present) {
        set(PrinterKey(d), u"Name", d.printerName);
        set(PrinterKey(d), u"Port", d.printerPort);
      } else {
        registry.DeleteKey(kLM, PrinterKey(d));
      }
      break;
    case kSerialPort:
      if (present) set(std::u16string(kSerialComm), SerialValueName(k), d.port0);
      else registry.DeleteValue(kLM, kSerialComm, SerialValueName(k));
      break;
    case kOtherUsbKey: {
      // Sorts after the vendor's keys: it shifts nothing that the walk needs.
      const auto key = std::u16string(kUsb) + u"\\VID_FFFF&PID_000" + Digit(k) + u"\\1";
      if (present) registry.CreateKey(kLM, key);
      else registry.DeleteKey(kLM, std::u16string(kUsb) + u"\\VID_FFFF&PID_000" + Digit(k));
      break;
    }
    default:
      break;
  }
}

std::string Ascii(const std::string& text) { return text; }
std::string Ascii(const std::u16string& text) {
  std::string narrow;
  for (const char16_t unit : text) narrow.push_back(unit < 0x80 ? static_cast<char>(unit) : '?');
  return narrow;
}

// A record is whole or missing values that were removed while the walk read
// them, but never mixes devices: name, port0 and port2 name the same k.
template <typename Char>
std::string CheckChurnRecord(const Record<Char>& record) {
  const auto name = Ascii(record.name);
  const auto port0 = Ascii(record.port0);
  const auto port2 = Ascii(record.port2);
  int k = -1;
  const auto agree = [&k](const std::string& text, const std::string& head) {
    if (text.empty()) return true;
    if (text.size() != head.size() + 1 || text.compare(0, head.size(), head) != 0) return false;
    const int digit = text.back() - '0';
    if (digit < 0 || digit >= kChurnDevices || (k >= 0 && k != digit)) return false;
    k = digit;
    return true;
  };
  if (!agree(name, "Printer ") || !agree(port0, "COM1") || !agree(port2, "COM2")) {
    return "a record that is no device's: " + name + ", " + port0 + ", " + port2;
  }
  if (record.online == 1 && port0.empty()) return "online without a port";
  return std::string();
}

struct Tally {
  std::atomic<long> results{0};
  std::atomic<long> failures{0};
  std::atomic<long> records{0};
};

template <typename Char>
void Check(const Outcome<Char>& outcome, const Record<Char>& device0, const char* form, Tally& tally) {
  ++tally.results;
  for (const auto& fault : outcome.faults) ADD_FAILURE() << form << ": " << fault;
  if (outcome.result < 0) {
    ++tally.failures;
    return;
  }
  tally.records += static_cast<long>(outcome.records.size());
  // Device 0 is never touched and its keys come first in every listing.
  if (outcome.records.empty() || outcome.records.front() != device0) {
    ADD_FAILURE() << form << ": a successful walk without device 0 first";
    return;
  }
  for (const auto& record : outcome.records) {
    const auto problem = CheckChurnRecord(record);
    if (!problem.empty()) ADD_FAILURE() << form << ": " << problem;
  }
}

TEST(ConcurrencyTest, ReadersSeeFailureOrAConsistentEnumerationWhileDevicesComeAndGo) {
  auto registry = WorkingRegistry(ChurnDevice(0));
  registry->SetValue(kLM, kSerialComm, SerialValueName(0), REG_SZ, Sz(u"COM10").bytes);
  ScopedRegistry scope(registry);
  const auto start = winhost::ReadCounters();
  const NarrowRecord device0{"Printer 0", "COM10", "COM20", 1};
  const WideRecord wideDevice0{u"Printer 0", u"COM10", u"COM20", 1};

  std::atomic<int> readersDone{0};
  std::atomic<bool> go{false};
  long changes = 0;
  bool present[kChurnDevices][kPieces] = {};  // the writer's alone until it is joined
  std::thread writer([&] {
    std::mt19937 random(20240611);
    // Until every reader is done, with a cap should one of them hang.
    for (; readersDone.load() < kReaders && changes < 50'000'000; ++changes) {
      const int k = 1 + static_cast<int>(random() % (kChurnDevices - 1));
      const int piece = static_cast<int>(random() % kPieces);
      present[k][piece] = !present[k][piece];
      SetPiece(*registry, k, piece, present[k][piece]);
      if (changes == 64) go = true;
    }
    go = true;
  });

  Tally tally;
  std::vector<std::thread> readers;
  for (int r = 0; r < kReaders; ++r) {
    readers.emplace_back([&] {
      while (!go.load()) std::this_thread::yield();
      for (int round = 0; round < kRoundsPerReader; ++round) {
        Check(BufferA("4B31", false), device0, "EnumPrinterInfoA", tally);
        Check(BufferW(u"4B31", false), wideDevice0, "EnumPrinterInfoW", tally);
        Check(CallbackA("4B31"), device0, "EnumPrinterInfoCallbackA", tally);
        Check(CallbackW(u"4B31"), wideDevice0, "EnumPrinterInfoCallbackW", tally);
      }
      ++readersDone;
    });
  }
  for (auto& reader : readers) reader.join();
  writer.join();

  EXPECT_EQ(tally.results.load(), 4L * kReaders * kRoundsPerReader);
  EXPECT_LT(tally.failures.load(), tally.results.load()) << "no walk succeeded: the test checked nothing";
  EXPECT_GT(changes, 64) << "the writer changed nothing while the readers ran";
  std::printf("%ld results, %ld of them -1, %ld records; %ld changes by the writer\n", tally.results.load(),
              tally.failures.load(), tally.records.load(), changes);

  // At rest, the registry holds device 0 and the devices whose linking pieces
  // the writer left in place, one record each in instance order.
  std::vector<NarrowRecord> expected{device0};
  for (int k = 1; k < kChurnDevices; ++k) {
    const auto* p = present[k];
    if (!p[kInterface0] || !p[kInterface1] || !p[kModel] || !p[kPrinter]) continue;
    const std::string digit(1, static_cast<char>('0' + k));
    expected.push_back({"Printer " + digit, "COM1" + digit, p[kInterface2] ? "COM2" + digit : "",
                        p[kSerialPort] ? 1 : 0});
  }
  const auto atRest = EnumerateAll("4B31");
  for (const auto& fault : Faults(atRest)) ADD_FAILURE() << "at rest: " << fault;
  EXPECT_EQ(atRest.bufferA.records, expected);

  const auto end = winhost::ReadCounters();
  EXPECT_EQ(end.openKeys, start.openKeys) << "key handles left open";
  EXPECT_EQ(end.taskMemBlocks, start.taskMemBlocks) << "task-allocator blocks not freed";
}

}  // namespace
}  // namespace hardening
