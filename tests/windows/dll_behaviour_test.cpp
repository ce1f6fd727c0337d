// The contract of KORVANE.dll's exports under Wine, on the devices.reg
// registry: every row of the failure tables, the callbacks, the calling
// convention (the stack pointer is the same after every call), eight threads
// at once, and no growth of handles or task-allocator blocks over 10,000 calls.
#include <objbase.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "check.h"
#include "korvane_dll.h"
#include "leak_probes.h"

namespace {

using wintest::BlockCounter;
using wintest::Korvane;
using wintest::NextHandleValue;

constexpr unsigned char kSentinel = 0xA5;
constexpr uint32_t kUntouched = 0xDEADBEEF;

#if defined(__i386__)
// Reads ESP right before and right after the call: a callee that removes the
// wrong number of argument bytes leaves it changed.
#define CHECK_STACK_KEPT(result, call)                          \
  do {                                                          \
    uintptr_t espBefore;                                        \
    uintptr_t espAfter;                                         \
    asm volatile("movl %%esp, %0" : "=r"(espBefore)::"memory"); \
    (result) = (call);                                          \
    asm volatile("movl %%esp, %0" : "=r"(espAfter)::"memory");  \
    CHECK_EQ(espAfter, espBefore);                              \
  } while (0)
#else
// The 64-bit convention leaves argument removal to the caller.
#define CHECK_STACK_KEPT(result, call) ((result) = (call))
#endif

void CheckBufferProtocol(const Korvane& k) {
  // The same rows for both variants; W ids are wide copies of these.
  struct Variant {
    const char* name;
    bool wide;
  };
  for (const Variant variant : {Variant{"A", false}, Variant{"W", true}}) {
    std::printf("buffer protocol, %s\n", variant.name);
    auto call = [&](const char* id, void* buffer, uint32_t size, uint32_t* needed) {
      int32_t result;
      if (variant.wide) {
        const std::wstring wide = id == nullptr ? std::wstring() : std::wstring(id, id + std::strlen(id));
        CHECK_STACK_KEPT(result, k.bufferW(id == nullptr ? nullptr : wide.c_str(), buffer, size, needed));
      } else {
        CHECK_STACK_KEPT(result, k.bufferA(id, buffer, size, needed));
      }
      return result;
    };
    uint32_t needed = kUntouched;
    CHECK_EQ(call(nullptr, nullptr, 0, &needed), -1);
    CHECK_EQ(needed, kUntouched);
    std::vector<unsigned char> small(8, kSentinel);
    CHECK_EQ(call("4B31", small.data(), 8, nullptr), -1);
    CHECK_EQ(call("FFFF", nullptr, 0, &needed), -1);  // the walk fails
    CHECK_EQ(needed, kUntouched);

    CHECK_EQ(call("4B31", nullptr, 0, &needed), -1);  // size query
    const uint32_t size = needed;
    CHECK(size > 32 && size != kUntouched);
    std::vector<unsigned char> buffer(size + 8, kSentinel);
    needed = 0;
    CHECK_EQ(call("4B31", buffer.data(), size - 1, &needed), -1);  // one byte short
    CHECK_EQ(needed, size);
    bool untouched = true;
    for (const unsigned char b : buffer) untouched = untouched && b == kSentinel;
    CHECK(untouched);
    CHECK_EQ(call("4B31", buffer.data(), size, &needed), 2);  // exactly enough
    CHECK_EQ(buffer[size - 1], 0);
    CHECK_EQ(buffer[size], kSentinel);

    CHECK_EQ(call("4B61", nullptr, 0, &needed), -1);  // no device
    CHECK_EQ(needed, 0u);
    unsigned char none = kSentinel;
    CHECK_EQ(call("4B61", &none, 0, &needed), 0);
    CHECK_EQ(none, kSentinel);
  }
}

struct CallbackLog {
  int calls = 0;
  int stopAfter = 1000;
  const Korvane* korvane = nullptr;
  std::vector<uint32_t> nestedSizes;
};

int32_t __stdcall CountA(const char*, const char*, const char*, int32_t, uintptr_t context) {
  auto* log = reinterpret_cast<CallbackLog*>(context);
  return ++log->calls < log->stopAfter ? 1 : 0;
}

int32_t __stdcall ContinueW(const wchar_t*, const wchar_t*, const wchar_t*, int32_t, uintptr_t) { return 1; }

int32_t __stdcall NestedW(const wchar_t* name, const wchar_t*, const wchar_t*, int32_t, uintptr_t context) {
  auto* log = reinterpret_cast<CallbackLog*>(context);
  uint32_t needed = 0;
  log->korvane->bufferA("4B52", nullptr, 0, &needed);
  log->nestedSizes.push_back(needed);
  CHECK(name != nullptr);
  return 1;
}

void CheckCallbacks(const Korvane& k) {
  std::printf("callbacks\n");
  CallbackLog log;
  int32_t result;
  log.stopAfter = 1;
  CHECK_STACK_KEPT(result, k.callbackA("4B31", CountA, reinterpret_cast<uintptr_t>(&log)));
  CHECK_EQ(result, 2);  // the full count, although the callback stopped at once
  CHECK_EQ(log.calls, 1);
  CHECK_STACK_KEPT(result, k.callbackA("4B31", nullptr, 0));
  CHECK_EQ(result, -1);
  CHECK_STACK_KEPT(result, k.callbackW(L"4B31", nullptr, 0));
  CHECK_EQ(result, -1);
  log = CallbackLog{};
  CHECK_STACK_KEPT(result, k.callbackA(nullptr, CountA, reinterpret_cast<uintptr_t>(&log)));
  CHECK_EQ(result, -1);  // the empty product id finds no device keys here
  CHECK_EQ(log.calls, 0);
  log = CallbackLog{};
  log.korvane = &k;
  CHECK_STACK_KEPT(result, k.callbackW(L"4B31", NestedW, reinterpret_cast<uintptr_t>(&log)));
  CHECK_EQ(result, 2);
  CHECK_EQ(log.nestedSizes.size(), 2u);
  CHECK(log.nestedSizes.size() == 2 && log.nestedSizes[0] > 0 && log.nestedSizes[0] == log.nestedSizes[1]);
}

#if defined(__i386__)
// Calls an entry through a type that pushes one argument too many: the check
// must see the stack pointer move, or it could not catch a wrong byte count.
using WrongCallbackA = int32_t(__stdcall*)(const char*, EnumPrinterInfoProcA, uintptr_t, uint32_t);

__attribute__((noinline)) void CheckTheStackCheckWorks(const Korvane& k) {
  const auto wrong = reinterpret_cast<WrongCallbackA>(reinterpret_cast<void*>(k.callbackA));
  uintptr_t espBefore;
  uintptr_t espAfter;
  asm volatile("movl %%esp, %0" : "=r"(espBefore)::"memory");
  wrong("4B31", nullptr, 0, 0);
  asm volatile("movl %%esp, %0" : "=r"(espAfter)::"memory");
  CHECK_EQ(espBefore - espAfter, 4u);
  asm volatile("addl $4, %%esp" ::: "memory");  // remove the argument the callee left
}
#endif

// Decoded A-buffer lines for product 4B31, to compare the threads' results.
std::string Snapshot(const Korvane& k) {
  uint32_t needed = 0;
  k.bufferA("4B31", nullptr, 0, &needed);
  std::vector<unsigned char> buffer(needed);
  const int32_t count = k.bufferA("4B31", buffer.data(), needed, &needed);
  std::string text = std::to_string(count);
  for (int32_t i = 0; i < count; ++i) {
    PackedPrinterInfo record;
    std::memcpy(&record, buffer.data() + sizeof record * static_cast<std::size_t>(i), sizeof record);
    text += std::string("|") + static_cast<const char*>(record.name) + "," + static_cast<const char*>(record.port0) +
            "," + static_cast<const char*>(record.port2) + "," + std::to_string(record.online);
  }
  return text;
}

struct ThreadWork {
  const Korvane* korvane;
  std::string expected;
  int calls = 0;
  int mismatches = 0;
};

DWORD WINAPI HammerExports(void* parameter) {
  auto* work = static_cast<ThreadWork*>(parameter);
  const Korvane& k = *work->korvane;
  for (int i = 0; i < 150; ++i) {
    if (Snapshot(k) != work->expected) ++work->mismatches;
    uint32_t needed = 0;
    if (k.bufferW(L"4B31", nullptr, 0, &needed) != -1 || needed == 0) ++work->mismatches;
    CallbackLog log;
    if (k.callbackA("4B31", CountA, reinterpret_cast<uintptr_t>(&log)) != 2 || log.calls != 2) ++work->mismatches;
    log = CallbackLog{};
    log.korvane = &k;
    if (k.callbackW(L"4B52", NestedW, reinterpret_cast<uintptr_t>(&log)) != 2) ++work->mismatches;
    work->calls += 6 + 2;  // the snapshot's two calls, the others, and the nested ones
  }
  return 0;
}

void CheckThreads(const Korvane& k) {
  std::printf("eight threads\n");
  const std::string expected = Snapshot(k);
  CHECK(expected.rfind("2|", 0) == 0);
  std::vector<ThreadWork> work(8, ThreadWork{&k, expected});
  std::vector<HANDLE> threads;
  for (auto& w : work) threads.push_back(CreateThread(nullptr, 0, HammerExports, &w, 0, nullptr));
  WaitForMultipleObjects(static_cast<DWORD>(threads.size()), threads.data(), TRUE, INFINITE);
  int calls = 0;
  for (std::size_t i = 0; i < threads.size(); ++i) {
    CloseHandle(threads[i]);
    CHECK_EQ(work[i].mismatches, 0);
    calls += work[i].calls;
  }
  std::printf("  %d calls on 8 threads, results identical\n", calls);
}

BlockCounter* theSpy = nullptr;
LONG blocksSeenInCallback = -1;

int32_t __stdcall NoteBlocksW(const wchar_t*, const wchar_t*, const wchar_t*, int32_t, uintptr_t) {
  blocksSeenInCallback = theSpy->outstanding;
  return 1;
}

void CheckTheSpyCounts(BlockCounter& spy, const Korvane& k) {
  const LONG before = spy.outstanding;
  void* block = CoTaskMemAlloc(16);
  CHECK_EQ(spy.outstanding, before + 1);
  CoTaskMemFree(block);
  CHECK_EQ(spy.outstanding, before);
  // While a W callback runs, the library's UTF-16 copies (three per device) are outstanding.
  theSpy = &spy;
  k.callbackW(L"4B31", NoteBlocksW, 0);
  CHECK(blocksSeenInCallback >= before + 6);
  CHECK_EQ(spy.outstanding, before);
}

void CheckNothingGrows(const Korvane& k, BlockCounter& spy) {
  std::printf("10,000 calls\n");
  CheckTheSpyCounts(spy, k);
  const uintptr_t handleBefore = NextHandleValue();
  const HANDLE held = CreateEventA(nullptr, FALSE, FALSE, nullptr);  // the probe must notice a held handle
  CHECK(NextHandleValue() != handleBefore);
  CloseHandle(held);
  DWORD handlesBefore = 0;
  GetProcessHandleCount(GetCurrentProcess(), &handlesBefore);
  const LONG blocksBefore = spy.outstanding;
  CallbackLog log;
  for (int i = 0; i < 2500; ++i) {
    uint32_t needed = 0;
    k.bufferW(L"4B31", nullptr, 0, &needed);  // size query: copies made and released
    std::vector<unsigned char> buffer(needed);
    k.bufferW(L"4B31", buffer.data(), needed, &needed);
    k.callbackW(L"4B31", ContinueW, 0);
    k.bufferW(L"FFFF", nullptr, 0, &needed);
  }
  DWORD handlesAfter = 0;
  GetProcessHandleCount(GetCurrentProcess(), &handlesAfter);
  const uintptr_t handleAfter = NextHandleValue();
  CHECK_EQ(handlesAfter, handlesBefore);
  CHECK_EQ(handleAfter, handleBefore);
  CHECK_EQ(spy.outstanding, blocksBefore);
  std::printf("  handle count %lu -> %lu, next handle value %#lx -> %#lx, task-allocator blocks outstanding %ld -> %ld\n",
              static_cast<unsigned long>(handlesBefore), static_cast<unsigned long>(handlesAfter),
              static_cast<unsigned long>(handleBefore), static_cast<unsigned long>(handleAfter),
              static_cast<long>(blocksBefore), static_cast<long>(spy.outstanding));
}

}  // namespace

int main() {
  Korvane korvane;
  if (!CHECK(korvane.Load())) return wintest::Finish();
  static BlockCounter spy;
  const bool spying = CHECK(SUCCEEDED(CoRegisterMallocSpy(&spy)));
  CheckBufferProtocol(korvane);
  CheckCallbacks(korvane);
#if defined(__i386__)
  CheckTheStackCheckWorks(korvane);
#endif
  CheckThreads(korvane);
  if (spying) CheckNothingGrows(korvane, spy);
  return wintest::Finish();
}
