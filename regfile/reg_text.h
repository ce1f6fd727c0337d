// The pieces of .reg text that the parser reads and writes apart from its
// states: ASCII case folding, hex numbers, input quoted in messages, and
// value text in the registry's own form (UTF-16LE).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/little_endian.h"
#include "regfile/reg_parser.h"

namespace regfile {

constexpr std::size_t kHexDigitsOfByte = 2;
constexpr std::size_t kHexDigitsOf32Bits = 8;  // a dword, or the number of a value type

inline bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }
bool IsAllBlank(std::u16string_view text);

// The helpers every line calls are inline: the parser spends its time in them.

inline char16_t AsciiLower(char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c; }

// Whether `text` begins with, or is, `ascii`; ASCII letters match in either case.
inline bool StartsWithIgnoreCase(std::u16string_view text, std::string_view ascii) {
  if (text.size() < ascii.size()) return false;
  for (std::size_t i = 0; i < ascii.size(); ++i) {
    if (AsciiLower(text[i]) != AsciiLower(static_cast<char16_t>(ascii[i]))) return false;
  }
  return true;
}
inline bool EqualsIgnoreCase(std::u16string_view text, std::string_view ascii) {
  return text.size() == ascii.size() && StartsWithIgnoreCase(text, ascii);
}

// The value of a hex digit, or -1.
inline int HexDigitValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

// The number that 1 to maxDigits hex digits, all of `digits`, spell.
inline std::optional<std::uint32_t> ParseHexNumber(std::u16string_view digits, std::size_t maxDigits) {
  if (digits.empty() || digits.size() > maxDigits) return std::nullopt;
  std::uint32_t number = 0;
  for (const char16_t c : digits) {
    const int digit = HexDigitValue(c);
    if (digit < 0) return std::nullopt;
    number = (number << 4) | static_cast<std::uint32_t>(digit);
  }
  return number;
}

// Input text for a message: in single quotes, as UTF-8, shortened, with
// control characters and broken surrogates shown as '?'.
std::string Quote(std::u16string_view text);

// Appends text as the registry stores it: UTF-16LE, without a terminator.
inline void AppendUtf16Le(std::vector<std::uint8_t>& out, std::u16string_view text) {
  out.reserve(out.size() + text.size() * 2);
  for (const char16_t c : text) common::AppendLittleEndian16(out, c);
}

// Text in ANSI of a REGEDIT4 file as UTF-16LE, through `convert` (null:
// widened byte by byte); each NUL byte, which ends a string, becomes a UTF-16 NUL.
std::vector<std::uint8_t> AnsiBytesToUtf16(const std::vector<std::uint8_t>& ansi, AnsiToUtf16 convert);

}  // namespace regfile
