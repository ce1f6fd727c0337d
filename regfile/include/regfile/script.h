// What a registry file holds, as the readers of both kinds give it: the
// keys and values to write, in the order that importing the file writes them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace regfile {

enum class Root : std::uint8_t { ClassesRoot, CurrentUser, LocalMachine, Users, CurrentConfig };

// Value types that the file format spells out; hex(N) data may carry any other.
constexpr std::uint32_t kRegSz = 1;
constexpr std::uint32_t kRegExpandSz = 2;
constexpr std::uint32_t kRegBinary = 3;
constexpr std::uint32_t kRegDword = 4;
constexpr std::uint32_t kRegMultiSz = 7;

// One value line of a key section. An empty name is the key's default value ("@").
struct ValueOp {
  std::u16string name;
  bool remove = false;          // "name"=-
  std::uint32_t type = 0;       // kRegSz, kRegDword, ... or the number of hex(N)
  std::vector<std::uint8_t> data;  // bytes as the registry stores them: strings as UTF-16LE
                                   // with their terminator, dwords little-endian, hex as given
};

// One [key] or [-key] section, with the value lines that follow it.
struct KeyOp {
  Root root = Root::LocalMachine;
  std::u16string path;          // below the root, levels joined by a single backslash; may be empty
  bool remove = false;          // [-key]: delete the key and everything below it
  unsigned line = 0;            // line of the section header, for messages
  std::vector<ValueOp> values;
};

// A file's keys in file order; applying them in order is what importing the file does.
struct Script {
  std::vector<KeyOp> keys;
};

// Names of roots as .reg files write them, for messages and writers.
std::string_view RootName(Root root);

}  // namespace regfile
