/* Lists the devices of one product id (default 4B31), one line each, through
 * the two-call protocol of the buffer form. Put KORVANE.dll beside the program.
 *   MinGW:  gcc -I include two_call_example.c lib/libkorvane.dll.a
 *   MSVC:   cl /I include two_call_example.c lib\KORVANE.lib
 * Exit status: 0 devices found, 1 none, 2 the registry walk failed. */
#include <stdio.h>
#include <stdlib.h>

#include "korvane.h"

#define MAX_ATTEMPTS 5

int main(int argc, char** argv) {
  const char* productId = argc > 1 ? argv[1] : "4B31";
  uint32_t needed = 0;
  EnumPrinterInfoA(productId, NULL, 0, &needed); /* size query: returns -1, sets needed */
  for (int attempt = 0; attempt < MAX_ATTEMPTS; ++attempt) {
    uint32_t size = needed; /* 0: no device, or the walk failed; the fill call tells which */
    unsigned char* buffer = malloc(size > 0 ? size : 1);
    if (buffer == NULL) {
      fprintf(stderr, "korvane: out of memory\n");
      return 2;
    }
    int32_t count = EnumPrinterInfoA(productId, buffer, size, &needed);
    const PackedPrinterInfo* devices = (const PackedPrinterInfo*)buffer;
    for (int32_t i = 0; i < count; ++i) {
      printf("%s, %s, %s, %s\n", (const char*)devices[i].name, (const char*)devices[i].port0,
             (const char*)devices[i].port2, devices[i].online ? "OnLine" : "OffLine");
    }
    free(buffer);
    if (count >= 0) {
      if (count == 0) printf("no device\n");
      return count > 0 ? 0 : 1;
    }
    /* -1 with a larger size: a device was plugged in between the calls; call again with it. */
    if (needed <= size) {
      fprintf(stderr, "korvane: the registry walk failed\n");
      return 2;
    }
  }
  fprintf(stderr, "korvane: the devices kept changing; tried %d times\n", MAX_ATTEMPTS);
  return 2;
}
