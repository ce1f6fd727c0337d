// Times the registry walk on a generated registry of realistic size against a
// bare replay of the very registry calls that the walk makes, so that the
// library's own overhead shows as a ratio.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <string>

#include "correlation.h"
#include "winhost/system.h"

namespace {

using Clock = std::chrono::steady_clock;
using winhost::Call;
using winhost::Root;

std::u16string U16(const std::string& s) { return std::u16string(s.begin(), s.end()); }

std::vector<std::uint8_t> Sz(const std::string& s) {
  std::vector<std::uint8_t> bytes;
  for (const char c : s) {
    bytes.push_back(static_cast<std::uint8_t>(c));
    bytes.push_back(0);
  }
  bytes.insert(bytes.end(), {0, 0});
  return bytes;
}

std::string Hex(unsigned value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "%0*X", digits, value);
  return text;
}

// About 5,000 USB device keys, 8 instances of the device, 40 USBPRINT models and 300 printers.
std::shared_ptr<winhost::Registry> GenerateRegistry() {
  auto registry = std::make_shared<winhost::Registry>();
  const std::string usb = "SYSTEM\\CurrentControlSet\\Enum\\USB\\";
  const std::string usbprint = "SYSTEM\\CurrentControlSet\\Enum\\USBPRINT\\";
  const std::string printers = "SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\";
  for (unsigned i = 0; i < 4997; ++i) {
    registry->CreateKey(Root::LocalMachine,
                        U16(usb + "VID_" + Hex(0x1000 + i / 7, 4) + "&PID_" + Hex(i, 4) + "\\5&" + Hex(i, 8) + "&0&1"));
  }
  for (unsigned model = 0; model < 40; ++model) {
    for (unsigned k = 0; k < 3; ++k) {
      registry->CreateKey(Root::LocalMachine,
                          U16(usbprint + "MODEL" + Hex(model, 3) + "\\8&" + Hex(model * 3 + k, 8) + "&0&USB" + Hex(500 + model * 3 + k, 3)));
    }
  }
  for (unsigned p = 0; p < 292; ++p) {
    const auto name = "Printer " + Hex(p, 3);
    registry->SetValue(Root::LocalMachine, U16(printers + name), u"Name", REG_SZ, Sz(name));
    registry->SetValue(Root::LocalMachine, U16(printers + name), u"Port", REG_SZ, Sz("IP_10.1." + std::to_string(p)));
  }
  for (unsigned d = 0; d < 8; ++d) {
    const auto instance = "6&" + Hex(0xA000 + d, 8) + "&0&000";
    const auto prefix = "7&" + Hex(0xB000 + d, 8) + "&0";
    const auto port = "USB" + Hex(100 + d, 3);
    registry->SetValue(Root::LocalMachine, U16(usb + "Vid_7c1f&Pid_4B31&MI_00\\" + instance + "0\\Device Parameters"),
                       u"PortName", REG_SZ, Sz("COM" + std::to_string(10 + d)));
    registry->SetValue(Root::LocalMachine, U16(usb + "Vid_7c1f&Pid_4B31&MI_01\\" + instance + "1"), u"ParentIdPrefix",
                       REG_SZ, Sz(prefix));
    registry->SetValue(Root::LocalMachine, U16(usb + "Vid_7c1f&Pid_4B31&MI_02\\" + instance + "2\\Device Parameters"),
                       u"PortName", REG_SZ, Sz("COM" + std::to_string(30 + d)));
    registry->CreateKey(Root::LocalMachine, U16(usbprint + "MODEL" + Hex(d * 5, 3) + "\\" + prefix + "&" + port));
    const auto name = "Device Printer " + std::to_string(d);
    registry->SetValue(Root::LocalMachine, U16(printers + name), u"Name", REG_SZ, Sz(name));
    registry->SetValue(Root::LocalMachine, U16(printers + name), u"Port", REG_SZ, Sz(port));
  }
  for (unsigned s = 0; s < 4; ++s) {
    registry->SetValue(Root::LocalMachine, u"HARDWARE\\DEVICEMAP\\SERIALCOMM", U16("\\Device\\Serial" + std::to_string(s)),
                       REG_SZ, Sz("COM" + std::to_string(10 + 2 * s)));
  }
  return registry;
}

// Makes the recorded calls again, with the same buffers the walk uses.
void Replay(const std::vector<winhost::TraceEntry>& trace) {
  std::map<std::uintptr_t, HKEY> handles;
  const auto handle = [&](std::uintptr_t recorded) {
    const auto it = handles.find(recorded);
    return it != handles.end() ? it->second : reinterpret_cast<HKEY>(recorded);
  };
  char name[1024];
  BYTE data[1024];
  for (const auto& entry : trace) {
    DWORD nameChars = sizeof name;
    DWORD dataBytes = sizeof data;
    HKEY opened = nullptr;
    FILETIME time;
    switch (entry.call) {
      case Call::RegOpenKeyExA:
        if (RegOpenKeyExA(handle(entry.key), entry.text.c_str(), 0, entry.access, &opened) == ERROR_SUCCESS) {
          handles[entry.opened] = opened;
        }
        break;
      case Call::RegOpenKeyA:
        if (RegOpenKeyA(handle(entry.key), entry.text.c_str(), &opened) == ERROR_SUCCESS) handles[entry.opened] = opened;
        break;
      case Call::RegEnumKeyExA:
        RegEnumKeyExA(handle(entry.key), entry.index, name, &nameChars, nullptr, nullptr, nullptr, &time);
        break;
      case Call::RegEnumValueA:
        RegEnumValueA(handle(entry.key), entry.index, name, &nameChars, nullptr, nullptr, data, &dataBytes);
        break;
      case Call::RegQueryValueExA:
        RegQueryValueExA(handle(entry.key), entry.text.c_str(), nullptr, nullptr, data, &dataBytes);
        break;
      case Call::RegCloseKey:
        RegCloseKey(handle(entry.key));
        break;
    }
  }
}

template <typename F>
double BestMicroseconds(int rounds, int perRound, F&& run) {
  double best = 1e300;
  for (int r = 0; r < rounds; ++r) {
    const auto start = Clock::now();
    for (int i = 0; i < perRound; ++i) run();
    const std::chrono::duration<double, std::micro> elapsed = Clock::now() - start;
    best = std::min(best, elapsed.count() / perRound);
  }
  return best;
}

}  // namespace

int main() {
  winhost::InstallRegistry(GenerateRegistry());
  korvane::PrinterInfoList records;
  const auto before = winhost::ReadCounters();
  winhost::StartTrace();
  if (!korvane::CollectPrinterInfo("4B31", records)) {
    std::fputs("walk failed\n", stderr);
    return 1;
  }
  const auto trace = winhost::StopTrace();
  const auto calls = winhost::ReadCounters().total() - before.total();

  const double walk = BestMicroseconds(7, 20, [] {
    korvane::PrinterInfoList found;
    korvane::CollectPrinterInfo("4B31", found);
  });
  const double replay = BestMicroseconds(7, 20, [&] { Replay(trace); });
  std::printf("registry: 5000 USB device keys, 8 device instances, 40 USBPRINT models, 300 printers\n");
  std::printf("records found:              %zu\n", records.size());
  std::printf("registry calls per walk:    %llu\n", static_cast<unsigned long long>(calls));
  std::printf("walk time per call:         %.1f us\n", walk);
  std::printf("bare replay of those calls: %.1f us\n", replay);
  std::printf("walk / replay:              %.3f\n", walk / replay);
  return 0;
}
