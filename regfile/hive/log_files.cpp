#include "log_files.h"

#include <filesystem>
#include <system_error>

namespace regfile::hive {
namespace {

// The new format's two logs, then the old format's one.
constexpr const char* kLogSuffixes[] = {".LOG1", ".LOG2", ".LOG"};

char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool SameFileName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
  }
  return true;
}

}  // namespace

LogSearch FindLogsBeside(const std::string& hivePath) {
  namespace fs = std::filesystem;
  const fs::path hive(hivePath);
  const fs::path folder = hive.has_parent_path() ? hive.parent_path() : fs::path(".");
  const std::string hiveName = hive.filename().string();
  LogSearch search;
  std::vector<std::string> names;
  for (const char* suffix : kLogSuffixes) {
    names.push_back(hiveName + suffix);
    search.lookedFor.push_back((hive.has_parent_path() ? (hive.parent_path() / names.back()) : fs::path(names.back())).string());
  }
  std::vector<fs::path> matches(names.size());
  std::error_code error;
  for (fs::directory_iterator entry(folder, error), end; !error && entry != end; entry.increment(error)) {
    const std::string name = entry->path().filename().string();
    for (std::size_t i = 0; i < names.size(); ++i) {
      // A name spelt exactly as looked for wins over one that differs in case.
      if (SameFileName(name, names[i]) && (matches[i].empty() || name == names[i])) {
        matches[i] = hive.has_parent_path() ? hive.parent_path() / name : fs::path(name);
      }
    }
  }
  for (const auto& match : matches) {
    std::error_code notFile;
    if (!match.empty() && fs::is_regular_file(match, notFile)) search.found.push_back(match.string());
  }
  return search;
}

}  // namespace regfile::hive
