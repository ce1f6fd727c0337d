// Registry paths and value names that the walk reads, all below HKEY_LOCAL_MACHINE,
// and how much of a name it compares.
#pragma once

#include <cstddef>

namespace korvane::paths {

constexpr const char* kUsbDevices = "SYSTEM\\CurrentControlSet\\Enum\\USB";
constexpr const char* kUsbPrintDevices = "SYSTEM\\CurrentControlSet\\Enum\\USBPRINT";
constexpr const char* kPrinters = "SYSTEM\\CurrentControlSet\\Control\\Print\\Printers";
constexpr const char* kSerialPorts = "HARDWARE\\DEVICEMAP\\SERIALCOMM";
constexpr const char* kDeviceParameters = "Device Parameters";
constexpr const char* kSeparator = "\\";

// Offline, in a saved hive or an export of one, control sets are numbered
// (SYSTEM\ControlSet001) and this key's "Current" names the one in use.
constexpr const char* kControlSetSelect = "SYSTEM\\Select";
constexpr const char* kSelectedControlSet = "Current";

// The machine's ANSI code page, which its A functions convert names through
// (a string such as "932").
constexpr const char* kCodePage = "SYSTEM\\CurrentControlSet\\Control\\Nls\\CodePage";
constexpr const char* kAnsiCodePage = "ACP";

// What an offline registry must hold for the walk, and all that korvane keeps
// of one: the trees the walk reads, the choice of control set, the code page.
constexpr const char* kOfflineTrees[] = {kUsbDevices, kUsbPrintDevices, kPrinters, kSerialPorts, kControlSetSelect,
                                         kCodePage};

constexpr const char* kParentIdPrefix = "ParentIdPrefix";
constexpr const char* kPortName = "PortName";
constexpr const char* kPrinterPort = "Port";
constexpr const char* kPrinterName = "Name";

// Interface key names read "Vid_7c1f&Pid_" + product id + "&MI_0" + digit.
constexpr const char* kVendorPart = "Vid_";
constexpr const char* kVendorId = "7c1f";
constexpr const char* kProductPart = "&Pid_";
constexpr const char* kInterfacePart = "&MI_0";

// How much of a name the walk keeps and compares.
constexpr std::size_t kPrefixLength = 11;  // of "ParentIdPrefix" and of USBPRINT instance names
constexpr std::size_t kPortLength = 6;     // of port names, and of the port a printer's "Port" begins with

}  // namespace korvane::paths
