// Feeds the bytes to regfile::ReadHiveBytes as a hive file, whole and through
// the selection korvane reads it with, and checks what every answer must
// satisfy:
//  - an error says what is wrong in a short, printable message, at an offset
//    inside the file or just past it, and comes with no keys;
//  - every level of a key path is 1 to 255 units long and holds no backslash;
//  - what the selection reads is read by the whole read too: a hive that is
//    read whole is read through a selection, and gives a part of the keys.
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <set>
#include <string>
#include <string_view>

#include "check.h"
#include "regfile/hive_reader.h"
#include "registry_paths.h"

namespace {

constexpr std::size_t kMaxLevel = 255;
constexpr std::size_t kMaxMessage = 300;

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

void CheckRead(const regfile::HiveRead& read, std::size_t size, const std::u16string& root) {
  if (read.error) {
    CHECK_THAT(read.script.keys.empty(), "a hive that fails gives no keys");
    CHECK_THAT(!read.error->what.empty() && read.error->what.size() < kMaxMessage && IsPrintableAscii(read.error->what),
               "an error is a short printable message: " + read.error->what);
    CHECK_THAT(read.error->offset <= size + 0x100000000ull, "an error's offset lies within the reach of the file");
    return;
  }
  for (const auto& key : read.script.keys) CheckPath(key.path, root);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  check::AbortOnFailure();
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const regfile::HiveRead whole = regfile::ReadHiveBytes(bytes, u"");
  CheckRead(whole, size, u"");
  const regfile::Selection selection(std::vector<std::string_view>(std::begin(korvane::paths::kOfflineTrees),
                                                                   std::end(korvane::paths::kOfflineTrees)));
  const regfile::HiveRead selected = regfile::ReadHiveBytes(bytes, u"SYSTEM", selection);
  CheckRead(selected, size, u"SYSTEM");
  if (whole.error) return 0;
  CHECK_THAT(!selected.error.has_value(), "a hive read whole is read through a selection");
  std::set<std::u16string> paths;
  for (const auto& key : whole.script.keys) paths.insert(u"SYSTEM" + key.path);
  for (const auto& key : selected.script.keys) {
    CHECK_THAT(paths.count(key.path) == 1, "a selection reads keys that the whole read reads");
  }
  return 0;
}
