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

#include "regfile/reg_parser.h"

namespace regfile {

constexpr std::size_t kHexDigitsOfByte = 2;
constexpr std::size_t kHexDigitsOf32Bits = 8;  // a dword, or the number of a value type

inline bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }
bool IsAllBlank(std::u16string_view text);

// Whether `text` begins with, or is, `ascii`; ASCII letters match in either case.
bool StartsWithIgnoreCase(std::u16string_view text, std::string_view ascii);
bool EqualsIgnoreCase(std::u16string_view text, std::string_view ascii);

// The number that 1 to maxDigits hex digits, all of `digits`, spell.
std::optional<std::uint32_t> ParseHexNumber(std::u16string_view digits, std::size_t maxDigits);

// Input text for a message: in single quotes, as UTF-8, shortened, with
// control characters and broken surrogates shown as '?'.
std::string Quote(std::u16string_view text);

// Appends text as the registry stores it: UTF-16LE, without a terminator.
void AppendUtf16Le(std::vector<std::uint8_t>& out, std::u16string_view text);

// Text in ANSI of a REGEDIT4 file as UTF-16LE, through `convert` (null:
// widened byte by byte); each NUL byte, which ends a string, becomes a UTF-16 NUL.
std::vector<std::uint8_t> AnsiBytesToUtf16(const std::vector<std::uint8_t>& ansi, AnsiToUtf16 convert);

}  // namespace regfile
