#include "library/interface_keys.h"

#include <windows.h>

#include "common/key_names.h"

#include "library/registry_access.h"
#include "library/registry_paths.h"
#include "library/walk_observer.h"

namespace korvane {
namespace {

// Sets path to the USB key's path joined with the first listed name equal to
// keyName, ignoring case.
void FindKey(const StringList& usbKeys, const std::string& keyName, std::string& path) {
  for (const auto name : usbKeys) {
    if (common::SameKeyName(name, keyName)) {
      path = std::string(paths::kUsbDevices).append(paths::kSeparator).append(name);
      return;
    }
  }
}

}  // namespace

std::string InterfaceKeyName(const std::string& productId, int number) {
  return std::string(paths::kVendorPart) + paths::kVendorId + paths::kProductPart + productId +
         paths::kInterfacePart + std::to_string(number);
}

bool FindInterfaceKeys(const std::string& productId, std::string& interface0Path,
                       std::string& interface1Path, std::string& interface2Path) {
  WalkObserver silent;
  return FindInterfaceKeys(productId, interface0Path, interface1Path, interface2Path, silent);
}

bool FindInterfaceKeys(const std::string& productId, std::string& interface0Path,
                       std::string& interface1Path, std::string& interface2Path, WalkObserver& observer) {
  StringList usbKeys;
  const auto count = ListSubkeys(HKEY_LOCAL_MACHINE, paths::kUsbDevices, usbKeys);
  observer.UsbKeysListed(count, usbKeys);
  if (count <= 0) return false;
  FindKey(usbKeys, InterfaceKeyName(productId, 0), interface0Path);
  FindKey(usbKeys, InterfaceKeyName(productId, 1), interface1Path);
  FindKey(usbKeys, InterfaceKeyName(productId, 2), interface2Path);
  return true;
}

}  // namespace korvane
