#include "common/ansi.h"

#include <limits>

#include "common/utf.h"

namespace common {
namespace {

// The conversion functions count in int; longer text is not theirs to convert.
bool FitsInt(std::size_t size) { return size <= static_cast<std::size_t>(std::numeric_limits<int>::max()); }

}  // namespace

WideString AnsiToWide(std::string_view ansi) {
  if (ansi.empty() || !FitsInt(ansi.size())) return WideString();
  const int length = static_cast<int>(ansi.size());
  const int units = MultiByteToWideChar(CP_ACP, 0, ansi.data(), length, nullptr, 0);
  if (units <= 0) return WideString();
  WideString wide(static_cast<std::size_t>(units), WCHAR{0});
  const int written = MultiByteToWideChar(CP_ACP, 0, ansi.data(), length, &wide[0], units);
  wide.resize(static_cast<std::size_t>(written > 0 ? written : 0));
  return wide;
}

std::u16string AnsiToUtf16(std::string_view ansi) {
  const WideString wide = AnsiToWide(ansi);
  return std::u16string(wide.begin(), wide.end());
}

std::string AnsiToUtf8(std::string_view ansi) { return Utf16ToUtf8(WideStringView(AnsiToWide(ansi))); }

std::string WideToAnsi(WideStringView wide) {
  if (wide.empty() || !FitsInt(wide.size())) return std::string();
  const int units = static_cast<int>(wide.size());
  const int bytes = WideCharToMultiByte(CP_ACP, 0, wide.data(), units, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return std::string();
  std::string ansi(static_cast<std::size_t>(bytes), '\0');
  const int written = WideCharToMultiByte(CP_ACP, 0, wide.data(), units, &ansi[0], bytes, nullptr, nullptr);
  ansi.resize(static_cast<std::size_t>(written > 0 ? written : 0));
  return ansi;
}

}  // namespace common
