#include "log_files.h"

#include <filesystem>
#include <system_error>

namespace regfile::hive {
namespace {

namespace fs = std::filesystem;

// The new format's two logs, then the old format's one.
constexpr const char* kLogSuffixes[] = {".LOG1", ".LOG2", ".LOG"};

// Names compare in the platform's own form (UTF-16 on Windows), so that no
// name in the folder needs converting, whatever its characters.
template <typename Char>
Char AsciiUpper(Char c) {
  return (c >= Char('a') && c <= Char('z')) ? static_cast<Char>(c - Char('a') + Char('A')) : c;
}

bool SameFileName(const fs::path::string_type& a, const fs::path::string_type& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
  }
  return true;
}

}  // namespace

LogSearch FindLogsBeside(const std::string& hivePath) {
  const fs::path hive(hivePath);
  const fs::path folder = hive.has_parent_path() ? hive.parent_path() : fs::path(".");
  const auto beside = [&](const fs::path& name) { return hive.has_parent_path() ? hive.parent_path() / name : name; };
  LogSearch search;
  std::vector<fs::path> names;
  for (const char* suffix : kLogSuffixes) {
    names.push_back(fs::path(hive.filename().native() + fs::path(suffix).native()));
    search.lookedFor.push_back(beside(names.back()).string());
  }
  std::vector<fs::path> matches(names.size());
  std::error_code error;
  for (fs::directory_iterator entry(folder, error), end; !error && entry != end; entry.increment(error)) {
    const fs::path name = entry->path().filename();
    for (std::size_t i = 0; i < names.size(); ++i) {
      // A name spelt exactly as looked for wins over one that differs in case.
      if (SameFileName(name.native(), names[i].native()) && (matches[i].empty() || name == names[i])) {
        matches[i] = beside(name);
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
