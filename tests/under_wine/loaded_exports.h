// The entries of KORVANE.dll loaded by name (korvane_dll.h), for the contract
// checker.
#pragma once

#include "export_contract.h"
#include "korvane_dll.h"

namespace wintest {

inline contract::Exports LoadedExports(const Korvane& korvane) {
  return contract::Exports{korvane.bufferA, korvane.bufferW, korvane.callbackA, korvane.callbackW};
}

}  // namespace wintest
