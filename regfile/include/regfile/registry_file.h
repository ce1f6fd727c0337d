// The one way in to a registry file of either kind: a .reg export, or a
// saved hive with its transaction logs. The kind is told by the file's
// first bytes, never by its name.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "regfile/file_read.h"
#include "regfile/reg_parser.h"
#include "regfile/selection.h"

namespace regfile {

enum class FileKind {
  RegExport,  // anything that is not a hive's: read as a .reg file
  Hive,       // "regf", file type 0
  HiveLog,    // "regf", file type 1, 2 or 6: a hive's transaction log
};
FileKind KindOf(const std::string& path);

// A file to read, with the logs named for it.
struct RegistryFile {
  std::string path;
  std::vector<std::string> logs;  // of a hive; none: those beside it are used
};

// The files of a command line, in order, each log with the hive given before
// it. A log before any hive is an error that names it.
std::vector<RegistryFile> WithTheirLogs(const std::vector<std::string>& paths, std::optional<FileError>& error);

struct ReadOptions {
  Selection selection;                 // the trees kept
  std::u16string hiveRoot = u"SYSTEM";  // the key below HKEY_LOCAL_MACHINE a hive was saved from
  bool replayLogs = true;              // false: hives are read as they stand
  AnsiToUtf16 ansiToUtf16 = nullptr;   // for the text data of REGEDIT4 files
};

FileRead ReadRegistryFile(const RegistryFile& file, const ReadOptions& options);

}  // namespace regfile
