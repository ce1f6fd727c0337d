// Checks that a scenario loaded by tests/wine_harness/wine.sh left Wine's registry
// holding exactly what its fixtures say, and nothing of Wine's own.
//
//   wine_registry_smoke devices               after devices.reg
//   wine_registry_smoke no_serialcomm         after devices.reg + no_serialcomm.reg
//   wine_registry_smoke unlistable_instance   after devices.reg + unlistable_instance.reg
//
// Ends with the line "N passed, N failed"; exit code 0 when every check
// passed, 1 otherwise, 2 on bad usage.

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "check.h"
#include "common/handles.h"
#include "common/utf.h"

namespace {

std::string Ascii(const std::wstring& text) { return common::Escaped(std::wstring_view(text)); }

using Key = common::UniqueKey;

LONG Open(const wchar_t* path, Key& key) {
  return RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, key.put());
}

// Subkey names in enumeration order; status is the first unexpected error.
struct Listing {
  LONG status = ERROR_SUCCESS;
  std::vector<std::wstring> names;
};

Listing Subkeys(const wchar_t* path) {
  Listing listing;
  Key key;
  listing.status = Open(path, key);
  if (listing.status != ERROR_SUCCESS) return listing;
  for (DWORD i = 0;; ++i) {
    wchar_t name[256];
    DWORD length = 256;
    const LONG status = RegEnumKeyExW(key.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_NO_MORE_ITEMS) break;
    if (status != ERROR_SUCCESS) {
      listing.status = status;
      break;
    }
    listing.names.emplace_back(name, length);
  }
  return listing;
}

struct Values {
  LONG status = ERROR_SUCCESS;
  std::vector<std::pair<std::wstring, std::wstring>> entries;  // name, REG_SZ data
};

Values StringValues(const wchar_t* path) {
  Values values;
  Key key;
  values.status = Open(path, key);
  if (values.status != ERROR_SUCCESS) return values;
  for (DWORD i = 0;; ++i) {
    wchar_t name[256];
    DWORD nameLength = 256;
    wchar_t data[256] = {};
    DWORD size = sizeof data - sizeof(wchar_t);  // keeps a terminator
    DWORD type = 0;
    const LONG status = RegEnumValueW(key.get(), i, name, &nameLength, nullptr, &type,
                                      reinterpret_cast<BYTE*>(data), &size);
    if (status == ERROR_NO_MORE_ITEMS) break;
    if (status != ERROR_SUCCESS || type != REG_SZ) {
      values.status = status != ERROR_SUCCESS ? status : ERROR_INVALID_DATA;
      break;
    }
    values.entries.emplace_back(std::wstring(name, nameLength), std::wstring(data));
  }
  return values;
}

std::string Describe(const std::vector<std::wstring>& names) {
  std::string out = "[";
  for (size_t i = 0; i < names.size(); ++i) out += (i ? ", " : "") + Ascii(names[i]);
  return out + "]";
}

std::string Describe(const std::vector<std::pair<std::wstring, std::wstring>>& entries) {
  std::string out = "{";
  for (size_t i = 0; i < entries.size(); ++i)
    out += (i ? ", " : "") + Ascii(entries[i].first) + "=" + Ascii(entries[i].second);
  return out + "}";
}

// Exact listing, order included.
void CheckSubkeys(const wchar_t* path, const std::vector<std::wstring>& expected) {
  const Listing listing = Subkeys(path);
  CHECK_THAT(listing.status == ERROR_SUCCESS,
               Ascii(path) + ": error " + std::to_string(listing.status));
  CHECK_THAT(listing.names == expected,
               Ascii(path) + "\n     got      " + Describe(listing.names) + "\n     expected " + Describe(expected));
}

const wchar_t kUsb[] = L"SYSTEM\\CurrentControlSet\\Enum\\USB";
const wchar_t kUsbPrint[] = L"SYSTEM\\CurrentControlSet\\Enum\\USBPRINT";
const wchar_t kPrinters[] = L"SYSTEM\\CurrentControlSet\\Control\\Print\\Printers";
const wchar_t kSerialComm[] = L"HARDWARE\\DEVICEMAP\\SERIALCOMM";

// The device keys of devices.reg, in the order Windows lists them (sorted by
// upper-cased name). Wine sorts by lower-cased name; for these names the two agree.
const std::vector<std::wstring> kDevicesUsb = {
    L"ROOT_HUB20",
    L"VID_046D&PID_C52B",
    L"Vid_7c1f&Pid_4B31&MI_00",
    L"Vid_7c1f&Pid_4B31&MI_01",
    L"Vid_7c1f&Pid_4B31&MI_02",
    L"VID_7C1F&PID_4B52&MI_00",
    L"VID_7C1F&PID_4B52&MI_01",
    L"VID_7C1F&PID_4B52&MI_02",
    L"Vid_7c1f&Pid_4B53&MI_00",
    L"Vid_7c1f&Pid_4B53&MI_01",
    L"Vid_7c1f&Pid_4B53&MI_02",
    L"Vid_7c1f&Pid_4B60&MI_00",
    L"Vid_7c1f&Pid_4B60&MI_02",
    L"Vid_7c1f&Pid_4B61&MI_00",
    L"Vid_7c1f&Pid_4B61&MI_01",
    L"Vid_7c1f&Pid_4B61&MI_02",
    L"Vid_7c1f&Pid_4B62&MI_000",
    L"Vid_7c1f&Pid_4B62&MI_01",
    L"Vid_7c1f&Pid_4B63&MI_00",
    L"Vid_7c1f&Pid_4B63&MI_01",
    L"Vid_7c1f&Pid_4B64&MI_00",
    L"Vid_7c1f&Pid_4B64&MI_01",
};

const std::vector<std::wstring> kDevicesUsbPrint = {
    L"MODELA100", L"MODELB200", L"MODELB210", L"MODELC300USB", L"MODELX", L"OTHERVENDORPRINTER",
};

const std::vector<std::wstring> kDevicesPrinters = {
    L"Label 0",       L"Label 1",           L"Label 2",           L"Label 3",
    L"Label 9",       L"Lower Case Port",   L"No Name Printer",   L"Office Laser",
    L"Receipt Printer A", L"Receipt Printer B", L"Short Prefix Printer",
};

// Windows keeps values in the order written, Wine sorts them: compare as sets.
void CheckSerialComm(std::vector<std::pair<std::wstring, std::wstring>> expected) {
  Values values = StringValues(kSerialComm);
  CHECK_THAT(values.status == ERROR_SUCCESS, "SERIALCOMM: error " + std::to_string(values.status));
  std::sort(values.entries.begin(), values.entries.end());
  std::sort(expected.begin(), expected.end());
  CHECK_THAT(values.entries == expected,
               "SERIALCOMM\n     got      " + Describe(values.entries) + "\n     expected " + Describe(expected));
}

const std::vector<std::pair<std::wstring, std::wstring>> kDevicesSerialComm = {
    {L"\\Device\\Serial0", L"COM1"},
    {L"\\Device\\KvSerial0", L"COM3"},
    {L"\\Device\\KvSerial1", L"COM123"},
};

// The trees of devices.reg other than USB, which some scenarios extend.
void CheckDevicesRest() {
  CheckSubkeys(kUsbPrint, kDevicesUsbPrint);
  CheckSubkeys(kPrinters, kDevicesPrinters);
  // The printer list holds only the fixture's printers: none of Wine's values.
  Values printerValues = StringValues(kPrinters);
  CHECK_THAT(printerValues.status == ERROR_SUCCESS && printerValues.entries.empty(),
               "Printers values: " + Describe(printerValues.entries));
}

void CheckDevices() {
  CheckSubkeys(kUsb, kDevicesUsb);
  CheckDevicesRest();
  CheckSerialComm(kDevicesSerialComm);
  // One deep key, letter case and value included.
  Values port = StringValues(
      L"SYSTEM\\CurrentControlSet\\Enum\\USB\\Vid_7c1f&Pid_4B31&MI_00\\6&1f2e3d4c&0&0000\\Device Parameters");
  CHECK_THAT(port.status == ERROR_SUCCESS && port.entries.size() == 1 && port.entries[0].first == L"PortName" &&
                   port.entries[0].second == L"COM3",
               Describe(port.entries));
}

void CheckNoSerialComm() {
  CheckSubkeys(kUsb, kDevicesUsb);
  CheckDevicesRest();
  Key key;
  const LONG status = Open(kSerialComm, key);
  CHECK_THAT(status == ERROR_FILE_NOT_FOUND, "opening SERIALCOMM gave " + std::to_string(status));
  // Only the map itself is gone, not the volatile key above it.
  Key deviceMap;
  CHECK(Open(L"HARDWARE\\DEVICEMAP", deviceMap) == ERROR_SUCCESS);
}

void CheckUnlistableInstance() {
  std::vector<std::wstring> usb = kDevicesUsb;
  usb.insert(usb.end(), {L"Vid_7c1f&Pid_4B70&MI_00", L"Vid_7c1f&Pid_4B70&MI_01", L"Vid_7c1f&Pid_4B70&MI_02"});
  CheckSubkeys(kUsb, usb);
  // The second instance's name holds U+4E2D, which has no form in the ANSI code page.
  CheckSubkeys(L"SYSTEM\\CurrentControlSet\\Enum\\USB\\Vid_7c1f&Pid_4B70&MI_00",
               {L"6&7070aaaa&0&0000", L"6&\u4E2D&0&0000"});
  Values port = StringValues(
      L"SYSTEM\\CurrentControlSet\\Enum\\USB\\Vid_7c1f&Pid_4B70&MI_00\\6&\u4E2D&0&0000\\Device Parameters");
  CHECK_THAT(port.status == ERROR_SUCCESS && port.entries.size() == 1 && port.entries[0].second == L"COM22",
               Describe(port.entries));
  CheckSerialComm(kDevicesSerialComm);
}

struct Mode {
  const char* name;
  void (*run)();
};

const Mode kModes[] = {
    {"devices", CheckDevices},
    {"no_serialcomm", CheckNoSerialComm},
    {"unlistable_instance", CheckUnlistableInstance},
};

}  // namespace

int main(int argc, char** argv) {
  for (const Mode& mode : kModes) {
    if (argc == 2 && std::strcmp(argv[1], mode.name) == 0) {
      const check::ScopedCase named(mode.name);
      mode.run();
      return check::Finish();
    }
  }
  std::fprintf(stderr, "usage: wine_registry_smoke devices|no_serialcomm|unlistable_instance\n");
  return 2;
}
