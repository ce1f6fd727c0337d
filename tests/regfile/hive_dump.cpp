// Prints everything the hive reader returns of a hive, in the form that
// hive_reference_dump.py prints what hivex and libregf read of it, so that
// the three readers can be compared line for line:
//
//   key PATH                    every key, PATH "" for the root, then "\NAME" a level
//   value NAME TYPE HEX         its values, in the order of its value list
//
// Names show printable ASCII as it is and every other UTF-16 unit (and the
// backslash) as \uXXXX. The hive is read with its transaction logs, those
// named after it or else those beside it; what the reader says of them goes
// to standard error. Exit status 65, with the reader's message, when the hive
// is refused.
#include <cstdio>
#include <string>

#include "regfile/hive_reader.h"

namespace {

std::string Shown(const std::u16string& name) {
  std::string out;
  for (const char16_t c : name) {
    if (c >= 0x20 && c < 0x7F && c != u'\\') {
      out += static_cast<char>(c);
    } else {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
      out += escape;
    }
  }
  return out;
}

std::string ShownPath(const std::u16string& path) {
  std::string out;
  std::size_t start = 0;
  while (start < path.size()) {
    const std::size_t end = path.find(u'\\', start + 1);
    out += "\\" + Shown(path.substr(start + 1, end == std::u16string::npos ? std::u16string::npos : end - start - 1));
    start = end == std::u16string::npos ? path.size() : end;
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: hive_dump FILE [LOG...]\n");
    return 64;
  }
  // Logs named after the hive are its logs; without them, those beside it.
  const regfile::FileRead read = regfile::ReadHive(argv[1], regfile::HiveLogs{true, {argv + 2, argv + argc}}, u"");
  for (const auto& note : read.notes) std::fprintf(stderr, "%s\n", note.c_str());
  if (read.error) {
    std::fprintf(stderr, "%s\n", read.error->message().c_str());
    return 65;
  }
  for (const auto& key : read.script.keys) {
    std::printf("key %s\n", ShownPath(key.path).c_str());
    for (const auto& value : key.values) {
      std::string hex;
      for (const auto byte : value.data) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02x", byte);
        hex += pair;
      }
      std::printf("value %s %u %s\n", Shown(value.name).c_str(), static_cast<unsigned>(value.type), hex.c_str());
    }
  }
  return 0;
}
