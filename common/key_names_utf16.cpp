// The comparison of UTF-16 names, apart from that of ANSI ones, so that the
// library, which compares only ANSI names, does not carry the conversion.
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

// ASCII is the same bytes in every ANSI code page, so it needs no conversion.
std::string ToAnsi(std::u16string_view name) {
  if (IsAscii(name)) return std::string(name.begin(), name.end());
  return WideToAnsi(WideString(name.begin(), name.end()));
}

}  // namespace

bool SameKeyName(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size() && IsAscii(a) && IsAscii(b)) return false;
  return SameKeyName(ToAnsi(a), ToAnsi(b));
}

}  // namespace common
