#include "library/correlation.h"

#include <windows.h>

#include <string_view>

#include "library/interface_keys.h"
#include "library/registry_access.h"
#include "library/registry_paths.h"
#include "library/walk_observer.h"

namespace korvane {
namespace {

using paths::kPortLength;
using paths::kPrefixLength;

// Cuts count bytes of the narrow string; a shorter string is taken whole.
// Every comparison of the walk is exact byte equality of the cut strings.
std::string_view FirstChars(std::string_view text, std::size_t count) { return text.substr(0, count); }

std::string_view LastChars(std::string_view text, std::size_t count) {
  return text.size() <= count ? text : text.substr(text.size() - count);
}

std::string Join(std::string_view parent, std::string_view child) {
  std::string path;
  path.reserve(parent.size() + 1 + child.size());
  return path.append(parent).append(paths::kSeparator).append(child);
}

// The instance names of one device's interfaces differ only in their last character.
std::string SiblingInstance(std::string_view interface0Instance, char lastChar) {
  std::string sibling(interface0Instance.substr(0, interface0Instance.empty() ? 0 : interface0Instance.size() - 1));
  sibling.push_back(lastChar);
  return sibling;
}

std::string ReadValue(const std::string& path, const char* valueName) {
  return ReadStringValue(HKEY_LOCAL_MACHINE, path.c_str(), valueName);
}

std::int32_t ListKeys(const std::string& path, StringList& names) {
  return ListSubkeys(HKEY_LOCAL_MACHINE, path.c_str(), names);
}

// What one call of the walk knows once the device's interface keys are found.
struct WalkContext {
  std::string interface0Path;
  std::string interface1Path;
  std::string interface2Path;
  StringList presentPorts;  // data of the serial-port map, read once per walk
  WalkObserver& observer;
};

// Lists a key that the walk cannot do without; tells the observer when it fails.
std::int32_t ListRequired(const WalkContext& walk, const std::string& path, StringList& names) {
  const auto count = ListKeys(path, names);
  if (count < 0) walk.observer.ListingFailed(path);
  return count;
}

// One interface-0 instance while the models are searched for it.
struct Instance {
  std::string name;    // the interface-0 instance key's name
  std::string prefix;  // its printer interface's "ParentIdPrefix", cut
};

bool IsPresent(const WalkContext& walk, std::string_view port) {
  for (const auto present : walk.presentPorts) {
    if (present == port) return true;
  }
  return false;
}

PrinterInfo MakeRecord(const WalkContext& walk, const Instance& instance, const std::string& printerKey) {
  const auto port0Parameters = Join(Join(walk.interface0Path, instance.name), paths::kDeviceParameters);
  const auto port2Parameters =
      Join(Join(walk.interface2Path, SiblingInstance(instance.name, '2')), paths::kDeviceParameters);
  PrinterInfo record;
  record.port0 = std::string(FirstChars(ReadValue(port0Parameters, paths::kPortName), kPortLength));
  record.name = ReadValue(printerKey, paths::kPrinterName);
  record.port2 = std::string(FirstChars(ReadValue(port2Parameters, paths::kPortName), kPortLength));
  record.online = IsPresent(walk, record.port0) ? 1 : 0;
  walk.observer.RecordMade(record, port0Parameters, port2Parameters);
  return record;
}

// The first printer key whose port begins with the port that the model
// instance name ends with; "" when there is none.
std::string FindPrinterKey(const StringList& printers, std::string_view modelInstance) {
  const auto port = LastChars(modelInstance, kPortLength);
  for (const auto printer : printers) {
    auto key = Join(paths::kPrinters, printer);
    if (FirstChars(ReadValue(key, paths::kPrinterPort), kPortLength) == port) return key;
  }
  return std::string();
}

// The first model instance whose name begins with the prefix; empty when none
// does (listed names are never empty).
std::string_view FindModelInstance(const StringList& modelInstances, std::string_view prefix) {
  for (const auto modelInstance : modelInstances) {
    if (FirstChars(modelInstance, kPrefixLength) == prefix) return modelInstance;
  }
  return std::string_view();
}

// Appends the record of one instance and one USBPRINT model, if they are linked.
bool CollectModel(const WalkContext& walk, const Instance& instance, std::string_view model,
                  PrinterInfoList& records) {
  StringList modelInstances;
  const auto count = ListRequired(walk, Join(paths::kUsbPrintDevices, model), modelInstances);
  if (count < 0) return false;
  // Only the first matching instance counts, even if no printer prints through it.
  const auto modelInstance = FindModelInstance(modelInstances, instance.prefix);
  walk.observer.ModelChecked(model, count, modelInstance);
  if (modelInstance.empty()) return true;
  StringList printers;
  if (ListRequired(walk, paths::kPrinters, printers) < 0) return false;
  const auto printerKey = FindPrinterKey(printers, modelInstance);
  walk.observer.PrinterChecked(modelInstance, printerKey);
  if (printerKey.empty()) return true;
  records.push_back(MakeRecord(walk, instance, printerKey));
  return true;
}

bool CollectInstance(const WalkContext& walk, std::string_view instanceName, PrinterInfoList& records) {
  StringList unused;
  if (ListRequired(walk, Join(walk.interface0Path, instanceName), unused) < 0) return false;
  const auto interface1Instance = Join(walk.interface1Path, SiblingInstance(instanceName, '1'));
  const Instance instance{std::string(instanceName), std::string(FirstChars(ReadValue(interface1Instance,
                                                                                    paths::kParentIdPrefix),
                                                                          kPrefixLength))};
  walk.observer.PrefixRead(instanceName, interface1Instance, instance.prefix);
  StringList models;
  if (ListRequired(walk, paths::kUsbPrintDevices, models) < 0) return false;
  for (const auto model : models) {
    if (!CollectModel(walk, instance, model, records)) return false;
  }
  return true;
}

}  // namespace

bool CollectPrinterInfo(const char* productId, PrinterInfoList& records) {
  WalkObserver silent;
  return CollectPrinterInfo(productId, records, silent);
}

bool CollectPrinterInfo(const char* productId, PrinterInfoList& records, WalkObserver& observer) {
  WalkContext walk{{}, {}, {}, {}, observer};
  if (!FindInterfaceKeys(productId != nullptr ? productId : "", walk.interface0Path, walk.interface1Path,
                         walk.interface2Path, observer)) {
    return false;
  }
  observer.InterfaceKeysFound(walk.interface0Path, walk.interface1Path, walk.interface2Path);
  // Without an interface-0 key there is nothing to walk; listing the empty
  // path would list the root key itself.
  if (walk.interface0Path.empty()) return false;
  StringList portNames;
  if (ListValues(HKEY_LOCAL_MACHINE, paths::kSerialPorts, portNames, walk.presentPorts) < 0) {
    observer.ListingFailed(paths::kSerialPorts);
    return false;
  }
  observer.SerialPortsListed(walk.presentPorts);
  StringList instances;
  if (ListRequired(walk, walk.interface0Path, instances) < 0) return false;
  observer.InstancesListed(walk.interface0Path, instances);
  for (const auto instance : instances) {
    if (!CollectInstance(walk, instance, records)) return false;
  }
  return true;
}

}  // namespace korvane
