// Text in the system's ANSI code page to and from UTF-16 and UTF-8, through
// the platform's own conversion (MultiByteToWideChar and WideCharToMultiByte
// with CP_ACP): on the host, the stand-in's code pages answer. Every function
// converts exactly the units it is given; a NUL among them is converted too.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace common {

// UTF-16 in the unit type of the platform's W functions.
using WideString = std::basic_string<WCHAR>;
using WideStringView = std::basic_string_view<WCHAR>;

// Bytes that the code page does not define become its replacement character.
WideString AnsiToWide(std::string_view ansi);
std::u16string AnsiToUtf16(std::string_view ansi);
std::string AnsiToUtf8(std::string_view ansi);

// Characters that the code page lacks become its default character ('?').
std::string WideToAnsi(WideStringView wide);

}  // namespace common
