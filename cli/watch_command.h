// korvane --watch from the command line: the first listing, then the events
// on standard output until Ctrl+C, Ctrl+Break or the reader goes away.
#pragma once

#include <string>

#include "enumeration.h"
#include "watch.h"

namespace korvane_cli {

struct WatchRequest {
  std::string productId;  // ANSI code page, as given
  Export form = Export::BufferA;
  bool json = false;  // the first listing and every event as one JSON object a line
  WatchSettings settings;
};

// Returns the exit status: 0 when the watch ended as asked, 64 where there is
// no live registry to watch.
int RunWatch(const WatchRequest& request);

}  // namespace korvane_cli
