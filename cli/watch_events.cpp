#include "watch_events.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "civil_time.h"
#include "report.h"

namespace korvane_cli {
namespace {

bool SameDevice(const PrinterInfo& a, const PrinterInfo& b) {
  return a.name == b.name && a.port0 == b.port0 && a.port2 == b.port2;
}

// How each change is written: its sign in a line, its name in JSON.
struct ChangeText {
  const char* sign;
  const char* name;
};

ChangeText TextOf(Change change) {
  switch (change) {
    case Change::kAdded: return {"+", "added"};
    case Change::kRemoved: return {"-", "removed"};
    case Change::kChanged: return {"~", "changed"};
  }
  return {"?", "?"};
}

}  // namespace

std::vector<DeviceEvent> CompareDevices(const std::vector<PrinterInfo>& before, const std::vector<PrinterInfo>& after) {
  std::vector<bool> matched(before.size(), false);
  std::vector<DeviceEvent> arrivals;
  for (const auto& device : after) {
    std::size_t i = 0;
    while (i < before.size() && (matched[i] || !SameDevice(before[i], device))) ++i;
    if (i == before.size()) {
      arrivals.push_back({Change::kAdded, device});
      continue;
    }
    matched[i] = true;
    if (before[i].online != device.online) arrivals.push_back({Change::kChanged, device});
  }
  std::vector<DeviceEvent> events;
  for (std::size_t i = 0; i < before.size(); ++i) {
    if (!matched[i]) events.push_back({Change::kRemoved, before[i]});
  }
  events.insert(events.end(), arrivals.begin(), arrivals.end());
  return events;
}

LocalTime Now() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  std::tm local{};
#if defined(_WIN32)
  localtime_s(&local, &seconds);
#else
  localtime_r(&seconds, &local);
#endif
  LocalTime time;
  time.year = local.tm_year + 1900;
  time.month = local.tm_mon + 1;
  time.day = local.tm_mday;
  time.hour = local.tm_hour;
  time.minute = local.tm_min;
  time.second = local.tm_sec;
  time.millisecond =
      static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000);
  time.utcOffsetMinutes = static_cast<int>((SecondsAsIfUtc(local) - seconds) / 60);
  return time;
}

std::string Iso8601(const LocalTime& time) {
  const int offset = std::abs(time.utcOffsetMinutes);
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d%c%02d:%02d", time.year, time.month, time.day,
                time.hour, time.minute, time.second, time.millisecond, time.utcOffsetMinutes < 0 ? '-' : '+',
                offset / 60, offset % 60);
  return text;
}

std::string EventLine(const std::string& time, const DeviceEvent& event) {
  return time + " " + TextOf(event.change).sign + " " + RecordLine(event.record);
}

std::string EventJson(const std::string& time, const DeviceEvent& event) {
  using Json = nlohmann::ordered_json;
  return JsonText(Json{{"time", time}, {"event", TextOf(event.change).name}, {"device", RecordJson<Json>(event.record)}});
}

}  // namespace korvane_cli
