// Hears each step of the registry walk as it happens, so that a tool can
// explain why a device was or was not found without a second copy of the
// walk. Every step is a no-op here: the exports walk with this base class as
// it is, and an observer overrides the steps it cares about.
#pragma once

#include <string>
#include <string_view>

#include "library/correlation.h"
#include "library/string_list.h"

namespace korvane {

class WalkObserver {
 public:
  virtual ~WalkObserver() = default;

  // The listing of the USB device key (count -1: it cannot be opened).
  virtual void UsbKeysListed(std::int32_t /*count*/, const StringList& /*names*/) {}
  // The interface keys found; an empty path: not found.
  virtual void InterfaceKeysFound(const std::string& /*interface0*/, const std::string& /*interface1*/,
                                  const std::string& /*interface2*/) {}
  // A key that the walk must list could not be listed; the walk fails.
  virtual void ListingFailed(const std::string& /*path*/) {}
  virtual void SerialPortsListed(const StringList& /*ports*/) {}
  virtual void InstancesListed(const std::string& /*interface0Path*/, const StringList& /*instances*/) {}
  // The printer interface's prefix for an interface-0 instance (empty: missing).
  virtual void PrefixRead(std::string_view /*instance*/, const std::string& /*interface1Instance*/,
                          const std::string& /*prefix*/) {}
  // A USBPRINT model and its first instance that begins with the prefix (empty: none).
  virtual void ModelChecked(std::string_view /*model*/, std::int32_t /*instanceCount*/,
                            std::string_view /*match*/) {}
  // The printer key whose port the model instance ends with (empty: none).
  virtual void PrinterChecked(std::string_view /*modelInstance*/, const std::string& /*printerKey*/) {}
  virtual void RecordMade(const PrinterInfo& /*record*/, const std::string& /*port0Key*/,
                          const std::string& /*port2Key*/) {}
};

}  // namespace korvane
