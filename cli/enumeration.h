// Runs the enumeration through one of the library's four exports and brings
// the result into one form, with every text as UTF-8.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace korvane_cli {

// One device as an export gives it: the library's PrinterInfo, with every
// text as UTF-8.
struct PrinterInfo {
  std::string name;   // UTF-8
  std::string port0;
  std::string port2;
  bool online = false;
};

enum class Export { BufferA, BufferW, CallbackA, CallbackW };

struct Enumeration {
  std::int32_t result = -1;  // the export's result: -1 failure, else the number of devices
  std::vector<PrinterInfo> records;
};

Enumeration Enumerate(const std::string& productId, Export form);

}  // namespace korvane_cli
