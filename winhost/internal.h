// Process-wide state of the stand-in, shared by its API files.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>

#include "winhost/system.h"

namespace winhost::detail {

constexpr std::uint32_t kAllAccess = 0xF003F;

// What a key handle refers to. It keeps its registry alive, as a handle keeps
// a key object alive on the platform even after the key was deleted.
struct OpenKey {
  std::shared_ptr<Registry> registry;
  KeyPtr key;
  std::uint32_t access = 0;
};

bool IsPredefined(HKEY key);
// Resolves a predefined or opened handle; false for anything else.
bool ResolveHandle(HKEY key, OpenKey& out);
HKEY AddHandle(OpenKey open);
bool RemoveHandle(HKEY key);

void CountCall(Call call);
void CountTaskMemBlock(long delta);
// False once FailTaskMemAllocAfter has used up its successes.
bool TakeTaskMemAlloc();
bool Tracing();
void Record(TraceEntry entry);

// Reads a code page's tables, or opens its converters, once now, so that a
// converter iconv lacks fails SetAnsiCodePage rather than a later call.
void LoadCodePage(unsigned codePage);

}  // namespace winhost::detail
