// The walk that links each installed instance of the device to its printer
// and its two COM ports.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace korvane {

// One device instance found. Any string may be empty.
struct PrinterInfo {
  std::string name;   // "Name" of the spooler printer
  std::string port0;  // "PortName" of interface 0, at most 6 characters
  std::string port2;  // "PortName" of interface 2, at most 6 characters
  std::int32_t online = 0;  // 1 when port0 is among the serial ports present now
};
using PrinterInfoList = std::vector<PrinterInfo>;

// Appends one record per device instance and printer model found for the
// product id (null counts as empty), ordered by interface-0 instance, then by
// model. Returns false when a key that the walk must list cannot be listed
// (records appended before that stay in the list), or when the product has no
// interface-0 key. The observer hears every step.
class WalkObserver;
bool CollectPrinterInfo(const char* productId, PrinterInfoList& records);
bool CollectPrinterInfo(const char* productId, PrinterInfoList& records, WalkObserver& observer);

}  // namespace korvane
