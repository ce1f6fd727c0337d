// Conversions between UTF-16 and every ANSI code page that Windows gives a
// locale (common/code_pages.h), through iconv, with the platform's
// replacement rules: a character that the code page lacks becomes '?'; a byte
// sequence that a double-byte page does not define becomes U+30FB (a lead
// byte takes the byte after it along), and an undefined byte of a
// single-byte page becomes the unit of the same value. A single-byte page
// converts one byte to one unit and back, never composing or decomposing
// accents. A code page outside the list throws std::invalid_argument; a
// converter that iconv lacks, std::runtime_error.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "common/code_pages.h"

namespace winhost {

std::string ToAnsi(std::u16string_view text, unsigned codePage, bool* usedDefault = nullptr);
std::u16string FromAnsi(std::string_view bytes, unsigned codePage);
// The same in the code page that CP_ACP stands for now (SetAnsiCodePage).
std::string ToAnsi(std::u16string_view text);
std::u16string FromAnsi(std::string_view bytes);

using common::IsLeadByte;

// Each single byte's upper case, as _mbsicmp folds it. In a single-byte page
// the simple upper-case mapping of the byte's character, where the page has
// it as a byte, and the byte itself otherwise; in a double-byte page ASCII
// letters only (the bytes of a double-byte character are never folded).
const std::array<unsigned char, 256>& UpperCaseBytes(unsigned codePage);

}  // namespace winhost
