// The transaction logs that Windows keeps beside a hive file.
#pragma once

#include <string>
#include <vector>

namespace regfile::hive {

struct LogSearch {
  std::vector<std::string> found;      // paths of the logs beside the hive, in the order of lookedFor
  std::vector<std::string> lookedFor;  // FILE.LOG1, FILE.LOG2, FILE.LOG
};

// Looks in the hive's folder for its logs, matching the names without
// regard to case: files copied from an NTFS disk arrive as system.LOG1,
// SYSTEM.log1 and the like.
LogSearch FindLogsBeside(const std::string& hivePath);

}  // namespace regfile::hive
