// Owners for the handles of the Windows API (or of the host stand-in): a
// registry key and a block of the COM task allocator; in the Windows build
// also a kernel object handle.
#pragma once

#include <objbase.h>
#include <windows.h>

#include "common/unique_handle.h"

namespace common {

inline void CloseKey(HKEY key) noexcept { RegCloseKey(key); }
using UniqueKey = UniqueHandle<HKEY, CloseKey>;

template <typename T>
void FreeTaskMem(T* block) noexcept {
  CoTaskMemFree(block);
}
template <typename T>
using UniqueTaskMem = UniqueHandle<T*, FreeTaskMem<T>>;

#if defined(_WIN32)
inline void CloseKernelHandle(HANDLE handle) noexcept { CloseHandle(handle); }
using UniqueKernelHandle = UniqueHandle<HANDLE, CloseKernelHandle>;
#endif

}  // namespace common
