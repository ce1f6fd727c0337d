// Registries built in code around one working device, for the hardening
// tests: every name and value of the device can be replaced by a hostile one.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "winhost/registry.h"

namespace hardening {

constexpr auto kLM = winhost::Root::LocalMachine;

constexpr std::u16string_view kUsb = u"SYSTEM\\CurrentControlSet\\Enum\\USB";
constexpr std::u16string_view kUsbPrint = u"SYSTEM\\CurrentControlSet\\Enum\\USBPRINT";
constexpr std::u16string_view kPrinters = u"SYSTEM\\CurrentControlSet\\Control\\Print\\Printers";
constexpr std::u16string_view kSerialComm = u"HARDWARE\\DEVICEMAP\\SERIALCOMM";

// A value as the registry stores it.
struct Data {
  std::uint32_t type = REG_SZ;
  std::vector<std::uint8_t> bytes;
};

// REG_SZ (or another string type) in UTF-16LE, with its terminator unless told otherwise.
Data Sz(std::u16string_view text, bool terminated = true, std::uint32_t type = REG_SZ);
// Any type with the bytes given.
Data Raw(std::uint32_t type, std::string_view bytes);
Data Dword(std::uint32_t value);

// One installed device of product 4B31 with its printer: every field can be
// replaced. The interface-1 and interface-2 instance names are the
// interface-0 name with its last unit replaced by '1' and '2'.
struct Device {
  std::u16string product = u"4B31";
  std::u16string instance0 = u"6&1f2e3d4c&0&0000";
  Data prefix = Sz(u"7&2b4f3c1a&0");  // "ParentIdPrefix" of the interface-1 instance
  std::u16string model = u"MODELC300USB";
  std::u16string modelInstance = u"7&2b4f3c1a&0&USB001";
  std::u16string printerKey = u"Receipt Printer A";
  Data printerName = Sz(u"Receipt Printer A");
  Data printerPort = Sz(u"USB001");
  Data port0 = Sz(u"COM3");
  Data port2 = Sz(u"COM4");
};

std::u16string InterfaceKey(const Device& device, char16_t interface);  // "...\Vid_7c1f&Pid_4B31&MI_0<n>"
std::u16string InstanceKey(const Device& device, char16_t interface);   // that key's instance of the device
std::u16string ModelInstanceKey(const Device& device);
std::u16string PrinterKey(const Device& device);

void AddDevice(winhost::Registry& registry, const Device& device);

// A registry with the default device, COM3 present, and an unrelated USB
// device and printer beside them.
std::shared_ptr<winhost::Registry> WorkingRegistry(const Device& device = Device());

}  // namespace hardening
