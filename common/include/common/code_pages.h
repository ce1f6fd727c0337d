// The ANSI code pages that Windows gives a locale, the pages CP_ACP can stand
// for, and the bytes that start a double-byte character in them. Plain C++
// and header only: the stand-in converts in these pages, and the command-line
// tool checks a code page it is given against the same list.
#pragma once

#include <cstddef>

namespace common {

// Thai, Japanese (Shift JIS), Simplified Chinese (GBK), Korean (Unified
// Hangul Code), Traditional Chinese (Big5); then the single-byte Windows
// pages: Central European, Cyrillic, Western, Greek, Turkish, Hebrew, Arabic,
// Baltic, Vietnamese.
inline constexpr unsigned kAnsiCodePages[] = {874,  932,  936,  949,  950,  1250, 1251,
                                              1252, 1253, 1254, 1255, 1256, 1257, 1258};

// True for a code page of kAnsiCodePages.
constexpr bool IsAnsiCodePage(unsigned codePage) {
  for (const unsigned page : kAnsiCodePages) {
    if (page == codePage) return true;
  }
  return false;
}

// True for a byte that starts a double-byte character in the code page: in
// 932 0x81-0x9F and 0xE0-0xFC (0xA1-0xDF are single-byte katakana), in 936,
// 949 and 950 0x81-0xFE; no byte in a single-byte page or in a page that is
// not listed. A trail byte can have an ASCII value (in 932, 936 and 950 it
// can be 0x5C, a backslash), so such text is split from its start, a
// character at a time, never by searching it for a byte.
constexpr bool IsLeadByte(unsigned char byte, unsigned codePage) {
  switch (codePage) {
    case 932: return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
    case 936:
    case 949:
    case 950: return byte >= 0x81 && byte <= 0xFE;
    default: return false;
  }
}

// True for the ANSI code pages that have double-byte characters.
constexpr bool IsDoubleByteCodePage(unsigned codePage) { return IsLeadByte(0x81, codePage); }

}  // namespace common
