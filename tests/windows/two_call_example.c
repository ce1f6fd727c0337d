/* The README's example of the two-call protocol, compiled and run by the tests:
 * list the devices of one product id, one line each. */
#include <stdio.h>
#include <stdlib.h>

#include "korvane.h"

int main(int argc, char** argv) {
  const char* productId = argc > 1 ? argv[1] : "4B31";
  uint32_t needed = 0;
  EnumPrinterInfoA(productId, NULL, 0, &needed); /* size query: returns -1 */
  if (needed == 0) {
    printf("no device\n");
    return 1;
  }
  unsigned char* buffer = malloc(needed);
  if (buffer == NULL) return 2;
  int32_t count = EnumPrinterInfoA(productId, buffer, needed, &needed);
  const PackedPrinterInfo* devices = (const PackedPrinterInfo*)buffer;
  for (int32_t i = 0; i < count; ++i) {
    printf("%s, %s, %s, %s\n", (const char*)devices[i].name, (const char*)devices[i].port0,
           (const char*)devices[i].port2, devices[i].online ? "OnLine" : "OffLine");
  }
  free(buffer);
  return count > 0 ? 0 : 1;
}
