// Where the registry that the library reads comes from: the machine's own,
// or registry files, .reg exports and saved SYSTEM hives, loaded in order, as
// importing them one after another would.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "code_page.h"
#include "regfile/file_read.h"
#include "regfile/script.h"
#include "regfile/selection.h"

namespace korvane_cli {

class RegistrySource {
 public:
  virtual ~RegistrySource() = default;
};

// What became of one hive: how its logs were replayed, damage it holds.
struct HiveReport {
  std::string file;
  regfile::LogReplay replay;
  std::optional<regfile::FileError> damage;  // the first, where the keys read do not lie
};

struct LoadOptions {
  bool replayLogs = true;  // false: every hive as it stands
  unsigned codePage = 0;   // --code-page; 0: as the files say, else 1252
};

struct LoadOutcome {
  std::unique_ptr<RegistrySource> source;  // keeps the loaded registry in use while it lives
  std::string error;                       // "FILE:LINE: what" or "FILE: offset 0x..: what" for a malformed file
  std::vector<std::string> notes;          // what the loading changed or could not tell, for standard error
  std::vector<std::string> hiveNotes;      // of those, what the hives' readers said (replay, damage)
  std::vector<HiveReport> hives;           // one a hive, in the order given
  CodePageChoice codePage;                 // the code page names are read through
};

// Reads every file, each of either kind (a hive begins with "regf"; a log
// given after a hive is that hive's), before anything is loaded, so that a
// malformed one loads nothing; keeps only the trees the walk reads; then
// loads them. A hive is the SYSTEM hive, read with its transaction logs.
// When a hive is given and no file holds the serial-port map, which only a
// running Windows has, the map is empty. The customer's code page, as the
// options or the files give it, is made the one in force where the platform
// lets it. On success the library reads the files until source is destroyed.
LoadOutcome LoadRegistryFiles(const std::vector<std::string>& files, const LoadOptions& options);

// The platform's part of converting names: makes `codePage` the ANSI code
// page they are converted through, where it can; returns the one in force.
unsigned UseCodePage(unsigned codePage);

// Whether the library can read the machine's own registry here (not on the
// host): the one question before korvane reads or watches it.
bool HasLiveRegistry();

// The platform's part of loading: makes the parsed files what the library
// reads. Returns null, with error set, when that fails.
std::unique_ptr<RegistrySource> InstallScripts(std::vector<regfile::Script> scripts, std::string& error);

}  // namespace korvane_cli
