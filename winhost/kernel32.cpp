// The string and code-page calls of kernel32.
#include <cstring>
#include <string>

#include "internal.h"
#include "winhost/codepage.h"

namespace {

// CP_ACP, or the number of the code page that it stands for.
bool MeansTheAnsiCodePage(UINT codePage) { return codePage == CP_ACP || codePage == winhost::AnsiCodePage(); }

}  // namespace

int WINAPI lstrlenA(LPCSTR s) { return s == nullptr ? 0 : static_cast<int>(std::strlen(s)); }

int WINAPI lstrlenW(LPCWSTR s) {
  if (s == nullptr) return 0;
  return static_cast<int>(std::char_traits<char16_t>::length(s));
}

// A length of -1 means "up to and including the terminator"; the result
// counts what was (or would be) written, and 0 reports failure. A buffer
// that is too small receives nothing.
int WINAPI MultiByteToWideChar(UINT codePage, DWORD flags, LPCCH src, int srcBytes, LPWSTR dest,
                               int destUnits) {
  if (!MeansTheAnsiCodePage(codePage) || flags != 0 || src == nullptr || srcBytes == 0 || destUnits < 0) return 0;
  const auto bytes = srcBytes < 0 ? std::strlen(src) + 1 : static_cast<std::size_t>(srcBytes);
  const auto wide = winhost::FromAnsi(std::string_view(src, bytes));
  if (destUnits == 0) return static_cast<int>(wide.size());
  if (dest == nullptr || wide.size() > static_cast<std::size_t>(destUnits)) return 0;
  std::char_traits<char16_t>::copy(dest, wide.data(), wide.size());
  return static_cast<int>(wide.size());
}

int WINAPI WideCharToMultiByte(UINT codePage, DWORD flags, LPCWCH src, int srcUnits, LPSTR dest,
                               int destBytes, LPCCH defaultChar, LPBOOL usedDefaultChar) {
  if (!MeansTheAnsiCodePage(codePage) || flags != 0 || src == nullptr || srcUnits == 0 || destBytes < 0) return 0;
  const auto units = srcUnits < 0 ? std::char_traits<char16_t>::length(src) + 1 : static_cast<std::size_t>(srcUnits);
  bool defaulted = false;
  // The stand-in always replaces with the code page's own default, '?'.
  static_cast<void>(defaultChar);
  const auto narrow = winhost::ToAnsi(std::u16string_view(src, units), winhost::AnsiCodePage(), &defaulted);
  if (usedDefaultChar != nullptr) *usedDefaultChar = defaulted ? 1 : 0;
  if (destBytes == 0) return static_cast<int>(narrow.size());
  if (dest == nullptr || narrow.size() > static_cast<std::size_t>(destBytes)) return 0;
  std::memcpy(dest, narrow.data(), narrow.size());
  return static_cast<int>(narrow.size());
}
