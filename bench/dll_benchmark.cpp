// Times EnumPrinterInfoA of KORVANE.dll against a bare replay of the very
// registry calls that it makes, so that the library's own overhead shows as a
// ratio. Meant for the large generated registry that bench/run_wine_benchmark.sh
// imports; it prints figures and checks none of them.
//
//   dll_benchmark [--rounds N] [PRODUCT_ID]      (default 60 rounds of each, 4B31)
//
// Rounds of call pairs and of replays alternate (see interleaved.h); each round
// is one call pair or one replay, which under Wine takes most of a second.
//
// The calls are learnt by pointing the DLL's import-table entries for its
// ADVAPI32 registry functions at recording wrappers for one size query and
// one fill call; the entries are restored before anything is timed.
//
// Exit status: 0 figures printed; 1 the DLL could not be loaded or patched,
// no device was found, or a replay or a timed call pair did not give the
// recorded results; 64 usage error.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "interleaved.h"
#include "korvane.h"

namespace {

// KORVANE.dll loaded by file name from the program's folder, as callers in
// other languages load it, with its A buffer entry found by its export name.
struct Korvane {
  HMODULE module = nullptr;
  decltype(&EnumPrinterInfoA) bufferA = nullptr;

  bool Load() {
    module = LoadLibraryA("KORVANE.dll");
    if (module == nullptr) return false;
    bufferA = reinterpret_cast<decltype(&EnumPrinterInfoA)>(
        reinterpret_cast<void*>(GetProcAddress(module, "_EnumPrinterInfoA@16")));
    return bufferA != nullptr;
  }
};

// ---------------------------------------------------------------------------
// Import-table patch

// Points a loaded module's import-table entries for some functions of one DLL
// at replacements for as long as it lives; the destructor puts the original
// addresses back.
class ImportPatch {
 public:
  struct Hook {
    const char* name;       // the imported function's name
    ULONG_PTR replacement;  // address to put in its entry
    void* original;         // receives the address the entry held (a function pointer's storage)
  };

  ImportPatch(HMODULE module, const char* dllName, const std::vector<Hook>& hooks) {
    auto* base = reinterpret_cast<BYTE*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (imports.VirtualAddress == 0) return;
    for (auto* dll = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
         dll->Name != 0; ++dll) {
      if (_stricmp(reinterpret_cast<const char*>(base + dll->Name), dllName) != 0) continue;
      // The names are only in the lookup table; the address table holds the
      // bound addresses by now.
      if (dll->OriginalFirstThunk == 0) continue;
      const auto* names = reinterpret_cast<const IMAGE_THUNK_DATA*>(base + dll->OriginalFirstThunk);
      auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + dll->FirstThunk);
      for (; names->u1.AddressOfData != 0; ++names, ++slots) {
        if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
        const auto* byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
        for (const Hook& hook : hooks) {
          if (std::strcmp(reinterpret_cast<const char*>(byName->Name), hook.name) != 0) continue;
          auto* slot = reinterpret_cast<ULONG_PTR*>(&slots->u1.Function);
          const ULONG_PTR original = *slot;
          if (!Write(slot, hook.replacement)) break;
          patched_.push_back({slot, original});
          std::memcpy(hook.original, &original, sizeof original);
          ++found_;
        }
      }
    }
    complete_ = found_ == hooks.size();
  }

  ~ImportPatch() {
    for (const Patched& entry : patched_) {
      if (!Write(entry.slot, entry.original)) std::fputs("restoring an import-table entry failed\n", stderr);
    }
  }

  ImportPatch(const ImportPatch&) = delete;
  ImportPatch& operator=(const ImportPatch&) = delete;

  // Whether every hook's function was found and its entry replaced.
  bool complete() const { return complete_; }

 private:
  struct Patched {
    ULONG_PTR* slot;
    ULONG_PTR original;
  };

  // The import table is read-only once the loader has filled it in.
  static bool Write(ULONG_PTR* slot, ULONG_PTR value) {
    DWORD oldProtection = 0;
    if (!VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &oldProtection)) return false;
    *slot = value;
    DWORD unused = 0;
    VirtualProtect(slot, sizeof *slot, oldProtection, &unused);
    return true;
  }

  std::vector<Patched> patched_;
  std::size_t found_ = 0;
  bool complete_ = false;
};

// A hook whose replacement has the very type of the function it stands in for.
template <typename Function>
ImportPatch::Hook HookOf(const char* name, Function replacement, Function& original) {
  static_assert(sizeof(Function) == sizeof(ULONG_PTR), "a function pointer fills an import-table entry");
  return {name, reinterpret_cast<ULONG_PTR>(replacement), &original};
}

// ---------------------------------------------------------------------------
// Recording

enum class Call { OpenKeyEx, OpenKey, EnumKeyEx, EnumValue, QueryValueEx, CloseKey };

// One registry call as the DLL made it, with what it returned.
struct Recorded {
  explicit Recorded(Call kind) : call(kind) {}

  Call call;
  HKEY key = nullptr;       // the handle passed
  std::string text;         // subkey path or value name
  DWORD index = 0;          // enumeration index
  REGSAM access = 0;
  DWORD nameChars = 0;      // name buffer size passed in, characters
  DWORD dataBytes = 0;      // data buffer size passed in, bytes
  bool withType = false;    // whether a type, data or last-write-time pointer was passed
  bool withData = false;
  bool withTime = false;
  HKEY opened = nullptr;    // the handle an open returned
  LONG status = 0;
};

struct RealFunctions {
  decltype(&RegOpenKeyExA) openKeyEx = nullptr;
  decltype(&RegOpenKeyA) openKey = nullptr;
  decltype(&RegEnumKeyExA) enumKeyEx = nullptr;
  decltype(&RegEnumValueA) enumValue = nullptr;
  decltype(&RegQueryValueExA) queryValueEx = nullptr;
  decltype(&RegCloseKey) closeKey = nullptr;
};
RealFunctions real;
std::vector<Recorded> recorded;

LONG WINAPI RecordOpenKeyExA(HKEY key, LPCSTR path, DWORD options, REGSAM access, PHKEY result) {
  const LONG status = real.openKeyEx(key, path, options, access, result);
  Recorded call(Call::OpenKeyEx);
  call.key = key;
  call.text = path != nullptr ? path : "";
  call.access = access;
  call.opened = status == ERROR_SUCCESS ? *result : nullptr;
  call.status = status;
  recorded.push_back(call);
  return status;
}

LONG WINAPI RecordOpenKeyA(HKEY key, LPCSTR path, PHKEY result) {
  const LONG status = real.openKey(key, path, result);
  Recorded call(Call::OpenKey);
  call.key = key;
  call.text = path != nullptr ? path : "";
  call.opened = status == ERROR_SUCCESS ? *result : nullptr;
  call.status = status;
  recorded.push_back(call);
  return status;
}

LONG WINAPI RecordEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD nameChars, LPDWORD reserved, LPSTR className,
                             LPDWORD classChars, PFILETIME lastWrite) {
  Recorded call(Call::EnumKeyEx);
  call.key = key;
  call.index = index;
  call.nameChars = nameChars != nullptr ? *nameChars : 0;
  call.withTime = lastWrite != nullptr;
  call.status = real.enumKeyEx(key, index, name, nameChars, reserved, className, classChars, lastWrite);
  recorded.push_back(call);
  return call.status;
}

LONG WINAPI RecordEnumValueA(HKEY key, DWORD index, LPSTR name, LPDWORD nameChars, LPDWORD reserved, LPDWORD type,
                             LPBYTE data, LPDWORD dataBytes) {
  Recorded call(Call::EnumValue);
  call.key = key;
  call.index = index;
  call.nameChars = nameChars != nullptr ? *nameChars : 0;
  call.dataBytes = dataBytes != nullptr ? *dataBytes : 0;
  call.withType = type != nullptr;
  call.withData = data != nullptr;
  call.status = real.enumValue(key, index, name, nameChars, reserved, type, data, dataBytes);
  recorded.push_back(call);
  return call.status;
}

LONG WINAPI RecordQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                                LPDWORD dataBytes) {
  Recorded call(Call::QueryValueEx);
  call.key = key;
  call.text = valueName != nullptr ? valueName : "";
  call.dataBytes = dataBytes != nullptr ? *dataBytes : 0;
  call.withType = type != nullptr;
  call.withData = data != nullptr;
  call.status = real.queryValueEx(key, valueName, reserved, type, data, dataBytes);
  recorded.push_back(call);
  return call.status;
}

LONG WINAPI RecordCloseKey(HKEY key) {
  Recorded call(Call::CloseKey);
  call.key = key;
  call.status = real.closeKey(key);
  recorded.push_back(call);
  return call.status;
}

// ---------------------------------------------------------------------------
// Replay

// A recorded call with its handles turned into slots of the replay's own
// handle table: a handle value can come back from a later open once closed,
// so each open gets a slot of its own.
struct Step {
  Recorded call;
  int keySlot = -1;     // slot of the handle passed; -1 for a handle the DLL did not open (a predefined key)
  int openedSlot = -1;  // slot for the handle an open returns; -1 when the open failed
};

struct Trace {
  std::vector<Step> steps;
  std::size_t slots = 0;
};

Trace MakeTrace(const std::vector<Recorded>& calls) {
  Trace trace;
  std::map<HKEY, int> current;  // handle value -> slot of the open that returned it last
  for (const Recorded& call : calls) {
    Step step{call};
    const auto it = current.find(call.key);
    if (it != current.end()) step.keySlot = it->second;
    if ((call.call == Call::OpenKeyEx || call.call == Call::OpenKey) && call.status == ERROR_SUCCESS) {
      step.openedSlot = static_cast<int>(trace.slots++);
      current[call.opened] = step.openedSlot;
    }
    trace.steps.push_back(step);
  }
  return trace;
}

// Makes the recorded calls again with the same arguments and 1024-byte
// buffers as the DLL's; returns how many gave another result than recorded.
std::size_t Replay(const Trace& trace) {
  std::vector<HKEY> slots(trace.slots, nullptr);
  char name[1024];
  BYTE data[1024];
  std::size_t differing = 0;
  for (const Step& step : trace.steps) {
    const Recorded& call = step.call;
    const HKEY key = step.keySlot >= 0 ? slots[static_cast<std::size_t>(step.keySlot)] : call.key;
    HKEY opened = nullptr;
    // Never more than the buffers hold, whatever size was recorded.
    DWORD nameChars = std::min<DWORD>(call.nameChars, sizeof name);
    DWORD dataBytes = std::min<DWORD>(call.dataBytes, sizeof data);
    DWORD type = 0;
    FILETIME lastWrite;
    LONG status = 0;
    switch (call.call) {
      case Call::OpenKeyEx:
        status = RegOpenKeyExA(key, call.text.c_str(), 0, call.access, &opened);
        break;
      case Call::OpenKey:
        status = RegOpenKeyA(key, call.text.c_str(), &opened);
        break;
      case Call::EnumKeyEx:
        status = RegEnumKeyExA(key, call.index, name, &nameChars, nullptr, nullptr, nullptr,
                               call.withTime ? &lastWrite : nullptr);
        break;
      case Call::EnumValue:
        status = RegEnumValueA(key, call.index, name, &nameChars, nullptr, call.withType ? &type : nullptr,
                               call.withData ? data : nullptr, call.withData ? &dataBytes : nullptr);
        break;
      case Call::QueryValueEx:
        status = RegQueryValueExA(key, call.text.c_str(), nullptr, call.withType ? &type : nullptr,
                                  call.withData ? data : nullptr, call.withData ? &dataBytes : nullptr);
        break;
      case Call::CloseKey:
        status = RegCloseKey(key);
        break;
    }
    if (step.openedSlot >= 0) slots[static_cast<std::size_t>(step.openedSlot)] = opened;
    if (status != call.status) ++differing;
  }
  return differing;
}

// ---------------------------------------------------------------------------
// Timing

double Now() {
  static const double ticksPerSecond = [] {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(frequency.QuadPart);
  }();
  LARGE_INTEGER ticks;
  QueryPerformanceCounter(&ticks);
  return static_cast<double>(ticks.QuadPart) / ticksPerSecond;
}

// The two-call protocol: the size query, then the fill. Returns the fill's result.
int32_t CallPair(decltype(&EnumPrinterInfoA) enumA, const char* productId, std::vector<unsigned char>& buffer) {
  uint32_t needed = 0;
  enumA(productId, nullptr, 0, &needed);
  if (needed > buffer.size()) buffer.resize(needed);
  return enumA(productId, buffer.data(), needed, &needed);
}

// Reads [--rounds N] [PRODUCT_ID]; false on anything else.
bool ReadOptions(int argc, char** argv, bench::Schedule& schedule, const char*& productId) {
  int i = 1;
  if (i < argc && std::strcmp(argv[i], "--rounds") == 0) {
    if (i + 1 >= argc) return false;
    char* end = nullptr;
    const long rounds = std::strtol(argv[i + 1], &end, 10);
    if (end == argv[i + 1] || *end != '\0' || rounds < 1 || rounds > 100000) return false;
    schedule.pairs = static_cast<int>(rounds);
    i += 2;
  }
  if (i < argc) productId = argv[i++];
  return i == argc && productId[0] != '-';
}

}  // namespace

int main(int argc, char** argv) {
  bench::Schedule schedule;
  schedule.warmupPairs = 2;
  schedule.pairs = 60;
  schedule.runsPerRound = 1;
  const char* productId = "4B31";
  if (!ReadOptions(argc, argv, schedule, productId)) {
    std::fputs("usage: dll_benchmark [--rounds N] [PRODUCT_ID]\n", stderr);
    return 64;
  }
  Korvane korvane;
  if (!korvane.Load()) {
    std::fputs("KORVANE.dll or its entry _EnumPrinterInfoA@16 could not be loaded\n", stderr);
    return 1;
  }

  std::vector<unsigned char> buffer;
  int32_t found = -1;
  {
    ImportPatch patch(korvane.module, "ADVAPI32.dll",
                      {HookOf("RegOpenKeyExA", &RecordOpenKeyExA, real.openKeyEx),
                       HookOf("RegOpenKeyA", &RecordOpenKeyA, real.openKey),
                       HookOf("RegEnumKeyExA", &RecordEnumKeyExA, real.enumKeyEx),
                       HookOf("RegEnumValueA", &RecordEnumValueA, real.enumValue),
                       HookOf("RegQueryValueExA", &RecordQueryValueExA, real.queryValueEx),
                       HookOf("RegCloseKey", &RecordCloseKey, real.closeKey)});
    if (!patch.complete()) {
      std::fputs("KORVANE.dll's imports of the registry functions could not all be patched\n", stderr);
      return 1;
    }
    found = CallPair(korvane.bufferA, productId, buffer);
  }
  if (found <= 0) {
    std::fprintf(stderr, "EnumPrinterInfoA(\"%s\") returned %d, no device: is the benchmark registry loaded?\n",
                 productId, static_cast<int>(found));
    return 1;
  }
  const Trace trace = MakeTrace(recorded);
  const std::size_t differing = Replay(trace);
  if (differing != 0) {
    std::fprintf(stderr, "%zu of %zu replayed calls gave another result than recorded\n", differing,
                 trace.steps.size());
    return 1;
  }

  // Every timed round is checked as well: a pair that finds something else,
  // or a replay whose calls fail, would be timing other work.
  std::size_t differentPairs = 0;
  std::size_t differentReplays = 0;
  const auto times = bench::TimeInterleaved(
      schedule, Now,
      [&] {
        if (CallPair(korvane.bufferA, productId, buffer) != found) ++differentPairs;
      },
      [&] {
        if (Replay(trace) != 0) ++differentReplays;
      });
  // Calls that still went through the wrappers would have made the pair look slower.
  if (recorded.size() != trace.steps.size()) {
    std::fputs("the import table was not restored: the timed calls were recorded too\n", stderr);
    return 1;
  }
  if (differentPairs != 0 || differentReplays != 0) {
    std::fprintf(stderr, "%zu timed call pairs and %zu timed replays did not give the recorded results\n",
                 differentPairs, differentReplays);
    return 1;
  }
  const bench::Spread pair = bench::Summarise(times.a);
  const bench::Spread replay = bench::Summarise(times.b);
  std::printf("records found:                   %d\n", static_cast<int>(found));
  std::printf("registry calls per call pair:    %zu\n", trace.steps.size());
  std::printf("rounds of each:                  %d, call pairs and replays alternating, after %d not kept\n",
              schedule.pairs, schedule.warmupPairs);
  constexpr int kWidth = 32;
  bench::PrintTimes(kWidth, "size query + fill, per pair:", pair, 1e3, "ms");
  bench::PrintTimes(kWidth, "bare replay of those calls:", replay, 1e3, "ms");
  bench::PrintRatio(kWidth, "pair / replay:", bench::Summarise(times.Ratios()), pair.min / replay.min);
  return 0;
}
