// Where the registry that the library reads comes from: the machine's own,
// or .reg exports loaded in order, as importing them one after another would.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "regfile/reg_parser.h"
#include "watch.h"

namespace korvane_cli {

class RegistrySource {
 public:
  virtual ~RegistrySource() = default;
};

struct LoadOutcome {
  std::unique_ptr<RegistrySource> source;  // keeps the loaded registry in use while it lives
  std::string error;                       // "FILE:LINE: what" for a malformed file
  std::string note;                        // what the loading changed, for standard error
};

// Parses every file before anything is loaded, so that a malformed one loads
// nothing, then loads them; on success the library reads them until source is
// destroyed.
LoadOutcome LoadRegistryFiles(const std::vector<std::string>& files);

// Whether the library can read the machine's own registry here (not on the host).
bool HasLiveRegistry();

// Signals changes of the machine's registry keys that the walk reads, and
// the end of the watch on Ctrl+C or Ctrl+Break. When a change cannot be
// notified (a key missing, access refused), the signal notifies nothing and
// `note` is called, once, with the reason. Null where HasLiveRegistry() is false.
std::unique_ptr<ChangeSignal> WatchTheRegistry(const std::function<void(const std::string&)>& note);

// The platform's part of loading: makes the parsed files what the library
// reads. Returns null, with error set, when that fails.
std::unique_ptr<RegistrySource> InstallScripts(std::vector<regfile::Script> scripts, std::string& error);

// Exports of an offline SYSTEM hive name ControlSet00N instead of
// CurrentControlSet. When the exports hold no CurrentControlSet, the control
// set that SYSTEM\Select\Current names (else ControlSet001) is loaded as
// CurrentControlSet; returns a note saying so, or "".
std::string ProvideCurrentControlSet(std::vector<regfile::Script>& scripts);

}  // namespace korvane_cli
