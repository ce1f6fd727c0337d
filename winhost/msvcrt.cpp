// The multibyte comparison of the C runtime, in the stand-in's ANSI code page.
#include <mbstring.h>

#include "internal.h"
#include "winhost/codepage.h"

namespace {

// Upper case of a single-byte character in code page 1252: ASCII letters and
// the accented letters that the code page pairs up.
unsigned char UpperCp1252(unsigned char c) {
  if (c >= 'a' && c <= 'z') return static_cast<unsigned char>(c - 0x20);
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<unsigned char>(c - 0x20);
  switch (c) {
    case 0x9A: return 0x8A;
    case 0x9C: return 0x8C;
    case 0x9E: return 0x8E;
    case 0xFF: return 0x9F;
    default: return c;
  }
}

unsigned char UpperAscii(unsigned char c) { return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 0x20) : c; }

// Compares one character (one or two bytes) at a time; the bytes of a
// double-byte character are never case-folded.
int CompareIgnoringCase(const unsigned char* a, const unsigned char* b) {
  const unsigned codePage = winhost::AnsiCodePage();
  const auto upper = codePage == 932 ? UpperAscii : UpperCp1252;
  for (;;) {
    if (winhost::IsLeadByte(*a, codePage) && a[1] != '\0') {
      if (a[0] != b[0]) return a[0] < b[0] ? -1 : 1;
      if (a[1] != b[1]) return a[1] < b[1] ? -1 : 1;
      a += 2;
      b += 2;
      continue;
    }
    const unsigned char ca = upper(*a);
    const unsigned char cb = upper(*b);
    if (ca != cb) return ca < cb ? -1 : 1;
    if (ca == '\0') return 0;
    ++a;
    ++b;
  }
}

}  // namespace

int _mbsicmp(const unsigned char* a, const unsigned char* b) { return CompareIgnoringCase(a, b); }
