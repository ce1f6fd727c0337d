// The control set a copy of a SYSTEM registry stands for. A saved SYSTEM
// hive, and exports of an offline one, name ControlSet00N instead of
// CurrentControlSet, which only a running Windows has.
#pragma once

#include <string>
#include <vector>

#include "regfile/script.h"

namespace korvane_cli {

// When the files hold no CurrentControlSet, loads the control set that
// SYSTEM\Select\Current names (else ControlSet001) as CurrentControlSet;
// returns a note saying so, or "".
std::string ProvideCurrentControlSet(std::vector<regfile::Script>& scripts);

// Whether a script holds what only a SYSTEM registry holds: SYSTEM\Select, or
// a key in a control set.
bool HoldsSystemKeys(const regfile::Script& script);

}  // namespace korvane_cli
