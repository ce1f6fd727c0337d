// What korvane --watch reports: how two results of the enumeration differ,
// and the lines that say so.
#pragma once

#include <string>
#include <vector>

#include "enumeration.h"

namespace korvane_cli {

enum class Change { kAdded, kRemoved, kChanged };

struct DeviceEvent {
  Change change;
  PrinterInfo record;  // as it is now; as it was, for a removed one
};

// The events that turn `before` into `after`.
//
// The exports name no device instance, so a device is known by its printer
// name and its two COM ports together: ports stay with a device instance,
// and two devices printing to the same printer still differ in their ports.
// A device known in both whose online state differs has changed; a printer
// renamed or a port renumbered is a device removed and one added. Devices
// alike in all three are matched in order, so two stay two.
//
// Removed devices come first, in their old order, then added and changed
// ones in the order of `after`.
std::vector<DeviceEvent> CompareDevices(const std::vector<PrinterInfo>& before, const std::vector<PrinterInfo>& after);

// A local time to the millisecond, and its offset from UTC.
struct LocalTime {
  int year = 1970;
  int month = 1;  // 1 to 12
  int day = 1;
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
  int utcOffsetMinutes = 0;  // east of Greenwich positive
};

// The machine's local time now.
LocalTime Now();

// ISO 8601: 2026-12-09T19:40:01.123+01:00.
std::string Iso8601(const LocalTime& time);

// "TIME + name, port0, port2, OnLine": + added, - removed, ~ changed.
std::string EventLine(const std::string& time, const DeviceEvent& event);

// {"time": TIME, "event": "added"|"removed"|"changed", "device": {...}}, on one line.
std::string EventJson(const std::string& time, const DeviceEvent& event);

}  // namespace korvane_cli
