// Applying one transaction log to a hive's image: the entries of the new
// format (log_entries.cpp) or the dirty pages of the old one
// (dirty_vector.cpp). Which logs apply, and in which order, is replay.cpp's.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "image.h"

namespace regfile::hive {

// How applying a log ended.
struct LogOutcome {
  std::uint32_t applied = 0;       // entries (new format) or pages (old format)
  std::uint32_t lastSequence = 0;  // of the last entry applied
  struct Stop {
    std::uint64_t offset;  // in the log
    std::string what;
  };
  std::optional<Stop> stop;  // what ended the replay early, when something did
};

// Applies the log's entries in order from the one numbered `firstSequence`,
// each checked whole before any of its pages is laid over the bins, until
// the log holds no further entry (zeros, stale entries of an earlier cycle) or
// one is damaged.
LogOutcome ApplyLogEntries(HiveImage& image, std::size_t log, std::uint32_t firstSequence);

// Lays the old-format log's dirty pages over bins of `binsSize` bytes.
LogOutcome ApplyDirtyPages(HiveImage& image, std::size_t log, std::uint32_t binsSize);

}  // namespace regfile::hive
