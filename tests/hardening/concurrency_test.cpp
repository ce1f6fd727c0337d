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
#include "linked_exports.h"
#include "registry_fixture.h"
#include "winhost/system.h"

namespace hardening {
namespace {

using testing_support::ScopedRegistry;

constexpr int kReaders = 4;
constexpr int kRoundsPerReader = 150;  // each round calls all four exports (six walks)

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

  std::vector<ChurnTally> tallies(kReaders);
  std::vector<std::thread> readers;
  for (auto& tally : tallies) {
    readers.emplace_back([&go, &readersDone, mine = &tally] {
      while (!go.load()) std::this_thread::yield();
      ReadChurnRounds(contract::LinkedExports(), kRoundsPerReader, *mine);
      ++readersDone;
    });
  }
  for (auto& reader : readers) reader.join();
  writer.join();

  ChurnTally all;
  for (const auto& tally : tallies) all.Add(tally);
  for (const auto& fault : all.faults) ADD_FAILURE() << fault;
  EXPECT_EQ(all.results, 4L * kReaders * kRoundsPerReader);
  EXPECT_LT(all.failures, all.results) << "no walk succeeded: the test checked nothing";
  EXPECT_GT(changes, 64) << "the writer changed nothing while the readers ran";
  std::printf("%ld results, %ld of them -1, %ld records; %ld changes by the writer\n", all.results, all.failures,
              all.records, changes);

  // At rest, the registry holds device 0 and the devices whose linking pieces
  // the writer left in place, one record each in instance order.
  const auto atRest = contract::EnumerateAll(contract::LinkedExports(), "4B31");
  for (const auto& fault : contract::Faults(atRest)) ADD_FAILURE() << "at rest: " << fault;
  EXPECT_EQ(atRest.bufferA.records, churn.ExpectedAtRest());

  const auto end = winhost::ReadCounters();
  EXPECT_EQ(end.openKeys, start.openKeys) << "key handles left open";
  EXPECT_EQ(end.taskMemBlocks, start.taskMemBlocks) << "task-allocator blocks not freed";
}

}  // namespace
}  // namespace hardening
