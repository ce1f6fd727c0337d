// Conversions between UTF-16 and the ANSI code pages that the stand-in offers
// (1252 and 932), with the platform's replacement rules: a character that the
// code page lacks becomes '?', a byte sequence that it does not define becomes
// U+30FB in 932 and the byte's own unit in 1252.
#pragma once

#include <string>
#include <string_view>

namespace winhost {

std::string ToAnsi(std::u16string_view text, unsigned codePage, bool* usedDefault = nullptr);
std::u16string FromAnsi(std::string_view bytes, unsigned codePage);
// The same in the code page that CP_ACP stands for now (SetAnsiCodePage).
std::string ToAnsi(std::u16string_view text);
std::u16string FromAnsi(std::string_view bytes);
// True for a byte that starts a double-byte character in the code page.
bool IsLeadByte(unsigned char byte, unsigned codePage);

}  // namespace winhost
