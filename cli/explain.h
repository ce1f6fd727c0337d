// Narrates the library's walk as it runs: each key it lists, each link that
// holds and each that does not, and the key that makes the walk fail.
#pragma once

#include <ostream>
#include <set>
#include <string>

#include "library/walk_observer.h"

namespace korvane_cli {

class Explainer : public korvane::WalkObserver {
 public:
  Explainer(std::ostream& out, std::string productId) : out_(out), productId_(std::move(productId)) {}

  void UsbKeysListed(std::int32_t count, const korvane::StringList& names) override;
  void InterfaceKeysFound(const std::string& interface0, const std::string& interface1,
                          const std::string& interface2) override;
  void ListingFailed(const std::string& path) override;
  void SerialPortsListed(const korvane::StringList& ports) override;
  void InstancesListed(const std::string& interface0Path, const korvane::StringList& instances) override;
  void PrefixRead(std::string_view instance, const std::string& interface1Instance,
                  const std::string& prefix) override;
  void ModelChecked(std::string_view model, std::int32_t instanceCount, std::string_view match) override;
  void PrinterChecked(std::string_view modelInstance, const std::string& printerKey) override;
  void RecordMade(const korvane::PrinterInfo& record, const std::string& port0Key,
                  const std::string& port2Key) override;

 private:
  // Whether the product is among the vendor's, its name compared as the walk compares names.
  bool IsVendorProduct(std::string_view productId) const;

  std::ostream& out_;
  std::string productId_;
  std::set<std::string> vendorProducts_;  // product ids of the vendor among the USB keys, each once
  std::string prefix_;                    // of the instance being walked
};

}  // namespace korvane_cli
