// What the Windows test programs use to see that KORVANE.dll leaves nothing
// behind: a spy on the task allocator, and the value of the next handle.
#pragma once

#include <objbase.h>
#include <windows.h>

#include <cstdint>

namespace wintest {

// A task-allocator spy that counts blocks allocated and not yet freed.
class BlockCounter : public IMallocSpy {
 public:
  LONG outstanding = 0;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IMallocSpy)) {
      *object = this;
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  SIZE_T STDMETHODCALLTYPE PreAlloc(SIZE_T request) override { return request; }
  void* STDMETHODCALLTYPE PostAlloc(void* actual) override {
    if (actual != nullptr) InterlockedIncrement(&outstanding);
    return actual;
  }
  void* STDMETHODCALLTYPE PreFree(void* request, BOOL spyed) override {
    if (request != nullptr && spyed) InterlockedDecrement(&outstanding);
    return request;
  }
  void STDMETHODCALLTYPE PostFree(BOOL) override {}
  SIZE_T STDMETHODCALLTYPE PreRealloc(void* request, SIZE_T size, void** newRequest, BOOL) override {
    *newRequest = request;
    return size;
  }
  void* STDMETHODCALLTYPE PostRealloc(void* actual, BOOL) override { return actual; }
  void* STDMETHODCALLTYPE PreGetSize(void* request, BOOL) override { return request; }
  SIZE_T STDMETHODCALLTYPE PostGetSize(SIZE_T actual, BOOL) override { return actual; }
  void* STDMETHODCALLTYPE PreDidAlloc(void* request, BOOL) override { return request; }
  int STDMETHODCALLTYPE PostDidAlloc(void*, BOOL, int actual) override { return actual; }
  void STDMETHODCALLTYPE PreHeapMinimize() override {}
  void STDMETHODCALLTYPE PostHeapMinimize() override {}
};

// The value of a new handle: the platform hands out the lowest free slot, so
// a handle leaked in between shows as a higher value.
inline uintptr_t NextHandleValue() {
  const HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  CloseHandle(event);
  return reinterpret_cast<uintptr_t>(event);
}

}  // namespace wintest
