// Opening a hive: its base block and, when Windows did not save it cleanly,
// the replay of its transaction logs, by the rules Windows loads it with:
//  - only a dirty hive (sequence numbers that differ, or a wrong checksum)
//    takes its logs; a log's own base block must be sound and synchronized;
//  - new-format logs go before an old-format one, and apply in the order of
//    their sequence numbers; the first only if it is not older than the
//    hive, each further one only if it goes on where the one before ended;
//  - an old-format log applies when it was written no earlier than the hive;
//  - a hive whose base block is damaged takes that of the log with the
//    latest entries.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "image.h"
#include "regfile/file_read.h"

namespace regfile::hive {

struct LogFiles {
  bool replay = true;
  std::vector<std::unique_ptr<RandomAccessFile>> files;  // named, or found beside the hive
  std::vector<std::string> lookedFor;                   // the names looked for, when none was named
};

struct OpenHive {
  std::unique_ptr<HiveImage> image;
  std::uint32_t rootCell = 0;
  std::uint32_t minorVersion = 0;
  LogReplay replay;
};

// Fails (a Fault) when the hive cannot be read at all: no base block to read
// it by, a version or file type it is not, bins of no sound size.
OpenHive Open(std::unique_ptr<RandomAccessFile> hive, LogFiles logs);

}  // namespace regfile::hive
