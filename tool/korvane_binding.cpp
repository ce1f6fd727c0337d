#include "korvane_binding.h"

namespace tarnwell {

bool KorvaneBinding::Bind(WString& error) {
  if (entry_ != nullptr) return true;
  if (module_ == nullptr) module_ = LoadLibraryW(L"KORVANE.dll");
  if (module_ == nullptr) {
    error = L"KORVANE.dll cannot be loaded.";
    return false;
  }
  entry_ = reinterpret_cast<Entry>(reinterpret_cast<void*>(GetProcAddress(module_, "_EnumPrinterInfoA@16")));
  if (entry_ == nullptr) {
    error = L"KORVANE.dll has no entry _EnumPrinterInfoA@16.";
    return false;
  }
  return true;
}

std::int32_t KorvaneBinding::EnumPrinterInfoA(const char* productId, void* buffer, std::uint32_t bufferSize,
                                              std::uint32_t* bytesNeeded) {
  return entry_(productId, buffer, bufferSize, bytesNeeded);
}

}  // namespace tarnwell
