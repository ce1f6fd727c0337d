// Locates the registry keys of the device's three USB interfaces.
#pragma once

#include <string>

namespace korvane {

// The key name of the device's interface 0, 1 or 2 (number): "Vid_7c1f&Pid_<productId>&MI_0<number>".
std::string InterfaceKeyName(const std::string& productId, int number);

// Looks for the keys "Vid_7c1f&Pid_<productId>&MI_00", "...&MI_01" and
// "...&MI_02" among the subkeys of SYSTEM\CurrentControlSet\Enum\USB, ignoring
// letter case, and sets each found one's output to that key's full path, with
// the name as the registry lists it. Outputs of keys not found are left as they
// were. Returns false when the USB key cannot be listed or has no subkeys.
// The observer hears the USB key's listing.
class WalkObserver;
bool FindInterfaceKeys(const std::string& productId, std::string& interface0Path,
                       std::string& interface1Path, std::string& interface2Path);
bool FindInterfaceKeys(const std::string& productId, std::string& interface0Path,
                       std::string& interface1Path, std::string& interface2Path, WalkObserver& observer);

}  // namespace korvane
