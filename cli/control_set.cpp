#include <windows.h>

#include <cstdio>
#include <cstring>

#include "registry_source.h"

namespace korvane_cli {
namespace {

bool KeyExists(const char* path) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

// The control set number that SYSTEM\Select\Current holds, or 0.
DWORD SelectedControlSet() {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\Select", 0, KEY_READ, &key) != ERROR_SUCCESS) return 0;
  DWORD type = 0;
  BYTE data[4] = {0, 0, 0, 0};
  DWORD size = sizeof data;
  const bool read = RegQueryValueExA(key, "Current", nullptr, &type, data, &size) == ERROR_SUCCESS;
  RegCloseKey(key);
  if (!read || type != REG_DWORD || size != 4) return 0;
  return static_cast<DWORD>(data[0] | (data[1] << 8) | (data[2] << 16) | (static_cast<DWORD>(data[3]) << 24));
}

}  // namespace

std::string ProvideCurrentControlSet() {
  if (KeyExists("SYSTEM\\CurrentControlSet")) return std::string();
  const DWORD selected = SelectedControlSet();
  char name[32];
  std::snprintf(name, sizeof name, "ControlSet%03u", static_cast<unsigned>(selected));
  std::string controlSet = name;
  std::string why = "named by SYSTEM\\Select\\Current";
  if (selected == 0 || selected > 999 || !KeyExists(("SYSTEM\\" + controlSet).c_str())) {
    controlSet = "ControlSet001";
    why = "SYSTEM\\Select\\Current names no control set present";
  }
  if (!KeyExists(("SYSTEM\\" + controlSet).c_str())) return std::string();
  AliasCurrentControlSet(controlSet);
  return "the registry has no SYSTEM\\CurrentControlSet; using SYSTEM\\" + controlSet + " (" + why + ")";
}

}  // namespace korvane_cli
