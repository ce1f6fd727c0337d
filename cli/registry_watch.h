// The platform's part of korvane --watch: the registry's change notifications.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "watch.h"

namespace korvane_cli {

// Signals changes of the machine's registry keys that the walk reads, and
// the end of the watch on Ctrl+C or Ctrl+Break. When a change cannot be
// notified (a key missing, access refused), the signal notifies nothing and
// `note` is called, once, with the reason. Only where HasLiveRegistry(); null
// elsewhere.
std::unique_ptr<ChangeSignal> WatchTheRegistry(const std::function<void(const std::string&)>& note);

}  // namespace korvane_cli
