#include "report.h"

namespace korvane_cli {

std::string DeviceLine(const Device& device) {
  return device.name + ", " + device.port0 + ", " + device.port2 + ", " + (device.online ? "OnLine" : "OffLine");
}

nlohmann::json EnumerationJson(const std::string& productIdUtf8, const Enumeration& enumeration, bool complete) {
  nlohmann::json records = nlohmann::json::array();
  for (const auto& device : enumeration.devices) records.push_back(DeviceJson(device));
  return {
      {"productId", productIdUtf8},
      {"walkSucceeded", enumeration.result >= 0},
      {"count", enumeration.devices.size()},
      {"records", records},
      {"complete", complete},
  };
}

nlohmann::json HiveJson(const std::string& file, const regfile::LogReplay& replay,
                        const std::optional<regfile::FileError>& damage) {
  nlohmann::json damaged = nullptr;
  if (damage) damaged = {{"offset", damage->offset.value_or(0)}, {"what", damage->what}};
  return {
      {"file", file},
      {"state", regfile::StateName(replay.state)},
      {"complete", replay.complete()},
      {"logs", replay.logs},
      {"sequence", replay.sequence},
      {"message", replay.message.empty() ? nlohmann::json(nullptr) : nlohmann::json(replay.message)},
      {"damage", damaged},
  };
}

}  // namespace korvane_cli
