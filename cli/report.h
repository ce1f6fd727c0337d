// How korvane writes devices: the tester's line and the JSON forms, shared by
// the one-off enumeration and --watch.
#pragma once

#include <nlohmann/json.hpp>

#include <ostream>
#include <string>

#include "enumeration.h"
#include "regfile/file_read.h"

namespace korvane_cli {

// "name, port0, port2, OnLine|OffLine", as the tester window shows a device.
std::string RecordLine(const PrinterInfo& record);

// The listing: one RecordLine a device, in the order found.
void PrintListing(std::ostream& out, const Enumeration& enumeration);

// {"name": ..., "port0": ..., "port2": ..., "online": true|false}; an
// ordered_json keeps that order, a json sorts the keys.
template <typename Json = nlohmann::json>
Json RecordJson(const PrinterInfo& device) {
  return Json{{"name", device.name}, {"port0", device.port0}, {"port2", device.port2}, {"online", device.online}};
}

// The whole result: {"productId", "walkSucceeded", "count", "records",
// "complete"}; "complete" is false when files were read that may lack the
// machine's newest changes (a hive whose logs could not all be replayed).
nlohmann::json EnumerationJson(const std::string& productIdUtf8, const Enumeration& enumeration, bool complete = true);

// What became of a hive read offline: {"file", "state", "complete", "logs",
// "sequence", "message", "damage"}; "complete" is false where its newest
// changes may be missing.
nlohmann::json HiveJson(const std::string& file, const regfile::LogReplay& replay,
                        const std::optional<regfile::FileError>& damage);

// JSON as UTF-8 text; indent -1 gives one line. Invalid UTF-8 becomes U+FFFD.
template <typename Json>
std::string JsonText(const Json& value, int indent = -1) {
  return value.dump(indent, ' ', false, Json::error_handler_t::replace);
}

}  // namespace korvane_cli
