// Registry names compared as the library's walk compares the names it lists:
// as bytes in the ANSI code page in force, through the C runtime's _mbsicmp,
// which folds the letters that code page folds (1252's accented ones too)
// and compares the two bytes of a double-byte character as they stand. The
// explanation of a walk, the readers of registry files and korvane's
// control-set lookup all compare through here, so that they call two names
// the same exactly when the walk would.
#pragma once

#include <string_view>

namespace common {

// Names in the ANSI code page; no NUL among them. Letter case changes no
// character's byte count, so names of other lengths are never the same.
bool SameKeyName(std::string_view a, std::string_view b);

// Whether name begins with prefix, compared as above. prefix must end where a
// character of name ends (an ASCII prefix always does).
bool StartsWithKeyName(std::string_view name, std::string_view prefix);

// UTF-16 names, as the registry files hold them, in the form the walk gets
// them: converted to the ANSI code page as the registry's A functions
// convert them (a character the page lacks becomes '?').
bool SameKeyName(std::u16string_view a, std::u16string_view b);

}  // namespace common
