#include "watch.h"

#include <algorithm>

namespace korvane_cli {
namespace {

// Waits until `quiet` passes with no change; false when the watch must end.
bool WaitForQuiet(ChangeSignal& signal, std::chrono::milliseconds quiet) {
  for (;;) {
    switch (signal.Wait(quiet)) {
      case ChangeSignal::Wake::kStop: return false;
      case ChangeSignal::Wake::kTimedOut: return true;
      case ChangeSignal::Wake::kChanged: break;  // the burst goes on: wait again
    }
  }
}

}  // namespace

void WatchForChanges(ChangeSignal& signal, const std::function<Enumeration()>& enumerate, std::vector<PrinterInfo> last,
                     WatchReport& report, const WatchSettings& settings) {
  const auto retryDelay = std::max(settings.settle, kLeastRetryDelay);
  for (;;) {
    const auto wake = signal.Wait(signal.Notifies() ? std::nullopt : std::optional(settings.interval));
    if (wake == ChangeSignal::Wake::kStop) return;
    if (wake == ChangeSignal::Wake::kChanged && !WaitForQuiet(signal, settings.settle)) return;
    Enumeration now = enumerate();
    int tries = 1;
    for (; now.result < 0 && tries < settings.walkTries; ++tries) {
      if (!WaitForQuiet(signal, retryDelay)) return;
      now = enumerate();
    }
    if (now.result < 0) {
      report.WalkKeepsFailing(tries);
      continue;
    }
    const auto events = CompareDevices(last, now.records);
    last = std::move(now.records);
    if (!events.empty() && !report.Events(events)) return;
  }
}

}  // namespace korvane_cli
