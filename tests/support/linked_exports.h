// The four exports as linked into the program: the library itself on the
// host, KORVANE.dll through its import library on Windows.
#pragma once

#include "export_contract.h"
#include "korvane.h"

namespace contract {

inline Exports LinkedExports() {
  return Exports{EnumPrinterInfoA, EnumPrinterInfoW, EnumPrinterInfoCallbackA, EnumPrinterInfoCallbackW};
}

}  // namespace contract
