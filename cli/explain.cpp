#include "explain.h"

#include <algorithm>

#include "common/ansi.h"
#include "common/key_names.h"
#include "library/interface_keys.h"
#include "library/registry_paths.h"

namespace korvane_cli {
namespace {

namespace paths = korvane::paths;

// Registry text (ANSI code page) as UTF-8, quoted.
std::string Text(std::string_view text) { return common::AnsiToUtf8(text); }
std::string Quoted(std::string_view text) { return "\"" + Text(text) + "\""; }

// The product id in a key name "Vid_7c1f&Pid_XXXX&MI_0n", if it is one of the vendor's.
std::string VendorProductId(std::string_view keyName) {
  const std::string start = std::string(paths::kVendorPart) + paths::kVendorId + paths::kProductPart;
  if (!common::StartsWithKeyName(keyName, start)) return std::string();
  const auto end = keyName.find('&', start.size());
  return std::string(keyName.substr(start.size(), end == std::string_view::npos ? std::string_view::npos : end - start.size()));
}

std::string Joined(const korvane::StringList& items) {
  std::string text;
  for (const auto item : items) text += (text.empty() ? "" : ", ") + Text(item);
  return text.empty() ? "none" : text;
}

}  // namespace

void Explainer::UsbKeysListed(std::int32_t count, const korvane::StringList& names) {
  if (count < 0) {
    out_ << paths::kUsbDevices << " cannot be listed: the walk fails here.\n";
    return;
  }
  out_ << paths::kUsbDevices << ": " << count << " device keys.\n";
  if (count == 0) out_ << "  It holds no device: the walk fails here.\n";
  for (const auto name : names) {
    const auto product = VendorProductId(name);
    if (!product.empty() && !IsVendorProduct(product)) vendorProducts_.insert(product);
  }
}

void Explainer::InterfaceKeysFound(const std::string& interface0, const std::string& interface1,
                                   const std::string& interface2) {
  const std::string* paths[] = {&interface0, &interface1, &interface2};
  for (int i = 0; i < 3; ++i) {
    out_ << "Interface " << i << " key: ";
    if (paths[i]->empty()) {
      out_ << "none named " << korvane::InterfaceKeyName(productId_, i) << " (compared without regard to case).\n";
    } else {
      out_ << Text(*paths[i]) << "\n";
    }
  }
  if (!interface0.empty()) return;
  out_ << "Without the interface 0 key there is no device to find: the walk fails here.\n";
  out_ << "Product ids of this vendor in the registry: ";
  if (vendorProducts_.empty()) out_ << "none";
  std::string separator;
  for (const auto& product : vendorProducts_) {
    out_ << separator << Text(product);
    separator = ", ";
  }
  out_ << "\n";
  if (IsVendorProduct(productId_)) {
    out_ << "  " << Text(productId_) << " is among them: the registry knows the device, but not its interface 0.\n";
  }
}

bool Explainer::IsVendorProduct(std::string_view productId) const {
  return std::any_of(vendorProducts_.begin(), vendorProducts_.end(),
                     [&](const std::string& product) { return common::SameKeyName(product, productId); });
}

void Explainer::ListingFailed(const std::string& path) {
  out_ << "Cannot list " << Text(path) << ": the walk fails here.\n";
  if (path == paths::kSerialPorts) {
    out_ << "  This key exists only while Windows runs, so an export of an offline hive lacks it.\n"
            "  Take it from the running machine:\n"
            "    reg export HKLM\\HARDWARE\\DEVICEMAP\\SERIALCOMM serialcomm.reg\n";
  }
}

void Explainer::SerialPortsListed(const korvane::StringList& ports) {
  out_ << "Serial ports present now (" << paths::kSerialPorts << "): " << Joined(ports) << "\n";
}

void Explainer::InstancesListed(const std::string& interface0Path, const korvane::StringList& instances) {
  out_ << "Instances under " << Text(interface0Path) << ": " << instances.size() << "\n";
  if (instances.empty()) out_ << "  No device of this product has been installed.\n";
}

void Explainer::PrefixRead(std::string_view instance, const std::string& interface1Instance,
                           const std::string& prefix) {
  prefix_ = prefix;
  out_ << "Instance " << Text(instance) << ":\n";
  if (prefix.empty()) {
    out_ << "  No " << Quoted(paths::kParentIdPrefix) << " at " << Text(interface1Instance)
         << ", so no printer can be linked to this instance.\n";
  } else {
    out_ << "  " << Quoted(paths::kParentIdPrefix) << " at " << Text(interface1Instance) << ", first " << paths::kPrefixLength
         << " characters: " << Quoted(prefix)
         << "\n";
  }
}

void Explainer::ModelChecked(std::string_view model, std::int32_t instanceCount, std::string_view match) {
  out_ << "  USBPRINT model " << Text(model) << " (" << instanceCount << " instances): ";
  if (match.empty()) {
    out_ << "none begins with " << Quoted(prefix_) << "\n";
  } else {
    out_ << Text(match) << " begins with the prefix\n";
  }
}

void Explainer::PrinterChecked(std::string_view modelInstance, const std::string& printerKey) {
  const std::size_t length = paths::kPortLength;
  const std::string_view port =
      modelInstance.size() <= length ? modelInstance : modelInstance.substr(modelInstance.size() - length);
  if (printerKey.empty()) {
    out_ << "    no printer's " << Quoted(paths::kPrinterPort) << " begins with " << Quoted(port) << ", so no device is reported for this model\n";
  } else {
    out_ << "    printer " << Text(printerKey) << ": its " << Quoted(paths::kPrinterPort) << " begins with " << Quoted(port) << "\n";
  }
}

void Explainer::RecordMade(const korvane::PrinterInfo& record, const std::string& port0Key,
                           const std::string& port2Key) {
  out_ << "    " << Quoted(paths::kPortName) << " of interface 0 (" << Text(port0Key) << "): " << Quoted(record.port0) << "\n";
  out_ << "    " << Quoted(paths::kPortName) << " of interface 2 (" << Text(port2Key) << "): " << Quoted(record.port2) << "\n";
  out_ << "    " << (record.online != 0 ? "online: " : "offline: ") << Quoted(record.port0)
       << (record.online != 0 ? " is" : " is not") << " among the serial ports present\n";
  out_ << "    found: " << Quoted(record.name) << "\n";
}

}  // namespace korvane_cli
