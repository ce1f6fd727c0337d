#include "interface_keys.h"

#include <mbstring.h>
#include <windows.h>

#include "registry_access.h"
#include "registry_paths.h"

namespace korvane {
namespace {

// Letter case changes no character's byte count, so names of different
// lengths are never equal and need no comparison.
bool EqualIgnoringCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && _mbsicmp(reinterpret_cast<const unsigned char*>(a.c_str()),
                  reinterpret_cast<const unsigned char*>(b.c_str())) == 0;
}

// Sets path to the USB key's path joined with the first listed name equal to keyName.
void FindKey(const StringList& usbKeys, const std::string& keyName, std::string& path) {
  for (const auto& listed : usbKeys) {
    if (EqualIgnoringCase(keyName, listed)) {
      path = std::string(paths::kUsbDevices) + paths::kSeparator + listed;
      return;
    }
  }
}

}  // namespace

bool FindInterfaceKeys(const std::string& productId, std::string& interface0Path,
                       std::string& interface1Path, std::string& interface2Path) {
  const std::string base = std::string(paths::kVendorPart) + paths::kVendorId + paths::kProductPart +
                           productId + paths::kInterfacePart;
  StringList usbKeys;
  if (ListSubkeys(HKEY_LOCAL_MACHINE, paths::kUsbDevices, usbKeys) <= 0) return false;
  FindKey(usbKeys, base + "0", interface0Path);
  FindKey(usbKeys, base + "1", interface1Path);
  FindKey(usbKeys, base + "2", interface2Path);
  return true;
}

}  // namespace korvane
