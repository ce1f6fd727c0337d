// The COM task allocator, counted so that tests can prove every block is freed.
#include <cstdlib>

#include "internal.h"

LPVOID WINAPI CoTaskMemAlloc(SIZE_T bytes) {
  if (!winhost::detail::TakeTaskMemAlloc()) return nullptr;
  void* block = std::malloc(bytes == 0 ? 1 : bytes);
  if (block != nullptr) winhost::detail::CountTaskMemBlock(+1);
  return block;
}

void WINAPI CoTaskMemFree(LPVOID block) {
  if (block == nullptr) return;
  winhost::detail::CountTaskMemBlock(-1);
  std::free(block);
}
