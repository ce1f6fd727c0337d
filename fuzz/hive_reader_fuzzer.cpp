// Feeds the bytes to regfile::ReadHiveBytes as a hive file and its
// transaction logs (the parts between kLogMarker, the hive first), whole and
// through the selection korvane reads it with, and checks what every answer
// must satisfy:
//  - an error says what is wrong in a short, printable message, at an offset
//    inside the file or just past it, and comes with no keys; so does every
//    note;
//  - every level of a key path is 1 to 255 units long and holds no backslash;
//  - what the selection reads is read by the whole read too: a hive that is
//    read whole is read through a selection, and gives a part of the keys;
//  - logs that apply nothing change nothing: such a hive is read as it is
//    read without them.
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "check.h"
#include "common/key_names.h"
#include "regfile/hive_reader.h"
#include "library/registry_paths.h"

namespace {

constexpr std::size_t kMaxLevel = 255;
constexpr std::size_t kMaxMessage = 300;
constexpr std::string_view kLogMarker = "\nKORVANE-LOG\n";

bool IsPrintableAscii(std::string_view text) {
  for (const char c : text) {
    if (c < 0x20 || c > 0x7E) return false;
  }
  return true;
}

// A path is the root's, then "\NAME" a level.
void CheckPath(const std::u16string& path, const std::u16string& root) {
  CHECK_THAT(path.compare(0, root.size(), root) == 0, "a path begins with the root's");
  std::size_t start = root.size();
  while (start < path.size()) {
    CHECK_THAT(path[start] == u'\\', "each level begins with a backslash");
    const std::size_t end = path.find(u'\\', start + 1);
    const std::size_t length = (end == std::u16string::npos ? path.size() : end) - start - 1;
    CHECK_THAT(length >= 1 && length <= kMaxLevel, "every level of a key path is 1 to 255 units long");
    start = end == std::u16string::npos ? path.size() : end;
  }
}

void CheckRead(const regfile::FileRead& read, std::size_t size, const std::u16string& root) {
  for (const auto& note : read.notes) CHECK_THAT(IsPrintableAscii(note), "a note is printable: " + note);
  CHECK_THAT(read.replay.has_value() || read.error.has_value(), "a hive read says what became of its logs");
  if (read.error) {
    CHECK_THAT(read.script.keys.empty(), "a hive that fails gives no keys");
    CHECK_THAT(!read.error->what.empty() && read.error->what.size() < kMaxMessage && IsPrintableAscii(read.error->what),
               "an error is a short printable message: " + read.error->what);
    CHECK_THAT(read.error->offset.value_or(0) <= size + 0x100000000ull,
               "an error's offset lies within the reach of the file");
    return;
  }
  for (const auto& key : read.script.keys) CheckPath(key.path, root);
}

std::vector<std::string_view> Parts(std::string_view bytes) {
  std::vector<std::string_view> parts;
  for (;;) {
    const std::size_t end = bytes.find(kLogMarker);
    parts.push_back(bytes.substr(0, end));
    if (end == std::string_view::npos) return parts;
    bytes.remove_prefix(end + kLogMarker.size());
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  check::AbortOnFailure();
  std::vector<std::string_view> parts = Parts(std::string_view(reinterpret_cast<const char*>(data), size));
  const std::string_view hive = parts.front();
  const std::vector<std::string_view> logs(parts.begin() + 1, parts.end());
  const regfile::FileRead whole = regfile::ReadHiveBytes(hive, logs, u"");
  CheckRead(whole, size, u"");
  const regfile::Selection selection(std::vector<std::string_view>(std::begin(korvane::paths::kOfflineTrees),
                                                                   std::end(korvane::paths::kOfflineTrees)),
                                     common::SameKeyName);
  const regfile::FileRead selected = regfile::ReadHiveBytes(hive, logs, u"SYSTEM", selection);
  CheckRead(selected, size, u"SYSTEM");
  if (!logs.empty() && selected.replay && selected.replay->logs.empty()) {
    const regfile::FileRead alone = regfile::ReadHiveBytes(hive, {}, u"SYSTEM", selection);
    if (!alone.error) {
      CHECK_THAT(!selected.error.has_value() && selected.script.keys.size() == alone.script.keys.size(),
                 "logs that apply nothing change nothing");
    }
  }
  if (whole.error) return 0;
  CHECK_THAT(!selected.error.has_value(), "a hive read whole is read through a selection");
  std::set<std::u16string> paths;
  for (const auto& key : whole.script.keys) paths.insert(u"SYSTEM" + key.path);
  for (const auto& key : selected.script.keys) {
    CHECK_THAT(paths.count(key.path) == 1, "a selection reads keys that the whole read reads");
  }
  return 0;
}
