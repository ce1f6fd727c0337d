/* Lists the devices of one product id (default 4B31), one line each, through
 * the two-call protocol of the buffer form. Put KORVANE.dll beside the program.
 *   MinGW:  gcc -I include two_call_example.c lib/libkorvane.dll.a
 *   MSVC:   cl /I include two_call_example.c lib\KORVANE.lib */
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
  if (count < 0) printf("the devices changed between the two calls, or the registry walk failed\n");
  const PackedPrinterInfo* devices = (const PackedPrinterInfo*)buffer;
  for (int32_t i = 0; i < count; ++i) {
    printf("%s, %s, %s, %s\n", (const char*)devices[i].name, (const char*)devices[i].port0,
           (const char*)devices[i].port2, devices[i].online ? "OnLine" : "OffLine");
  }
  free(buffer);
  return count > 0 ? 0 : 1;
}
