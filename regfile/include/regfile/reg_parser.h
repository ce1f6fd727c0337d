// Reader for the text files that regedit exports and imports (.reg).
//
// Accepts "Windows Registry Editor Version 5.00" (UTF-16LE with a BOM, or
// UTF-8/ASCII with or without a BOM) and "REGEDIT4". The whole file is
// checked before anything is returned: a malformed file yields an error that
// names the line and what was wrong, and no script at all.
#pragma once

#include <cstdint>
#include <optional>
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

// The file's sections in file order; applying them in order is what importing the file does.
struct Script {
  std::vector<KeyOp> keys;
};

struct ParseError {
  unsigned line = 0;            // 1-based
  std::string message;          // what was wrong, in English, without the file name or line
};

struct ParseResult {
  Script script;                         // empty when error is set
  std::optional<ParseError> error;
};

// Converts text in the ANSI code page that hex(1), hex(2) and hex(7) data of a
// REGEDIT4 file are written in. Null: such bytes are widened one to one.
using AnsiToUtf16 = std::u16string (*)(std::string_view);

// Parses a whole file held in memory.
ParseResult Parse(std::string_view bytes, AnsiToUtf16 ansiToUtf16 = nullptr);

// Reads and parses a file. On failure, message() of the error reads "FILE:LINE: what"
// (line 0 when the file cannot be read).
struct FileError {
  std::string file;
  unsigned line = 0;
  std::string what;
  std::string message() const;
};
std::optional<FileError> ParseFile(const std::string& fileName, Script& script,
                                   AnsiToUtf16 ansiToUtf16 = nullptr);

// Names of roots as .reg files write them, for messages and writers.
std::string_view RootName(Root root);

}  // namespace regfile
