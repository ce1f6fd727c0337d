// Times the registry walk on a generated registry of realistic size against a
// bare replay of the very registry calls that the walk makes, so that the
// library's own overhead shows as a ratio. The registry is the one that
// bench_registry.h generates, which the Wine benchmark of KORVANE.dll imports too.
//
//   walk_benchmark [--rounds N] [--runs-per-round N]      (default 6000 rounds of each, 1 run)
//
// Rounds of walks and of replays alternate (interleaved.h). A round is one walk
// or one replay, about a millisecond: the two rounds of a pair then share the
// machine's state (other programs' load, the processor's speed) more often
// than not, and a time slice lost to another program spoils few pairs; rounds
// of several runs each spread several times as much on a busy machine.
// Exit status: 0 figures printed; 1 the registry or the walk failed, or a
// timed walk found other records; 64 usage error.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "bench_registry.h"
#include "library/correlation.h"
#include "interleaved.h"
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

double Seconds() {
  return std::chrono::duration<double>(Clock::now().time_since_epoch()).count();
}

// Reads "--rounds N" (rounds of each) and "--runs-per-round N" into the schedule; false on anything else.
bool ReadOptions(int argc, char** argv, bench::Schedule& schedule) {
  for (int i = 1; i < argc; i += 2) {
    if (i + 1 >= argc) return false;
    char* end = nullptr;
    const long value = std::strtol(argv[i + 1], &end, 10);
    if (end == argv[i + 1] || *end != '\0' || value < 1 || value > 1000000) return false;
    if (std::strcmp(argv[i], "--rounds") == 0) {
      schedule.pairs = static_cast<int>(value);
    } else if (std::strcmp(argv[i], "--runs-per-round") == 0) {
      schedule.runsPerRound = static_cast<int>(value);
    } else {
      return false;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  bench::Schedule schedule;
  schedule.warmupPairs = 50;
  schedule.pairs = 6000;
  schedule.runsPerRound = 1;
  if (!ReadOptions(argc, argv, schedule)) {
    std::fputs("usage: walk_benchmark [--rounds N] [--runs-per-round N]\n", stderr);
    return 64;
  }
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

  // A timed walk that finds something else would be timing another walk.
  std::size_t differentWalks = 0;
  const auto times = bench::TimeInterleaved(
      schedule, Seconds,
      [&] {
        korvane::PrinterInfoList found;
        if (!korvane::CollectPrinterInfo(bench::kProductId, found) || found.size() != records.size()) {
          ++differentWalks;
        }
      },
      [&] { Replay(trace); });
  if (differentWalks != 0) {
    std::fprintf(stderr, "%zu timed walks did not find the %zu records of the first\n", differentWalks,
                 records.size());
    return 1;
  }
  const bench::Spread walk = bench::Summarise(times.a);
  const bench::Spread replay = bench::Summarise(times.b);
  std::printf("registry: %s\n", bench::kRegistryShape);
  std::printf("records found:              %zu\n", records.size());
  std::printf("registry calls per walk:    %llu\n", static_cast<unsigned long long>(calls));
  std::printf("rounds of each:             %d, walks and replays alternating, %d run%s a round, after %d not kept\n",
              schedule.pairs, schedule.runsPerRound, schedule.runsPerRound == 1 ? "" : "s", schedule.warmupPairs);
  constexpr int kWidth = 27;
  bench::PrintTimes(kWidth, "walk time per call:", walk, 1e6, "us");
  bench::PrintTimes(kWidth, "bare replay of its calls:", replay, 1e6, "us");
  bench::PrintRatio(kWidth, "walk / replay:", bench::Summarise(times.Ratios()), walk.min / replay.min);
  return 0;
}
