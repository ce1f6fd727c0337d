/*
 * korvane.h - find the vendor's composite USB devices (one printer interface,
 * two COM-port interfaces) and tell, for each installed instance, its spooler
 * printer name, the COM port names of interfaces 0 and 2, and whether it is
 * connected now. Everything is read from the registry; nothing is written and
 * no device, port or spooler handle is opened.
 *
 * Library: KORVANE.dll, 32-bit Windows. Exports, by these decorated names
 * only, standard call convention (the callee removes the arguments):
 *
 *   ordinal 1  _EnumPrinterInfoA@16
 *   ordinal 2  _EnumPrinterInfoCallbackA@12
 *   ordinal 3  _EnumPrinterInfoCallbackW@12
 *   ordinal 4  _EnumPrinterInfoW@16
 *
 * Link with libkorvane.dll.a (MinGW), or make an import library for other
 * toolchains from korvane.def; or load the DLL at run time and look the
 * entries up by the names above.
 *
 * Errors: every function returns -1 for any failure, else the number of
 * devices found (0 or more). No error code is set, nothing is logged and no
 * message is shown. The library needs no initialisation call.
 *
 * Threads: the functions take no lock and keep no state between calls; calls
 * on several threads at once do not disturb one another, provided that each
 * has its own buffer. Callbacks run on the calling thread.
 *
 * Text: the A functions take and give text in the system's ANSI code page,
 * the W functions UTF-16. Every string in a result is NUL-terminated.
 */
#ifndef KORVANE_H
#define KORVANE_H

#include <stdint.h>

#if defined(_WIN32)
#define KORVANE_CALL __stdcall
typedef wchar_t KorvaneWChar; /* UTF-16 code unit */
#else
/* The host build, used for testing, has no calling-convention keywords. */
#define KORVANE_CALL
#if defined(__cplusplus)
typedef char16_t KorvaneWChar;
#else
typedef uint16_t KorvaneWChar;
#endif
#endif

#ifdef __cplusplus
extern "C" {
#endif

/*
 * One device in a packed result buffer: 16 bytes, every field a little-endian
 * 32-bit value. The three addresses point into the string pool of the same
 * buffer (they are absolute addresses, not offsets): narrow strings in a
 * buffer filled by EnumPrinterInfoA, UTF-16 strings in one filled by
 * EnumPrinterInfoW. An address of 0 stands for an empty string; it occurs only
 * in a W buffer, for a string whose UTF-16 copy could not be made.
 */
typedef struct PackedPrinterInfo {
  const void* name;  /* the spooler printer's name */
  const void* port0; /* COM port name of interface 0, at most 6 characters */
  const void* port2; /* COM port name of interface 2, at most 6 characters */
  int32_t online;    /* 1 when the device is connected now (port0 is present), else 0 */
} PackedPrinterInfo;

/*
 * Buffer forms: EnumPrinterInfoA and EnumPrinterInfoW.
 *
 * productId    The USB product id as text, e.g. "4B31" (NUL-terminated; ANSI
 *              for A, UTF-16 for W). Not NULL. Owned by the caller. It is
 *              matched against the device keys without regard to case and is
 *              neither checked nor changed otherwise.
 * buffer       Where the packed result is written, or NULL to ask for its size.
 *              Owned by the caller; the library keeps no reference to it.
 * bufferSize   Size of buffer in bytes. Not looked at when buffer is NULL.
 * bytesNeeded  Not NULL. Receives the size in bytes of the packed result for
 *              the devices found (0 when there are none) on every call whose
 *              registry walk succeeded; left as the caller set it otherwise.
 *
 * Returns the number of devices written into buffer, or -1 when productId or
 * bytesNeeded is NULL (the registry is not read), when a W productId cannot be
 * converted to the ANSI code page, when the registry walk failed or memory ran
 * out (*bytesNeeded untouched in these cases), when buffer is NULL, or when
 * bufferSize is less than *bytesNeeded (the buffer is then untouched).
 *
 * The packed result, n devices: n PackedPrinterInfo records from offset 0,
 * then the string pool, per device its port0, name and port2 strings, each
 * with its terminator, with no gap. Exactly *bytesNeeded bytes are written;
 * no byte after them is touched. In a W buffer every string starts at an even
 * offset.
 *
 * Two-call protocol (each call walks the registry afresh):
 *
 *   uint32_t needed = 0;
 *   EnumPrinterInfoA("4B31", NULL, 0, &needed);       // returns -1, sets needed
 *   if (needed > 0) {
 *     unsigned char* buffer = malloc(needed);
 *     int32_t n = EnumPrinterInfoA("4B31", buffer, needed, &needed);
 *     const PackedPrinterInfo* devices = (const PackedPrinterInfo*)buffer;
 *     for (int32_t i = 0; i < n; ++i)
 *       printf("%s, %s, %s\n", (const char*)devices[i].name,
 *              (const char*)devices[i].port0, (const char*)devices[i].port2);
 *     free(buffer);
 *   }
 *
 * If a device is plugged in between the two calls, the second returns -1 and
 * puts the new, larger size into *bytesNeeded; call again with that size.
 */
int32_t KORVANE_CALL EnumPrinterInfoA(const char* productId, void* buffer, uint32_t bufferSize,
                                      uint32_t* bytesNeeded);
int32_t KORVANE_CALL EnumPrinterInfoW(const KorvaneWChar* productId, void* buffer, uint32_t bufferSize,
                                      uint32_t* bytesNeeded);

/*
 * Callback forms: the library calls callback once per device, in order, on
 * the calling thread, after the registry walk and before the function returns.
 *
 * name, port0, port2  The device's strings (ANSI for A, UTF-16 for W), never
 *                     NULL (a missing value is an empty string). Owned by the
 *                     library and valid only while the callback runs.
 * online              1 when the device is connected now, else 0.
 * context             The value given to the function, unchanged.
 *
 * The callback returns nonzero to receive the next device, 0 to stop. It may
 * call the library's functions itself.
 */
typedef int32_t(KORVANE_CALL* EnumPrinterInfoProcA)(const char* name, const char* port0, const char* port2,
                                                    int32_t online, uintptr_t context);
typedef int32_t(KORVANE_CALL* EnumPrinterInfoProcW)(const KorvaneWChar* name, const KorvaneWChar* port0,
                                                    const KorvaneWChar* port2, int32_t online, uintptr_t context);

/*
 * productId  As for the buffer forms, except that NULL counts as the empty
 *            product id (which finds nothing).
 * callback   Not NULL.
 * context    Any value; the library never looks at it.
 *
 * Returns the number of devices found, also when the callback stopped early,
 * or -1 when callback is NULL (the registry is not read), or when the registry
 * walk failed or memory ran out (the callback is not called).
 *
 * In the W form, characters of productId that the ANSI code page lacks become
 * its default character before the search; a productId that cannot be
 * converted at all counts as NULL.
 */
int32_t KORVANE_CALL EnumPrinterInfoCallbackA(const char* productId, EnumPrinterInfoProcA callback, uintptr_t context);
int32_t KORVANE_CALL EnumPrinterInfoCallbackW(const KorvaneWChar* productId, EnumPrinterInfoProcW callback,
                                              uintptr_t context);

#ifdef __cplusplus
}
#endif

#endif /* KORVANE_H */
