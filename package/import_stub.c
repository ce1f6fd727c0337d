/* Stand-ins with the signatures of KORVANE.dll's four functions. They are
 * linked into a throw-away DLL only so that lld-link writes, from the
 * exports' .def, the 32-bit import library that names each function as the
 * real DLL exports it. Nothing calls them. */
#include "korvane.h"

int32_t KORVANE_CALL EnumPrinterInfoA(const char* productId, void* buffer, uint32_t bufferSize, uint32_t* bytesNeeded) {
  (void)productId, (void)buffer, (void)bufferSize, (void)bytesNeeded;
  return -1;
}

int32_t KORVANE_CALL EnumPrinterInfoW(const KorvaneWChar* productId, void* buffer, uint32_t bufferSize,
                                      uint32_t* bytesNeeded) {
  (void)productId, (void)buffer, (void)bufferSize, (void)bytesNeeded;
  return -1;
}

int32_t KORVANE_CALL EnumPrinterInfoCallbackA(const char* productId, EnumPrinterInfoProcA callback, uintptr_t context) {
  (void)productId, (void)callback, (void)context;
  return -1;
}

int32_t KORVANE_CALL EnumPrinterInfoCallbackW(const KorvaneWChar* productId, EnumPrinterInfoProcW callback,
                                              uintptr_t context) {
  (void)productId, (void)callback, (void)context;
  return -1;
}
