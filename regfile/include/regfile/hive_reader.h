// Reader for registry hive files ("regf"), the binary form in which Windows
// keeps its registry on disk and which `reg save` writes.
//
// Read-only. The hive is read as the key it was saved from, below
// HKEY_LOCAL_MACHINE (SYSTEM for the SYSTEM hive). It reads what Windows
// writes, versions 1.3 to 1.6: key nodes with ASCII or UTF-16 names, subkey
// lists of every kind (lf, lh, li, and ri over them), values with their data
// in the value record, in a cell of their own, or in big-data segments (db).
//
// A hive is untrusted input: every offset, length and count is checked
// against the file before it is used, and only what is read is held: the
// cells of the bins the selected trees lie in, and the keys kept.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "regfile/script.h"
#include "regfile/selection.h"

namespace regfile {

// The first bytes of a hive file.
constexpr std::string_view kHiveSignature = "regf";

struct HiveError {
  std::uint64_t offset = 0;  // in the file, of the record that is wrong
  std::string what;
  std::string message(const std::string& file) const;  // "FILE: offset 0x1234: what"
};

struct HiveRead {
  Script script;        // the keys kept, below rootPath; empty when error is set
  bool dirty = false;   // the base block's sequence numbers differ: changes were still in the logs
  std::optional<HiveError> error;
};

// Reads the keys of `selection` from a hive file, as the key `rootPath` below
// HKEY_LOCAL_MACHINE ("SYSTEM"). A selection's trees that lie elsewhere are
// not looked for.
HiveRead ReadHive(const std::string& fileName, std::u16string_view rootPath, const Selection& selection = {});
// The same for a hive's bytes held in memory.
HiveRead ReadHiveBytes(std::string_view bytes, std::u16string_view rootPath, const Selection& selection = {});

}  // namespace regfile
