// EnumPrinterInfoA of KORVANE.dll, loaded by file name at the first use. The
// library then stays loaded until the program ends.
#pragma once

#include <windows.h>

#include "korvane.h"
#include "tester.h"

namespace tarnwell {

class KorvaneBinding : public Library {
 public:
  bool Bind(WString& error) override;
  std::int32_t EnumPrinterInfoA(const char* productId, void* buffer, std::uint32_t bufferSize,
                                std::uint32_t* bytesNeeded) override;

 private:
  using Entry = std::int32_t(KORVANE_CALL*)(const char*, void*, std::uint32_t, std::uint32_t*);
  HMODULE module_ = nullptr;  // never freed: the entry stays in use for the program's life
  Entry entry_ = nullptr;
};

}  // namespace tarnwell
