// Looks up keys and values in parsed registry files, their names compared as
// the library's walk compares names (common::SameKeyName).
#pragma once

#include <string_view>
#include <vector>

#include "regfile/script.h"

namespace korvane_cli {

// Whether a key below HKEY_LOCAL_MACHINE has the path given (ASCII).
bool IsMachineKey(const regfile::KeyOp& key, std::string_view path);

// The value `name` of the machine key `path` (both ASCII) as the files leave
// it, applied in order; null when no file sets it, or when the last that
// names it removes it or its key. Valid while the scripts are.
const regfile::ValueOp* ValueAfterAll(const std::vector<regfile::Script>& scripts, std::string_view path,
                                      std::string_view name);

}  // namespace korvane_cli
