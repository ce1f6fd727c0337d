// The one conversion between Unicode forms in the tree: UTF-16 to UTF-8,
// UTF-8 decoded into code points (and these into UTF-16), and the escaping
// of bytes and units for messages. The tools, the .reg reader and the tests
// all convert here. Plain C++: no platform calls.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>

namespace common {

// Appends the UTF-8 form of one code point (at most U+10FFFF).
void AppendUtf8(std::string& out, char32_t codePoint);

// The code point that starts at text[i], and how many units it takes: a
// surrogate pair is one code point; a lone surrogate is returned as it is.
struct Utf16CodePoint {
  char32_t value;
  std::size_t units;
};
Utf16CodePoint CodePointAt(std::u16string_view text, std::size_t i);

inline bool IsSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDFFF; }

// The code point that the UTF-8 sequence at bytes[at] encodes, and how many
// bytes it takes. Nothing when no well-formed sequence begins there: a stray
// continuation byte, a truncated or overlong sequence, an encoded surrogate
// or a code point above U+10FFFF.
struct Utf8CodePoint {
  char32_t value;
  std::size_t bytes;
};
std::optional<Utf8CodePoint> DecodeUtf8At(std::string_view bytes, std::size_t at);

// Appends the UTF-16 form of one code point (at most U+10FFFF): one unit, or a surrogate pair.
void AppendUtf16(std::u16string& out, char32_t codePoint);

// ASCII text, such as a registry path the code names, as UTF-16.
inline std::u16string AsciiToUtf16(std::string_view ascii) { return std::u16string(ascii.begin(), ascii.end()); }

// UTF-16 as UTF-8; an unpaired surrogate becomes U+FFFD. Takes any 16-bit
// unit type, so that wchar_t text of the Windows build needs no copy first.
std::string Utf16ToUtf8(std::u16string_view text);
template <typename Unit, typename = std::enable_if_t<sizeof(Unit) == 2 && !std::is_same_v<Unit, char16_t>>>
std::string Utf16ToUtf8(std::basic_string_view<Unit> text) {
  return Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(text.data()), text.size()));
}

// Text for a message or a log: printable ASCII as it is, every other byte as
// \xNN and every other UTF-16 unit as \uNNNN.
std::string Escaped(std::string_view bytes);
std::string Escaped(std::u16string_view units);
template <typename Unit, typename = std::enable_if_t<sizeof(Unit) == 2 && !std::is_same_v<Unit, char16_t>>>
std::string Escaped(std::basic_string_view<Unit> units) {
  return Escaped(std::u16string_view(reinterpret_cast<const char16_t*>(units.data()), units.size()));
}

}  // namespace common
