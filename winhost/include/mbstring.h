// Host stand-in for the multibyte string comparisons of the C runtime.
// Both work in the ANSI code page selected with winhost::SetAnsiCodePage.
#pragma once

// Zero when equal, ignoring the case of single-byte letters; the bytes of a
// double-byte character are compared as they are.
int _mbsicmp(const unsigned char* a, const unsigned char* b);
// Zero when equal, byte for byte.
int _mbscmp(const unsigned char* a, const unsigned char* b);
