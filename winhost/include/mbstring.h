// Host stand-in for the multibyte string comparison of the C runtime that the
// library uses, in the ANSI code page selected with winhost::SetAnsiCodePage.
#pragma once

// Zero when equal, ignoring the case of single-byte letters: in a
// single-byte code page its own letters (Latin, Greek, Cyrillic), in a
// double-byte one ASCII letters; the bytes of a double-byte character are
// compared as they are.
int _mbsicmp(const unsigned char* a, const unsigned char* b);
