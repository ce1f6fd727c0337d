#include "bench_registry.h"

#include <cstdio>
#include <utility>

namespace bench {
namespace {

constexpr char kUsb[] = "SYSTEM\\CurrentControlSet\\Enum\\USB\\";
constexpr char kUsbPrint[] = "SYSTEM\\CurrentControlSet\\Enum\\USBPRINT\\";
constexpr char kPrinters[] = "SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\";
constexpr char kSerialComm[] = "HARDWARE\\DEVICEMAP\\SERIALCOMM";

std::string Hex(unsigned value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "%0*X", digits, value);
  return text;
}

// A name or string as a .reg file quotes it: backslashes and quotes escaped.
std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out + "\"";
}

// Builds the file one section at a time; a section holds one key's values.
class RegWriter {
 public:
  RegWriter() { text_ = "Windows Registry Editor Version 5.00\r\n"; }

  void Key(const std::string& path) { text_ += "\r\n[HKEY_LOCAL_MACHINE\\" + path + "]\r\n"; }

  void String(const std::string& name, const std::string& data) {
    text_ += Quoted(name) + "=" + Quoted(data) + "\r\n";
  }

  std::string Take() { return std::move(text_); }

 private:
  std::string text_;
};

}  // namespace

std::string RegistryText() {
  RegWriter reg;
  // 4,997 other devices' keys; with the three interface keys of the device,
  // 5,000 keys to list and compare.
  for (unsigned i = 0; i < 4997; ++i) {
    reg.Key(kUsb + ("VID_" + Hex(0x1000 + i / 7, 4) + "&PID_" + Hex(i, 4) + "\\5&" + Hex(i, 8) + "&0&1"));
  }
  // 40 printer models with three instances each that belong to no device instance.
  for (unsigned model = 0; model < 40; ++model) {
    for (unsigned k = 0; k < 3; ++k) {
      reg.Key(kUsbPrint + ("MODEL" + Hex(model, 3) + "\\8&" + Hex(model * 3 + k, 8) + "&0&USB" +
                           Hex(500 + model * 3 + k, 3)));
    }
  }
  // 292 network printers that no device prints through.
  for (unsigned p = 0; p < 292; ++p) {
    const auto name = "Printer " + Hex(p, 3);
    reg.Key(kPrinters + name);
    reg.String("Name", name);
    reg.String("Port", "IP_10.1." + std::to_string(p));
  }
  // 8 device instances: interfaces 0 and 2 with their COM ports, interface 1
  // with the prefix of its USBPRINT instance, that instance (among the models
  // above) and the printer on its port.
  for (unsigned d = 0; d < 8; ++d) {
    const auto instance = "6&" + Hex(0xA000 + d, 8) + "&0&000";
    const auto prefix = "7&" + Hex(0xB000 + d, 8) + "&0";
    const auto port = "USB" + Hex(100 + d, 3);
    reg.Key(kUsb + ("Vid_7c1f&Pid_4B31&MI_00\\" + instance + "0\\Device Parameters"));
    reg.String("PortName", "COM" + std::to_string(10 + d));
    reg.Key(kUsb + ("Vid_7c1f&Pid_4B31&MI_01\\" + instance + "1"));
    reg.String("ParentIdPrefix", prefix);
    reg.Key(kUsb + ("Vid_7c1f&Pid_4B31&MI_02\\" + instance + "2\\Device Parameters"));
    reg.String("PortName", "COM" + std::to_string(30 + d));
    reg.Key(kUsbPrint + ("MODEL" + Hex(d * 5, 3) + "\\" + prefix + "&" + port));
    const auto name = "Device Printer " + std::to_string(d);
    reg.Key(kPrinters + name);
    reg.String("Name", name);
    reg.String("Port", port);
  }
  // Half of the device instances are connected now.
  reg.Key(kSerialComm);
  for (unsigned s = 0; s < 4; ++s) {
    reg.String("\\Device\\Serial" + std::to_string(s), "COM" + std::to_string(10 + 2 * s));
  }
  return reg.Take();
}

}  // namespace bench
