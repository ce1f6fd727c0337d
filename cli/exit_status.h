// korvane's exit statuses, as its --help lists them.
#pragma once

namespace korvane_cli::exit_status {

constexpr int kFound = 0;       // devices found; or the watch ended as asked
constexpr int kNoneFound = 1;
constexpr int kWalkFailed = 2;
constexpr int kUsage = 64;     // a usage error, or no registry to read here
constexpr int kBadInput = 65;  // a malformed .reg file or hive (damage on the walk's path)

}  // namespace korvane_cli::exit_status
