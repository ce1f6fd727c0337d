// Host stand-in for the multibyte string comparison of the C runtime that the
// library uses, in the ANSI code page selected with winhost::SetAnsiCodePage.
#pragma once

// Zero when equal, ignoring the case of single-byte letters; the bytes of a
// double-byte character are compared as they are.
int _mbsicmp(const unsigned char* a, const unsigned char* b);
