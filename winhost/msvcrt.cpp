// The multibyte comparison of the C runtime, in the stand-in's ANSI code page.
#include <mbstring.h>

#include "internal.h"
#include "winhost/codepage.h"

namespace {

// Compares one character (one or two bytes) at a time; the bytes of a
// double-byte character are never case-folded.
int CompareIgnoringCase(const unsigned char* a, const unsigned char* b) {
  const unsigned codePage = winhost::AnsiCodePage();
  const auto& upper = winhost::UpperCaseBytes(codePage);
  for (;;) {
    if (winhost::IsLeadByte(*a, codePage) && a[1] != '\0') {
      if (a[0] != b[0]) return a[0] < b[0] ? -1 : 1;
      if (a[1] != b[1]) return a[1] < b[1] ? -1 : 1;
      a += 2;
      b += 2;
      continue;
    }
    const unsigned char ca = upper[*a];
    const unsigned char cb = upper[*b];
    if (ca != cb) return ca < cb ? -1 : 1;
    if (ca == '\0') return 0;
    ++a;
    ++b;
  }
}

}  // namespace

int _mbsicmp(const unsigned char* a, const unsigned char* b) { return CompareIgnoringCase(a, b); }
