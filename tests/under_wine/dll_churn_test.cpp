// Readers on four threads call KORVANE.dll's four exports while another
// process adds and removes devices piece by piece in Wine's registry. Every
// result must be -1 or a consistent enumeration; once the writer has stopped,
// the four exports agree on what it left; no handle or task-allocator block
// is left behind.
//
//   dll_churn_test.exe                          the readers; they start the writer
//   dll_churn_test.exe --writer SEED READER_PID the writer
//
// The writer's exit code is the number of changes it made, so that the
// readers can replay the same random changes and know what it left.
#include <objbase.h>
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

#include "check.h"
#include "churn.h"
#include "common/handles.h"
#include "leak_probes.h"
#include "linked_exports.h"
#include "windows_editor.h"

namespace {

using hardening::Churn;
using hardening::ChurnTally;
using common::UniqueKernelHandle;
using wintest::BlockCounter;
using wintest::WindowsEditor;
using wintest::NextHandleValue;

constexpr std::uint32_t kSeed = 20240611;
constexpr int kReaders = 4;
constexpr int kRoundsPerReader = 150;       // each round calls all four exports (six walks)
constexpr DWORD kStepsBeforeReaders = 64;  // the readers start on a registry already in flux
constexpr ULONGLONG kWriterLimitMs = 300'000;  // should the readers never say stop

std::wstring EventName(DWORD readerPid, const wchar_t* what) {
  return L"korvane-churn-" + std::to_wstring(readerPid) + L"-" + what;
}

int RunWriter(std::uint32_t seed, DWORD readerPid) {
  const UniqueKernelHandle ready(OpenEventW(EVENT_MODIFY_STATE, FALSE, EventName(readerPid, L"ready").c_str()));
  const UniqueKernelHandle stop(OpenEventW(SYNCHRONIZE, FALSE, EventName(readerPid, L"stop").c_str()));
  if (ready.get() == nullptr || stop.get() == nullptr) {
    std::fprintf(stderr, "writer: the readers' events are missing\n");
    return 0;
  }
  WindowsEditor editor;
  Churn churn(seed);
  const ULONGLONG started = GetTickCount64();
  DWORD steps = 0;
  while (WaitForSingleObject(stop.get(), 0) == WAIT_TIMEOUT && GetTickCount64() - started < kWriterLimitMs) {
    churn.Step(&editor);
    ++steps;
    if (editor.error() != ERROR_SUCCESS) {
      std::fprintf(stderr, "writer: error %ld after %lu changes\n", static_cast<long>(editor.error()),
                   static_cast<unsigned long>(steps));
      return 0;
    }
    if (steps == kStepsBeforeReaders) SetEvent(ready.get());
    // Wine's walks are slow beside its writes: without a pause nearly every
    // walk would meet a removed key, and few enumerations would be checked.
    Sleep(1);
  }
  return static_cast<int>(steps);
}

// This program started again as the writer. Stopping it, which the
// destructor does too, gives the number of changes it made.
class WriterProcess {
 public:
  WriterProcess()
      : ready_(CreateEventW(nullptr, TRUE, FALSE, EventName(GetCurrentProcessId(), L"ready").c_str())),
        stop_(CreateEventW(nullptr, TRUE, FALSE, EventName(GetCurrentProcessId(), L"stop").c_str())),
        process_(ready_.get() != nullptr && stop_.get() != nullptr ? Start() : nullptr) {}
  ~WriterProcess() { Stop(); }
  WriterProcess(const WriterProcess&) = delete;
  WriterProcess& operator=(const WriterProcess&) = delete;

  // Whether it has made its first changes, waiting for them up to a minute.
  bool Ready() const {
    if (process_.get() == nullptr) return false;
    const HANDLE either[] = {ready_.get(), process_.get()};
    return WaitForMultipleObjects(2, either, FALSE, 60'000) == WAIT_OBJECT_0;
  }

  // The number of changes, or 0 when it did not end by itself within a minute.
  DWORD Stop() {
    if (process_.get() == nullptr) return 0;
    SetEvent(stop_.get());
    DWORD steps = 0;
    if (WaitForSingleObject(process_.get(), 60'000) != WAIT_OBJECT_0) {
      TerminateProcess(process_.get(), 0);
      return 0;
    }
    return GetExitCodeProcess(process_.get(), &steps) ? steps : 0;
  }

 private:
  static HANDLE Start() {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length == MAX_PATH) return nullptr;
    std::wstring commandLine = L"\"" + std::wstring(path) + L"\" --writer " + std::to_wstring(kSeed) + L" " +
                               std::to_wstring(GetCurrentProcessId());
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(path, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
      return nullptr;
    }
    const UniqueKernelHandle thread(process.hThread);
    return process.hProcess;
  }

  UniqueKernelHandle ready_;
  UniqueKernelHandle stop_;
  UniqueKernelHandle process_;
};

DWORD WINAPI ReadRounds(void* tally) {
  hardening::ReadChurnRounds(contract::LinkedExports(), kRoundsPerReader, *static_cast<ChurnTally*>(tally));
  return 0;
}

// Runs the reader threads to the end; what all of them saw.
ChurnTally ReadWhileTheWriterRuns() {
  std::vector<ChurnTally> tallies(kReaders);
  std::vector<UniqueKernelHandle> threads;
  std::vector<HANDLE> waitFor;
  for (auto& tally : tallies) {
    threads.emplace_back(CreateThread(nullptr, 0, ReadRounds, &tally, 0, nullptr));
    if (CHECK(threads.back())) waitFor.push_back(threads.back().get());
  }
  WaitForMultipleObjects(static_cast<DWORD>(waitFor.size()), waitFor.data(), TRUE, INFINITE);
  ChurnTally all;
  for (const auto& tally : tallies) all.Add(tally);
  return all;
}

void CheckAtRest(DWORD steps) {
  Churn replay(kSeed);
  for (DWORD i = 0; i < steps; ++i) replay.Step(nullptr);
  const check::ScopedCase named("at rest");
  const auto atRest = contract::EnumerateAll(contract::LinkedExports(), "4B31");
  CHECK_NO_FAULTS(contract::Faults(atRest));
  const auto expected = replay.ExpectedAtRest();
  CHECK_THAT(atRest.bufferA.records == expected,
             contract::Describe(atRest.bufferA.records) + "instead of " + contract::Describe(expected));
}

int RunReaders() {
  WindowsEditor editor;
  hardening::AddChurnBase(editor);
  if (!CHECK_EQ(editor.error(), ERROR_SUCCESS)) return check::Finish();
  static BlockCounter spy;
  if (!CHECK(SUCCEEDED(CoRegisterMallocSpy(&spy)))) return check::Finish();

  WriterProcess writer;
  if (!CHECK(writer.Ready())) return check::Finish();

  // New handles take the lowest free slot, so a handle left open by a walk
  // shows in the value of the next one.
  const uintptr_t handleBefore = NextHandleValue();
  const LONG blocksBefore = spy.outstanding;
  const ChurnTally all = ReadWhileTheWriterRuns();
  const uintptr_t handleAfter = NextHandleValue();
  CHECK_EQ(handleAfter, handleBefore);
  CHECK_EQ(spy.outstanding, blocksBefore);
  const DWORD steps = writer.Stop();

  const std::size_t shown = all.faults.size() < 20 ? all.faults.size() : 20;
  for (std::size_t i = 0; i < shown; ++i) CHECK_THAT(false, all.faults[i]);
  CHECK_EQ(all.faults.size(), static_cast<std::size_t>(0));
  CHECK_EQ(all.results, 4L * kReaders * kRoundsPerReader);
  CHECK(all.failures < all.results);  // otherwise nothing was checked
  CHECK(steps > kStepsBeforeReaders);
  std::printf("%ld results on %d threads, %ld of them -1, %ld records; %lu changes by the writer process\n",
              all.results, kReaders, all.failures, all.records, static_cast<unsigned long>(steps));
  std::printf("next handle value %#lx -> %#lx, task-allocator blocks outstanding %ld -> %ld\n",
              static_cast<unsigned long>(handleBefore), static_cast<unsigned long>(handleAfter),
              static_cast<long>(blocksBefore), static_cast<long>(spy.outstanding));
  CheckAtRest(steps);
  return check::Finish();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "--writer") {
    return RunWriter(static_cast<std::uint32_t>(std::strtoul(argv[2], nullptr, 10)),
                     static_cast<DWORD>(std::strtoul(argv[3], nullptr, 10)));
  }
  return RunReaders();
}
