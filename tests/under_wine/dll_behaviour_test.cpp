// The contract of KORVANE.dll's exports under Wine, on the devices.reg
// registry: every rule of the contract checker (export_contract.h) in aligned
// and misaligned buffers, the arguments they refuse, callbacks that call the
// library, the calling convention (the stack pointer is the same after every
// call), eight threads at once, and no growth of handles or task-allocator
// blocks over 10,000 calls.
#include <objbase.h>
#include <windows.h>

#include <string>
#include <vector>

#include "check.h"
#include "common/handles.h"
#include "export_contract.h"
#include "korvane_dll.h"
#include "loaded_exports.h"
#include "leak_probes.h"

namespace {

using wintest::BlockCounter;
using wintest::Korvane;
using wintest::NextHandleValue;

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

// The DLL's entries, for the stack-checking stand-ins below, which the
// contract checker calls in their place.
contract::Exports theEntries;

int32_t __stdcall StackKeptBufferA(const char* id, void* buffer, uint32_t size, uint32_t* needed) {
  int32_t result;
  CHECK_STACK_KEPT(result, theEntries.bufferA(id, buffer, size, needed));
  return result;
}
int32_t __stdcall StackKeptBufferW(const wchar_t* id, void* buffer, uint32_t size, uint32_t* needed) {
  int32_t result;
  CHECK_STACK_KEPT(result, theEntries.bufferW(id, buffer, size, needed));
  return result;
}
int32_t __stdcall StackKeptCallbackA(const char* id, EnumPrinterInfoProcA callback, uintptr_t context) {
  int32_t result;
  CHECK_STACK_KEPT(result, theEntries.callbackA(id, callback, context));
  return result;
}
int32_t __stdcall StackKeptCallbackW(const wchar_t* id, EnumPrinterInfoProcW callback, uintptr_t context) {
  int32_t result;
  CHECK_STACK_KEPT(result, theEntries.callbackW(id, callback, context));
  return result;
}

// The entries, each call of which also checks the stack pointer.
contract::Exports StackChecked(const Korvane& k) {
  theEntries = wintest::LoadedExports(k);
  return contract::Exports{StackKeptBufferA, StackKeptBufferW, StackKeptCallbackA, StackKeptCallbackW};
}
#else
// The 64-bit convention leaves argument removal to the caller.
#define CHECK_STACK_KEPT(result, call) ((result) = (call))
contract::Exports StackChecked(const Korvane& k) { return wintest::LoadedExports(k); }
#endif

// The whole contract of the four exports (export_contract.h) for a product
// with devices, one whose walk fails and one without devices, in aligned and
// misaligned buffers, and the arguments they refuse.
void CheckContract(const Korvane& k) {
  std::printf("the exports' contract\n");
  const contract::Exports exports = StackChecked(k);
  struct Row {
    const char* productId;
    int32_t result;
  };
  for (const Row row : {Row{"4B31", 2}, Row{"FFFF", -1}, Row{"4B61", 0}}) {
    for (const std::size_t misalign : std::initializer_list<std::size_t>{0, 1, 3}) {
      const check::ScopedCase named(std::string(row.productId) + ", misaligned by " + std::to_string(misalign));
      contract::Options options;
      options.misalign = misalign;
      const auto enumeration = contract::EnumerateAll(exports, row.productId, options);
      CHECK_NO_FAULTS(contract::Faults(enumeration));
      CHECK_EQ(enumeration.bufferA.result, row.result);
    }
  }
  const check::ScopedCase named("null arguments");
  CHECK_NO_FAULTS(contract::ArgumentFaults(exports, "4B31"));
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

// A callback may call the library itself (a callback stopping early, a null
// callback and a null product id are the contract's, above).
void CheckNestedCalls(const Korvane& k) {
  std::printf("callbacks that call the library\n");
  CallbackLog log;
  log.korvane = &k;
  int32_t result;
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

// Product 4B31's A buffer as the README's caller gets it (the size query,
// then one fill), decoded, with any fault the contract checker finds in it:
// to compare the threads' results.
std::string Snapshot(const Korvane& k) {
  contract::Options twoCalls;
  twoCalls.stable = false;
  const auto outcome = contract::BufferA(wintest::LoadedExports(k), "4B31", twoCalls);
  std::string text = std::to_string(outcome.result) + " " + contract::Describe(outcome.records);
  for (const auto& fault : outcome.faults) text += "; " + fault;
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
  CHECK_STR(expected, "2 " + contract::Describe(contract::Narrow("Receipt Printer A", "COM3", "COM4", 1)) + " " +
                          contract::Describe(contract::Narrow("Receipt Printer B", "COM7", "COM8", 0)) + " ");
  std::vector<ThreadWork> work(8, ThreadWork{&k, expected});
  std::vector<common::UniqueKernelHandle> threads;
  std::vector<HANDLE> waitFor;
  for (auto& w : work) {
    threads.emplace_back(CreateThread(nullptr, 0, HammerExports, &w, 0, nullptr));
    if (CHECK(threads.back())) waitFor.push_back(threads.back().get());
  }
  WaitForMultipleObjects(static_cast<DWORD>(waitFor.size()), waitFor.data(), TRUE, INFINITE);
  int calls = 0;
  for (const auto& w : work) {
    CHECK_EQ(w.mismatches, 0);
    calls += w.calls;
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
  common::UniqueKernelHandle held(CreateEventA(nullptr, FALSE, FALSE, nullptr));  // the probe must notice it
  CHECK(NextHandleValue() != handleBefore);
  held.reset();
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
  if (!CHECK(korvane.Load())) return check::Finish();
  static BlockCounter spy;
  const bool spying = CHECK(SUCCEEDED(CoRegisterMallocSpy(&spy)));
  CheckContract(korvane);
  CheckNestedCalls(korvane);
#if defined(__i386__)
  CheckTheStackCheckWorks(korvane);
#endif
  CheckThreads(korvane);
  if (spying) CheckNothingGrows(korvane, spy);
  return check::Finish();
}
