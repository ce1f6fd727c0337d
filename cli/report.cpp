#include "report.h"

namespace korvane_cli {

std::string DeviceLine(const Device& device) {
  return device.name + ", " + device.port0 + ", " + device.port2 + ", " + (device.online ? "OnLine" : "OffLine");
}

nlohmann::json EnumerationJson(const std::string& productIdUtf8, const Enumeration& enumeration) {
  nlohmann::json records = nlohmann::json::array();
  for (const auto& device : enumeration.devices) records.push_back(DeviceJson(device));
  return {
      {"productId", productIdUtf8},
      {"walkSucceeded", enumeration.result >= 0},
      {"count", enumeration.devices.size()},
      {"records", records},
  };
}

}  // namespace korvane_cli
