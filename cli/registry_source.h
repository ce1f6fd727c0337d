// Where the registry that the library reads comes from: the machine's own,
// or .reg exports loaded in order, as importing them one after another would.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace korvane_cli {

class RegistrySource {
 public:
  virtual ~RegistrySource() = default;
};

struct LoadOutcome {
  std::unique_ptr<RegistrySource> source;  // keeps the loaded registry in use while it lives
  std::string error;                       // "FILE:LINE: what" for a malformed file
};

// Loads the files; on success the library reads them until source is destroyed.
LoadOutcome LoadRegistryFiles(const std::vector<std::string>& files);

// Whether the library can read the machine's own registry here (not on the host).
bool HasLiveRegistry();

// Exports of an offline SYSTEM hive name ControlSet00N instead of
// CurrentControlSet. When the registry read has none, makes the control set
// that SYSTEM\Select\Current names (else ControlSet001) serve as it, and
// returns a note saying so; otherwise returns "".
std::string ProvideCurrentControlSet();

// Makes HKLM\SYSTEM\<controlSet> appear as HKLM\SYSTEM\CurrentControlSet.
void AliasCurrentControlSet(const std::string& controlSet);

}  // namespace korvane_cli
