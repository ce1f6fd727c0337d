// Readers on several threads call the four exports while a writer adds and
// removes devices piece by piece in the installed registry. A walk that runs
// into a key removed after it was listed fails; every other result must be a
// consistent enumeration, and nothing may be left open or allocated.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <thread>

#include "churn.h"
#include "device_registry.h"
#include "registry_fixture.h"
#include "winhost/system.h"

namespace hardening {
namespace {

using testing_support::ScopedRegistry;

constexpr int kReaders = 4;
constexpr int kRoundsPerReader = 150;  // each round calls all four exports (six walks)

struct Tally {
  std::atomic<long> results{0};
  std::atomic<long> failures{0};
  std::atomic<long> records{0};
};

template <typename Char>
void Check(const Outcome<Char>& outcome, const char* form, Tally& tally) {
  ++tally.results;
  if (outcome.result < 0) ++tally.failures;
  else tally.records += static_cast<long>(outcome.records.size());
  for (const auto& fault : ChurnFaults(outcome)) ADD_FAILURE() << form << ": " << fault;
}

TEST(ConcurrencyTest, ReadersSeeFailureOrAConsistentEnumerationWhileDevicesComeAndGo) {
  auto registry = std::make_shared<winhost::Registry>();
  StandInEditor editor(*registry);
  AddChurnBase(editor);
  ScopedRegistry scope(registry);
  const auto start = winhost::ReadCounters();

  std::atomic<int> readersDone{0};
  std::atomic<bool> go{false};
  long changes = 0;
  Churn churn(20240611);  // the writer's alone until it is joined
  std::thread writer([&] {
    // Until every reader is done, with a cap should one of them hang.
    for (; readersDone.load() < kReaders && changes < 50'000'000; ++changes) {
      churn.Step(&editor);
      if (changes == 64) go = true;
    }
    go = true;
  });

  Tally tally;
  std::vector<std::thread> readers;
  for (int r = 0; r < kReaders; ++r) {
    readers.emplace_back([&] {
      while (!go.load()) std::this_thread::yield();
      for (int round = 0; round < kRoundsPerReader; ++round) {
        Check(BufferA("4B31", false), "EnumPrinterInfoA", tally);
        Check(BufferW(u"4B31", false), "EnumPrinterInfoW", tally);
        Check(CallbackA("4B31"), "EnumPrinterInfoCallbackA", tally);
        Check(CallbackW(u"4B31"), "EnumPrinterInfoCallbackW", tally);
      }
      ++readersDone;
    });
  }
  for (auto& reader : readers) reader.join();
  writer.join();

  EXPECT_EQ(tally.results.load(), 4L * kReaders * kRoundsPerReader);
  EXPECT_LT(tally.failures.load(), tally.results.load()) << "no walk succeeded: the test checked nothing";
  EXPECT_GT(changes, 64) << "the writer changed nothing while the readers ran";
  std::printf("%ld results, %ld of them -1, %ld records; %ld changes by the writer\n", tally.results.load(),
              tally.failures.load(), tally.records.load(), changes);

  // At rest, the registry holds device 0 and the devices whose linking pieces
  // the writer left in place, one record each in instance order.
  const auto atRest = EnumerateAll("4B31");
  for (const auto& fault : Faults(atRest)) ADD_FAILURE() << "at rest: " << fault;
  EXPECT_EQ(atRest.bufferA.records, churn.ExpectedAtRest());

  const auto end = winhost::ReadCounters();
  EXPECT_EQ(end.openKeys, start.openKeys) << "key handles left open";
  EXPECT_EQ(end.taskMemBlocks, start.taskMemBlocks) << "task-allocator blocks not freed";
}

}  // namespace
}  // namespace hardening
