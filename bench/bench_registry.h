// The large registry that the benchmarks walk, as the text of a .reg file.
//
// The host benchmark parses this text into the stand-in's registry and the
// Wine benchmark imports the same text with regedit, so both measure the walk
// over the very same keys and values.
#pragma once

#include <string>

namespace bench {

// The product id whose device instances the registry holds.
inline constexpr char kProductId[] = "4B31";

// One line that tells what the registry holds, for the benchmarks' output.
inline constexpr char kRegistryShape[] =
    "5000 USB device keys, 8 device instances, 40 USBPRINT models, 300 printers";

// A "Windows Registry Editor Version 5.00" file in ASCII with CRLF line ends.
// Every key lies below HKEY_LOCAL_MACHINE, in the trees that a scenario owns:
// Enum\USB, Enum\USBPRINT, Control\Print\Printers and HARDWARE\DEVICEMAP\SERIALCOMM.
// The same text every time.
std::string RegistryText();

}  // namespace bench
