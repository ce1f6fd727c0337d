#include "churn.h"

namespace hardening {
namespace {

char16_t Digit(int k) { return static_cast<char16_t>(u'0' + k); }

std::u16string SerialValueName(int k) { return std::u16string(u"\\Device\\KvDev") + Digit(k); }

// Units outside ASCII as '?'; narrow text is kept byte for byte.
template <typename Char>
std::string Ascii(const std::basic_string<Char>& text) {
  std::string narrow;
  for (const Char unit : text) narrow.push_back(unit < 0x80 ? static_cast<char>(unit) : '?');
  return narrow;
}

// The record is empty where values were removed under the walk, but name,
// port0 and port2 never name different devices.
template <typename Char>
std::string RecordFault(const Record<Char>& record) {
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

// Device 0's record, in either form.
NarrowRecord ChurnDevice0() { return {"Printer 0", "COM10", "COM20", 1}; }

WideRecord WideChurnDevice0() { return contract::Widened(ChurnDevice0()); }

template <typename Char>
void Take(const contract::Outcome<Char>& outcome, const Record<Char>& device0, const char* form, ChurnTally& tally) {
  ++tally.results;
  const auto fault = [&](const std::string& what) { tally.faults.push_back(std::string(form) + ": " + what); };
  for (const auto& what : outcome.faults) fault(what);
  if (outcome.result < 0) {
    ++tally.failures;
    return;
  }
  tally.records += static_cast<long>(outcome.records.size());
  if (outcome.records.empty() || outcome.records.front() != device0) {
    fault("a successful walk without device 0 first");
    return;
  }
  for (const auto& record : outcome.records) {
    const auto what = RecordFault(record);
    if (!what.empty()) fault(what);
  }
}

}  // namespace

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

void AddChurnBase(RegistryEditor& editor) {
  AddWorkingRegistry(editor, ChurnDevice(0));
  editor.SetValue(std::u16string(kSerialComm), SerialValueName(0), Sz(u"COM10"));
}

void Churn::Step(RegistryEditor* editor) {
  const int k = 1 + static_cast<int>(random_() % (kChurnDevices - 1));
  const int piece = static_cast<int>(random_() % kPieces);
  present_[k][piece] = !present_[k][piece];
  if (editor != nullptr) SetPiece(*editor, k, piece, present_[k][piece]);
}

void Churn::SetPiece(RegistryEditor& editor, int k, int piece, bool present) {
  const auto d = ChurnDevice(k);
  switch (piece) {
    case kInterface0:
      if (present) editor.SetValue(InstanceKey(d, u'0') + u"\\Device Parameters", u"PortName", d.port0);
      else editor.DeleteKey(InstanceKey(d, u'0'));
      break;
    case kInterface1:
      if (present) editor.SetValue(InstanceKey(d, u'1'), u"ParentIdPrefix", d.prefix);
      else editor.DeleteKey(InstanceKey(d, u'1'));
      break;
    case kInterface2:
      if (present) editor.SetValue(InstanceKey(d, u'2') + u"\\Device Parameters", u"PortName", d.port2);
      else editor.DeleteKey(InstanceKey(d, u'2'));
      break;
    case kModel:
      if (present) editor.CreateKey(ModelInstanceKey(d));
      else if (k % 2 == 1) editor.DeleteKey(std::u16string(kUsbPrint) + u"\\" + d.model);
      else editor.DeleteKey(ModelInstanceKey(d));
      break;
    case kPrinter:
      if (present) {
        editor.SetValue(PrinterKey(d), u"Name", d.printerName);
        editor.SetValue(PrinterKey(d), u"Port", d.printerPort);
      } else {
        editor.DeleteKey(PrinterKey(d));
      }
      break;
    case kSerialPort:
      if (present) editor.SetValue(std::u16string(kSerialComm), SerialValueName(k), d.port0);
      else editor.DeleteValue(std::u16string(kSerialComm), SerialValueName(k));
      break;
    case kOtherUsbKey: {
      // Sorts after the vendor's keys: it shifts nothing that the walk needs.
      const auto key = std::u16string(kUsb) + u"\\VID_FFFF&PID_000" + Digit(k);
      if (present) editor.CreateKey(key + u"\\1");
      else editor.DeleteKey(key);
      break;
    }
    default:
      break;
  }
}

std::vector<NarrowRecord> Churn::ExpectedAtRest() const {
  std::vector<NarrowRecord> expected{ChurnDevice0()};
  for (int k = 1; k < kChurnDevices; ++k) {
    const auto* p = present_[k];
    if (!p[kInterface0] || !p[kInterface1] || !p[kModel] || !p[kPrinter]) continue;
    const std::string digit(1, static_cast<char>('0' + k));
    expected.push_back({"Printer " + digit, "COM1" + digit, p[kInterface2] ? "COM2" + digit : "",
                        p[kSerialPort] ? 1 : 0});
  }
  return expected;
}

void ChurnTally::Add(const ChurnTally& other) {
  results += other.results;
  failures += other.failures;
  records += other.records;
  faults.insert(faults.end(), other.faults.begin(), other.faults.end());
}

void ReadChurnRounds(const contract::Exports& exports, int rounds, ChurnTally& tally) {
  const KorvaneWChar wideId[] = {'4', 'B', '3', '1', 0};
  const auto device0 = ChurnDevice0();
  const auto wideDevice0 = WideChurnDevice0();
  for (int round = 0; round < rounds; ++round) {
    // The registry changes under the calls: each answer is checked on its own.
    contract::Options changing;
    changing.stable = false;
    Take(contract::BufferA(exports, "4B31", changing), device0, "EnumPrinterInfoA", tally);
    Take(contract::BufferW(exports, wideId, changing), wideDevice0, "EnumPrinterInfoW", tally);
    Take(contract::CallbackA(exports, "4B31", changing), device0, "EnumPrinterInfoCallbackA", tally);
    Take(contract::CallbackW(exports, wideId, changing), wideDevice0, "EnumPrinterInfoCallbackW", tally);
  }
}

}  // namespace hardening
