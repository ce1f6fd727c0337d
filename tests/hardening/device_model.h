// Devices described in code, for the hardening tests: every name and value of
// a device can be replaced by a hostile one. The same descriptions are written
// into the stand-in's registry on the host and into the real one under Wine,
// through a RegistryEditor.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace hardening {

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

std::u16string InterfaceKey(const Device& device, char16_t interfaceNumber);  // "...\Vid_7c1f&Pid_4B31&MI_0<n>"
std::u16string InstanceKey(const Device& device, char16_t interfaceNumber);   // that key's instance of the device
std::u16string ModelInstanceKey(const Device& device);
std::u16string PrinterKey(const Device& device);

// Writes into HKEY_LOCAL_MACHINE; keys are paths below it.
class RegistryEditor {
 public:
  virtual ~RegistryEditor() = default;
  // Creates the key and its parents as needed.
  virtual void SetValue(const std::u16string& key, std::u16string_view name, const Data& data) = 0;
  virtual void CreateKey(const std::u16string& key) = 0;
  // Removes the key with everything below it; a missing key is no error.
  virtual void DeleteKey(const std::u16string& key) = 0;
  virtual void DeleteValue(const std::u16string& key, std::u16string_view name) = 0;
};

void AddDevice(RegistryEditor& editor, const Device& device);

// The default device, COM3 present, and an unrelated USB device and printer
// beside them.
void AddWorkingRegistry(RegistryEditor& editor, const Device& device = Device());

}  // namespace hardening
