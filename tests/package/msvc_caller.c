/* A caller built the way an MSVC project builds one: compiled for the MSVC
 * target, linked by an MSVC-style linker against the package's KORVANE.lib,
 * with no C runtime at all (so that none is needed to prove the link). It
 * lists the devices of product 4B31 through the W export, one line each,
 * as UTF-8, and exits with the number of devices, or 255 on failure. */
#include <stddef.h>
#include <stdint.h>

#include "korvane.h"

/* The few kernel32 functions it needs, declared by hand: no Windows SDK here. */
typedef void* HANDLE;
#define STD_OUTPUT_HANDLE ((uint32_t)-11)
#define CP_UTF8 65001u
__declspec(dllimport) HANDLE __stdcall GetStdHandle(uint32_t which);
__declspec(dllimport) int __stdcall WriteFile(HANDLE file, const void* data, uint32_t size, uint32_t* written,
                                              void* overlapped);
__declspec(dllimport) HANDLE __stdcall GetProcessHeap(void);
__declspec(dllimport) void* __stdcall HeapAlloc(HANDLE heap, uint32_t flags, size_t bytes);
__declspec(dllimport) int __stdcall HeapFree(HANDLE heap, uint32_t flags, void* block);
__declspec(dllimport) int __stdcall WideCharToMultiByte(uint32_t codePage, uint32_t flags, const wchar_t* text,
                                                        int units, char* out, int bytes, const char* defaultChar,
                                                        int* usedDefault);
__declspec(dllimport) void __stdcall ExitProcess(uint32_t code);

static void Write(const char* text, int bytes) {
  uint32_t written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text, (uint32_t)bytes, &written, NULL);
}

static void WriteWide(const wchar_t* text) {
  char utf8[1024];
  int bytes = text != NULL ? WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, (int)sizeof utf8, NULL, NULL) : 0;
  if (bytes > 1) Write(utf8, bytes - 1);
}

/* No runtime: this is the entry point, and it ends the process itself. */
void mainCRTStartup(void) {
  uint32_t needed = 0;
  EnumPrinterInfoW(L"4B31", NULL, 0, &needed);
  void* buffer = HeapAlloc(GetProcessHeap(), 0, needed > 0 ? needed : 1);
  int32_t count = buffer != NULL ? EnumPrinterInfoW(L"4B31", buffer, needed, &needed) : -1;
  const PackedPrinterInfo* devices = (const PackedPrinterInfo*)buffer;
  for (int32_t i = 0; i < count; ++i) {
    WriteWide((const wchar_t*)devices[i].name);
    Write(", ", 2);
    WriteWide((const wchar_t*)devices[i].port0);
    Write(", ", 2);
    WriteWide((const wchar_t*)devices[i].port2);
    Write(devices[i].online ? ", OnLine\n" : ", OffLine\n", devices[i].online ? 9 : 10);
  }
  if (buffer != NULL) HeapFree(GetProcessHeap(), 0, buffer);
  ExitProcess(count < 0 ? 255u : (uint32_t)count);
}
