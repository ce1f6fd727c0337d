// korvane --watch: after the first listing, waits for the registry to change,
// lets a burst of changes settle, enumerates again and reports what differs.
// The waiting is the platform's (ChangeSignal); the rest is plain code.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <vector>

#include "enumeration.h"
#include "watch_events.h"

namespace korvane_cli {

// Wakes the watch: a watched registry key changed, the time given ran out, or
// the watch must end (Ctrl+C, Ctrl+Break, the reader of its output gone).
class ChangeSignal {
 public:
  enum class Wake { kChanged, kTimedOut, kStop };
  virtual ~ChangeSignal() = default;
  // Waits at most `timeout`; without one, until a change or the end.
  virtual Wake Wait(std::optional<std::chrono::milliseconds> timeout) = 0;
  // False when changes cannot be notified: the watch then enumerates every interval.
  virtual bool Notifies() const = 0;
};

// Where the watch's reports go.
class WatchReport {
 public:
  virtual ~WatchReport() = default;
  // The events of one enumeration, in order; false when they cannot be written
  // (the reader of standard output is gone), which ends the watch.
  virtual bool Events(const std::vector<DeviceEvent>& events) = 0;
  // The enumeration failed `tries` times in a row; the watch goes on.
  virtual void WalkKeepsFailing(int tries) = 0;
};

struct WatchSettings {
  std::chrono::milliseconds settle{250};     // quiet after a change before enumerating
  std::chrono::milliseconds interval{2000};  // between enumerations when changes are not notified
  int walkTries = 5;                         // enumerations in a row that may fail before it is reported
};

// How long to wait before trying a failed enumeration again: the settle time,
// but never less than this, so that a settle time of 0 does not spin.
constexpr std::chrono::milliseconds kLeastRetryDelay{50};

// Watches until the signal says stop (or the report cannot be written).
// `last` is what the first listing showed; an enumeration that fails while the
// registry changes is tried again, and reports no device gone.
void WatchForChanges(ChangeSignal& signal, const std::function<Enumeration()>& enumerate, std::vector<PrinterInfo> last,
                     WatchReport& report, const WatchSettings& settings);

}  // namespace korvane_cli
