// The comparison of UTF-16 names, apart from that of ANSI ones, so that the
// library, which compares only ANSI names, does not carry the conversion.
#include <algorithm>
#include <string>

#include "common/ansi.h"
#include "common/key_names.h"

namespace common {
namespace {

bool IsAscii(std::u16string_view text) {
  for (const char16_t unit : text) {
    if (unit >= 0x80) return false;
  }
  return true;
}

char16_t AsciiUpper(char16_t unit) { return unit >= u'a' && unit <= u'z' ? static_cast<char16_t>(unit - 0x20) : unit; }

std::string ToAnsi(std::u16string_view name) { return WideToAnsi(WideString(name.begin(), name.end())); }

}  // namespace

// ASCII is the same bytes in every ANSI code page, no byte of it leads a
// double-byte character, and _mbsicmp folds its letters alike in every page.
// So while both names are ASCII they compare unit by unit, without a
// conversion or _mbsicmp, which keeps reading a whole machine's export fast:
// ASCII letters that differ there differ after the conversion too.
bool SameKeyName(std::u16string_view a, std::u16string_view b) {
  const std::size_t shorter = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < shorter; ++i) {
    if (a[i] >= 0x80 || b[i] >= 0x80) return SameKeyName(ToAnsi(a), ToAnsi(b));
    if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
  }
  if (a.size() == b.size()) return true;
  if (IsAscii(a.substr(shorter)) && IsAscii(b.substr(shorter))) return false;
  return SameKeyName(ToAnsi(a), ToAnsi(b));
}

}  // namespace common
