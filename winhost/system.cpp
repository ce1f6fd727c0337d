#include <atomic>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <unordered_map>

#include "common/code_pages.h"
#include "internal.h"

namespace winhost {
namespace {

struct State {
  std::mutex mutex;
  std::shared_ptr<Registry> registry = std::make_shared<Registry>();
  std::unordered_map<std::uintptr_t, detail::OpenKey> handles;
  std::uintptr_t nextHandle = 0x1000;
  std::atomic<unsigned> codePage{1252};
  std::array<std::atomic<std::uint64_t>, kCallKinds> calls{};
  std::atomic<long> taskMemBlocks{0};
  std::atomic<long> taskMemAllocsLeft{-1};  // negative: no limit
};

State& TheState() {
  static State state;
  return state;
}

thread_local std::optional<std::vector<TraceEntry>> traceOfThisThread;

constexpr std::uintptr_t kPredefinedFirst = 0x80000000u;
constexpr std::uintptr_t kPredefinedLast = 0x80000005u;

Root PredefinedRoot(HKEY key) {
  switch (reinterpret_cast<std::uintptr_t>(key)) {
    case 0x80000000u: return Root::ClassesRoot;
    case 0x80000001u: return Root::CurrentUser;
    case 0x80000003u: return Root::Users;
    case 0x80000005u: return Root::CurrentConfig;
    default: return Root::LocalMachine;
  }
}

}  // namespace

std::uint64_t Counters::total() const {
  std::uint64_t sum = 0;
  for (const auto n : calls) sum += n;
  return sum;
}

void InstallRegistry(std::shared_ptr<Registry> registry) {
  auto& state = TheState();
  std::lock_guard lock(state.mutex);
  state.registry = std::move(registry);
}

void SetAnsiCodePage(unsigned codePage) {
  if (!common::IsAnsiCodePage(codePage)) {
    std::string message = "code page " + std::to_string(codePage) + " is no ANSI code page of Windows; use one of";
    for (const unsigned page : common::kAnsiCodePages) message += " " + std::to_string(page);
    throw std::invalid_argument(message);
  }
  detail::LoadCodePage(codePage);
  TheState().codePage = codePage;
}

unsigned AnsiCodePage() { return TheState().codePage; }

void FailTaskMemAllocAfter(long successes) { TheState().taskMemAllocsLeft = successes < 0 ? -1 : successes; }

Counters ReadCounters() {
  auto& state = TheState();
  Counters counters;
  for (std::size_t i = 0; i < kCallKinds; ++i) counters.calls[i] = state.calls[i];
  counters.taskMemBlocks = state.taskMemBlocks;
  std::lock_guard lock(state.mutex);
  counters.openKeys = static_cast<long>(state.handles.size());
  return counters;
}

void StartTrace() { traceOfThisThread.emplace(); }

std::vector<TraceEntry> StopTrace() {
  std::vector<TraceEntry> trace;
  if (traceOfThisThread) trace = std::move(*traceOfThisThread);
  traceOfThisThread.reset();
  return trace;
}

namespace detail {

bool IsPredefined(HKEY key) {
  const auto value = reinterpret_cast<std::uintptr_t>(key);
  return value >= kPredefinedFirst && value <= kPredefinedLast && value != 0x80000004u;
}

bool ResolveHandle(HKEY key, OpenKey& out) {
  auto& state = TheState();
  std::lock_guard lock(state.mutex);
  if (IsPredefined(key)) {
    out = OpenKey{state.registry, state.registry->RootKey(PredefinedRoot(key)), kAllAccess};
    return true;
  }
  const auto it = state.handles.find(reinterpret_cast<std::uintptr_t>(key));
  if (it == state.handles.end()) return false;
  out = it->second;
  return true;
}

HKEY AddHandle(OpenKey open) {
  auto& state = TheState();
  std::lock_guard lock(state.mutex);
  const auto value = state.nextHandle;
  state.nextHandle += 4;
  state.handles.emplace(value, std::move(open));
  return reinterpret_cast<HKEY>(value);
}

bool RemoveHandle(HKEY key) {
  auto& state = TheState();
  std::lock_guard lock(state.mutex);
  return state.handles.erase(reinterpret_cast<std::uintptr_t>(key)) == 1;
}

void CountCall(Call call) { ++TheState().calls[static_cast<std::size_t>(call)]; }

void CountTaskMemBlock(long delta) { TheState().taskMemBlocks += delta; }

bool TakeTaskMemAlloc() {
  auto& left = TheState().taskMemAllocsLeft;
  long now = left.load();
  while (now > 0 && !left.compare_exchange_weak(now, now - 1)) {
  }
  return now != 0;
}

bool Tracing() { return traceOfThisThread.has_value(); }

void Record(TraceEntry entry) {
  if (traceOfThisThread) traceOfThisThread->push_back(std::move(entry));
}

}  // namespace detail
}  // namespace winhost
