#include "device_model.h"

namespace hardening {

Data Sz(std::u16string_view text, bool terminated, std::uint32_t type) {
  Data data{type, {}};
  data.bytes.reserve(2 * text.size() + 2);
  for (const char16_t unit : text) {
    data.bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
    data.bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
  }
  if (terminated) data.bytes.insert(data.bytes.end(), {0, 0});
  return data;
}

Data Raw(std::uint32_t type, std::string_view bytes) { return Data{type, {bytes.begin(), bytes.end()}}; }

Data Dword(std::uint32_t value) {
  return Data{REG_DWORD,
              {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
               static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)}};
}

std::u16string InterfaceKey(const Device& device, char16_t interfaceNumber) {
  return std::u16string(kUsb) + u"\\Vid_7c1f&Pid_" + device.product + u"&MI_0" + interfaceNumber;
}

std::u16string InstanceKey(const Device& device, char16_t interfaceNumber) {
  auto name = device.instance0;
  if (!name.empty()) name.back() = interfaceNumber;
  return InterfaceKey(device, interfaceNumber) + u"\\" + name;
}

std::u16string ModelInstanceKey(const Device& device) {
  return std::u16string(kUsbPrint) + u"\\" + device.model + u"\\" + device.modelInstance;
}

std::u16string PrinterKey(const Device& device) { return std::u16string(kPrinters) + u"\\" + device.printerKey; }

void AddDevice(RegistryEditor& editor, const Device& device) {
  editor.SetValue(InstanceKey(device, u'0') + u"\\Device Parameters", u"PortName", device.port0);
  editor.SetValue(InstanceKey(device, u'1'), u"ParentIdPrefix", device.prefix);
  editor.SetValue(InstanceKey(device, u'2') + u"\\Device Parameters", u"PortName", device.port2);
  editor.CreateKey(ModelInstanceKey(device));
  editor.SetValue(PrinterKey(device), u"Name", device.printerName);
  editor.SetValue(PrinterKey(device), u"Port", device.printerPort);
}

void AddWorkingRegistry(RegistryEditor& editor, const Device& device) {
  editor.CreateKey(std::u16string(kUsb) + u"\\VID_046D&PID_C52B\\5&aa11bb22&0&1");
  editor.CreateKey(std::u16string(kUsbPrint) + u"\\OTHERVENDORPRINTER\\5&1234abcd&0&USB007");
  editor.SetValue(std::u16string(kPrinters) + u"\\Office Laser", u"Port", Sz(u"IP_10.0.0.20"));
  editor.SetValue(std::u16string(kSerialComm), u"\\Device\\KvSerial0", Sz(u"COM3"));
  AddDevice(editor, device);
}

}  // namespace hardening
