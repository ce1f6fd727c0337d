// Loads KORVANE.dll by file name and finds its four entries by their
// decorated export names, as callers in other languages do.
#pragma once

#include <windows.h>

#include "korvane.h"

namespace wintest {

using EnumBufferA = int32_t(__stdcall*)(const char*, void*, uint32_t, uint32_t*);
using EnumBufferW = int32_t(__stdcall*)(const wchar_t*, void*, uint32_t, uint32_t*);
using EnumCallbackA = int32_t(__stdcall*)(const char*, EnumPrinterInfoProcA, uintptr_t);
using EnumCallbackW = int32_t(__stdcall*)(const wchar_t*, EnumPrinterInfoProcW, uintptr_t);

struct Korvane {
  HMODULE module = nullptr;
  EnumBufferA bufferA = nullptr;
  EnumBufferW bufferW = nullptr;
  EnumCallbackA callbackA = nullptr;
  EnumCallbackW callbackW = nullptr;

  bool Load() {
    module = LoadLibraryA("KORVANE.dll");
    if (module == nullptr) return false;
    bufferA = reinterpret_cast<EnumBufferA>(reinterpret_cast<void*>(GetProcAddress(module, "_EnumPrinterInfoA@16")));
    bufferW = reinterpret_cast<EnumBufferW>(reinterpret_cast<void*>(GetProcAddress(module, "_EnumPrinterInfoW@16")));
    callbackA = reinterpret_cast<EnumCallbackA>(
        reinterpret_cast<void*>(GetProcAddress(module, "_EnumPrinterInfoCallbackA@12")));
    callbackW = reinterpret_cast<EnumCallbackW>(
        reinterpret_cast<void*>(GetProcAddress(module, "_EnumPrinterInfoCallbackW@12")));
    return bufferA != nullptr && bufferW != nullptr && callbackA != nullptr && callbackW != nullptr;
  }
};

}  // namespace wintest
