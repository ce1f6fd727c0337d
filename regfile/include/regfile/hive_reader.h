// Reader for registry hive files ("regf"), the binary form in which Windows
// keeps its registry on disk and which `reg save` writes.
//
// Read-only. The hive is read as the key it was saved from, below
// HKEY_LOCAL_MACHINE (SYSTEM for the SYSTEM hive). It reads what Windows
// writes, versions 1.3 to 1.6: key nodes with ASCII or UTF-16 names, subkey
// lists of every kind (lf, lh, li, and ri over them), values with their data
// in the value record, in a cell of their own, or in big-data segments (db).
//
// A hive that Windows did not save cleanly is read with the changes that its
// transaction logs hold, as Windows would load it: the entries of the new
// format (FILE.LOG1 and FILE.LOG2, Windows 8.1 on) or the dirty pages of the
// old one (FILE.LOG), each checked before it is applied. The pages are laid
// over the file as it is read: what is kept of a log is where in it each
// 512-byte sector it replaces lies, not the pages.
//
// A hive and its logs are untrusted input: every offset, length and count is
// checked against the files before it is used. Held in memory besides the
// keys kept: an index of the bins (where each begins, its size, and the
// stretches where no sound bin header is), made from their headers when the
// hive is opened; and every bin that the selected trees reach, read whole
// the first time a cell in it is wanted, its cells' sizes checked then, and
// kept to the end of the read. Damage that the selected trees never reach
// does not refuse the hive.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "regfile/file_read.h"
#include "regfile/selection.h"

namespace regfile {

// The first bytes of a hive file, and of its logs.
constexpr std::string_view kHiveSignature = "regf";

// Where a hive's logs come from.
struct HiveLogs {
  bool replay = true;              // false: the hive is read as it stands
  std::vector<std::string> named;  // the logs to use; none: FILE.LOG1, FILE.LOG2 and FILE.LOG beside it,
                                   // the names matched without regard to case
};

// Reads the keys of `selection` from a hive file, as the key `rootPath` below
// HKEY_LOCAL_MACHINE ("SYSTEM"). A selection's trees that lie elsewhere are
// not looked for.
FileRead ReadHive(const std::string& fileName, const HiveLogs& logs, std::u16string_view rootPath,
                  const Selection& selection = {});
// The same for a hive's bytes and its logs' bytes held in memory, in the
// order of `logs` ("LOG1", "LOG2", ... in messages).
FileRead ReadHiveBytes(std::string_view hive, const std::vector<std::string_view>& logs, std::u16string_view rootPath,
                       const Selection& selection = {});

}  // namespace regfile
