// What reading a registry file gives, whatever its kind: the keys, the error
// that refused the file, and what the reader has to say of it (how a hive's
// transaction logs were replayed, damage that the keys read never touched).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "regfile/script.h"

namespace regfile {

// Why a file was refused, and where in it.
struct FileError {
  std::string file;
  unsigned line = 0;                     // of a .reg file, 1-based; 0 when the file cannot be read
  std::optional<std::uint64_t> offset;   // of a hive, in its file
  std::string what;
  // "FILE:LINE: what" for a .reg file, "FILE: offset 0x1a2b: what" for a hive.
  std::string message() const;
};

// What became of a hive's transaction logs. A hive that Windows did not
// save cleanly ("dirty") has its newest changes in its logs only.
struct LogReplay {
  enum class State {
    Clean,         // saved cleanly: nothing to replay
    Replayed,      // dirty, and every change its logs hold is applied
    Stopped,       // dirty, and the replay stopped short (a damaged entry, a gap, an unusable log)
    NoLogs,        // dirty, and no log was found
    NothingNewer,  // dirty, and its logs hold nothing newer than the hive
    NotRead,       // dirty, and its logs were not to be read
  };
  State state = State::Clean;
  std::vector<std::string> logs;  // the logs applied, in the order applied
  std::uint32_t sequence = 0;     // the hive's sequence number as read
  std::string message;            // one line for the user ("FILE: ..."); empty when Clean

  // Whether the hive was read as Windows would load it, with nothing known to be missing.
  bool complete() const { return state == State::Clean || state == State::Replayed; }
};

// The name of a state, for documents a program reads: "clean", "replayed", ...
const char* StateName(LogReplay::State state);

struct FileRead {
  Script script;                  // empty when error is set
  std::optional<FileError> error;
  std::optional<LogReplay> replay;   // a hive's
  std::optional<FileError> damage;   // the first damage in a hive that the keys read never touched
  std::vector<std::string> notes;    // lines for the user ("FILE: ..."): the replay's, the damage's
};

}  // namespace regfile
