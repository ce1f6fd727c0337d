#include "device_registry.h"

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

std::u16string InterfaceKey(const Device& device, char16_t interface) {
  return std::u16string(kUsb) + u"\\Vid_7c1f&Pid_" + device.product + u"&MI_0" + interface;
}

std::u16string InstanceKey(const Device& device, char16_t interface) {
  auto name = device.instance0;
  if (!name.empty()) name.back() = interface;
  return InterfaceKey(device, interface) + u"\\" + name;
}

std::u16string ModelInstanceKey(const Device& device) {
  return std::u16string(kUsbPrint) + u"\\" + device.model + u"\\" + device.modelInstance;
}

std::u16string PrinterKey(const Device& device) { return std::u16string(kPrinters) + u"\\" + device.printerKey; }

void AddDevice(winhost::Registry& registry, const Device& device) {
  const auto set = [&registry](const std::u16string& key, std::u16string_view name, const Data& data) {
    registry.SetValue(kLM, key, name, data.type, data.bytes);
  };
  set(InstanceKey(device, u'0') + u"\\Device Parameters", u"PortName", device.port0);
  set(InstanceKey(device, u'1'), u"ParentIdPrefix", device.prefix);
  set(InstanceKey(device, u'2') + u"\\Device Parameters", u"PortName", device.port2);
  registry.CreateKey(kLM, ModelInstanceKey(device));
  set(PrinterKey(device), u"Name", device.printerName);
  set(PrinterKey(device), u"Port", device.printerPort);
}

std::shared_ptr<winhost::Registry> WorkingRegistry(const Device& device) {
  auto registry = std::make_shared<winhost::Registry>();
  registry->CreateKey(kLM, std::u16string(kUsb) + u"\\VID_046D&PID_C52B\\5&aa11bb22&0&1");
  registry->CreateKey(kLM, std::u16string(kUsbPrint) + u"\\OTHERVENDORPRINTER\\5&1234abcd&0&USB007");
  registry->SetValue(kLM, std::u16string(kPrinters) + u"\\Office Laser", u"Port", REG_SZ,
                     Sz(u"IP_10.0.0.20").bytes);
  registry->SetValue(kLM, kSerialComm, u"\\Device\\KvSerial0", REG_SZ, Sz(u"COM3").bytes);
  AddDevice(*registry, device);
  return registry;
}

}  // namespace hardening
