#include "report.h"

namespace korvane_cli {

std::string RecordLine(const PrinterInfo& record) {
  return record.name + ", " + record.port0 + ", " + record.port2 + ", " + (record.online ? "OnLine" : "OffLine");
}

void PrintListing(std::ostream& out, const Enumeration& enumeration) {
  for (const auto& record : enumeration.records) out << RecordLine(record) << "\n";
}

nlohmann::json EnumerationJson(const std::string& productIdUtf8, const Enumeration& enumeration, bool complete) {
  nlohmann::json records = nlohmann::json::array();
  for (const auto& record : enumeration.records) records.push_back(RecordJson(record));
  return {
      {"productId", productIdUtf8},
      {"walkSucceeded", enumeration.result >= 0},
      {"count", enumeration.records.size()},
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
