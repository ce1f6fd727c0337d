// Times the registry walk on a generated registry of realistic size against a
// bare replay of the very registry calls that the walk makes, so that the
// library's own overhead shows as a ratio. The registry is the one that
// bench_registry.h generates, which the Wine benchmark of KORVANE.dll imports too.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "bench_registry.h"
#include "correlation.h"
#include "regfile/reg_parser.h"
#include "winhost/system.h"

namespace {

using Clock = std::chrono::steady_clock;
using winhost::Call;

// The benchmarks' large registry, parsed from the same .reg text that the Wine
// benchmark imports. Null, with a message, if the text does not parse.
std::shared_ptr<winhost::Registry> LoadBenchRegistry() {
  const auto parsed = regfile::Parse(bench::RegistryText());
  if (parsed.error) {
    std::fprintf(stderr, "the generated registry does not parse: line %u: %s\n", parsed.error->line,
                 parsed.error->message.c_str());
    return nullptr;
  }
  auto registry = std::make_shared<winhost::Registry>();
  registry->Apply(std::move(parsed.script));
  return registry;
}

// Makes the recorded calls again, with the same buffers the walk uses.
void Replay(const std::vector<winhost::TraceEntry>& trace) {
  std::map<std::uintptr_t, HKEY> handles;
  const auto handle = [&](std::uintptr_t recorded) {
    const auto it = handles.find(recorded);
    return it != handles.end() ? it->second : reinterpret_cast<HKEY>(recorded);
  };
  char name[1024];
  BYTE data[1024];
  for (const auto& entry : trace) {
    DWORD nameChars = sizeof name;
    DWORD dataBytes = sizeof data;
    HKEY opened = nullptr;
    FILETIME time;
    switch (entry.call) {
      case Call::RegOpenKeyExA:
        if (RegOpenKeyExA(handle(entry.key), entry.text.c_str(), 0, entry.access, &opened) == ERROR_SUCCESS) {
          handles[entry.opened] = opened;
        }
        break;
      case Call::RegOpenKeyA:
        if (RegOpenKeyA(handle(entry.key), entry.text.c_str(), &opened) == ERROR_SUCCESS) handles[entry.opened] = opened;
        break;
      case Call::RegEnumKeyExA:
        RegEnumKeyExA(handle(entry.key), entry.index, name, &nameChars, nullptr, nullptr, nullptr, &time);
        break;
      case Call::RegEnumValueA:
        RegEnumValueA(handle(entry.key), entry.index, name, &nameChars, nullptr, nullptr, data, &dataBytes);
        break;
      case Call::RegQueryValueExA:
        RegQueryValueExA(handle(entry.key), entry.text.c_str(), nullptr, nullptr, data, &dataBytes);
        break;
      case Call::RegCloseKey:
        RegCloseKey(handle(entry.key));
        break;
    }
  }
}

template <typename F>
double BestMicroseconds(int rounds, int perRound, F&& run) {
  double best = 1e300;
  for (int r = 0; r < rounds; ++r) {
    const auto start = Clock::now();
    for (int i = 0; i < perRound; ++i) run();
    const std::chrono::duration<double, std::micro> elapsed = Clock::now() - start;
    best = std::min(best, elapsed.count() / perRound);
  }
  return best;
}

}  // namespace

int main() {
  auto registry = LoadBenchRegistry();
  if (registry == nullptr) return 1;
  winhost::InstallRegistry(std::move(registry));
  korvane::PrinterInfoList records;
  const auto before = winhost::ReadCounters();
  winhost::StartTrace();
  if (!korvane::CollectPrinterInfo(bench::kProductId, records)) {
    std::fputs("walk failed\n", stderr);
    return 1;
  }
  const auto trace = winhost::StopTrace();
  const auto calls = winhost::ReadCounters().total() - before.total();

  const double walk = BestMicroseconds(7, 20, [] {
    korvane::PrinterInfoList found;
    korvane::CollectPrinterInfo(bench::kProductId, found);
  });
  const double replay = BestMicroseconds(7, 20, [&] { Replay(trace); });
  std::printf("registry: %s\n", bench::kRegistryShape);
  std::printf("records found:              %zu\n", records.size());
  std::printf("registry calls per walk:    %llu\n", static_cast<unsigned long long>(calls));
  std::printf("walk time per call:         %.1f us\n", walk);
  std::printf("bare replay of those calls: %.1f us\n", replay);
  std::printf("walk / replay:              %.3f\n", walk / replay);
  return 0;
}
