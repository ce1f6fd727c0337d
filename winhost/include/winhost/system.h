// Controls of the host stand-in, for tests, tools and benchmarks.
//
// The Windows calls have no context argument, so like the platform the
// stand-in has one process-wide state: the installed registry, the ANSI code
// page, the table of open key handles, and counters that let tests prove that
// every key was closed and every task-allocator block freed.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "winhost/registry.h"

namespace winhost {

// The registry that the Reg* calls read from now on (predefined keys map to its roots).
void InstallRegistry(std::shared_ptr<Registry> registry);

// Loads .reg files in order into a new registry, as importing them one after
// another would. Throws std::runtime_error with "FILE:LINE: what" on a malformed file.
std::shared_ptr<Registry> LoadRegistry(const std::vector<std::string>& regFiles);

// The ANSI code page of CP_ACP: 1252 (the default) or any other of
// common::kAnsiCodePages. Throws std::invalid_argument for a page outside
// that list, std::runtime_error when iconv cannot convert it.
void SetAnsiCodePage(unsigned codePage);
unsigned AnsiCodePage();

// Lets `successes` more CoTaskMemAlloc calls succeed and fails every one
// after them, as an exhausted allocator would; a negative count lifts the limit.
void FailTaskMemAllocAfter(long successes);

enum class Call : std::uint8_t {
  RegOpenKeyExA,
  RegOpenKeyA,
  RegEnumKeyExA,
  RegEnumValueA,
  RegQueryValueExA,
  RegCloseKey,
};
constexpr std::size_t kCallKinds = 6;

struct Counters {
  std::array<std::uint64_t, kCallKinds> calls{};  // indexed by Call
  long openKeys = 0;          // key handles opened and not yet closed
  long taskMemBlocks = 0;     // CoTaskMemAlloc blocks not yet freed
  std::uint64_t total() const;
};
Counters ReadCounters();

// One recorded registry call, enough to make the same call again.
struct TraceEntry {
  Call call;
  std::uintptr_t key;       // handle as passed (predefined or returned by an earlier open)
  std::string text;         // subkey path or value name
  std::uint32_t index = 0;  // enumeration index
  std::uint32_t access = 0;
  std::uintptr_t opened = 0;  // handle returned by an open, 0 if it failed
};

// Records every registry call made on the calling thread until StopTrace.
void StartTrace();
std::vector<TraceEntry> StopTrace();

}  // namespace winhost
