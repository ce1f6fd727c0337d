// The names of the roots as .reg files write them, one table read both ways:
// RootName (script.h) gives the full name, RootFromName reads either form.
#pragma once

#include <optional>
#include <string_view>

#include "regfile/script.h"

namespace regfile {

// The root that `name` names, in full ("HKEY_LOCAL_MACHINE") or abbreviated
// ("HKLM"), ASCII letters in either case.
std::optional<Root> RootFromName(std::u16string_view name);

}  // namespace regfile
