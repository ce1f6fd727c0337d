#include "interleaved.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct SummaryCase {
  const char* name;
  std::vector<double> samples;
  double min, q1, median, q3, max;
};

TEST(InterleavedTest, SummariseGivesOrderStatisticsOfUnsortedSamples) {
  const SummaryCase cases[] = {
      {"none", {}, 0, 0, 0, 0, 0},
      {"one", {5}, 5, 5, 5, 5, 5},
      {"odd count", {3, 1, 2}, 1, 1.5, 2, 2.5, 3},
      {"even count", {4, 1, 3, 2}, 1, 1.75, 2.5, 3.25, 4},
      {"one outlier moves no median", {1, 1, 100, 1, 1}, 1, 1, 1, 1, 100},
  };
  for (const SummaryCase& c : cases) {
    SCOPED_TRACE(c.name);
    const bench::Spread spread = bench::Summarise(c.samples);
    EXPECT_EQ(spread.count, c.samples.size());
    EXPECT_DOUBLE_EQ(spread.min, c.min);
    EXPECT_DOUBLE_EQ(spread.q1, c.q1);
    EXPECT_DOUBLE_EQ(spread.median, c.median);
    EXPECT_DOUBLE_EQ(spread.q3, c.q3);
    EXPECT_DOUBLE_EQ(spread.max, c.max);
  }
}

TEST(InterleavedTest, RelativeSpreadIsHalfTheQuartileRangeOverTheMedian) {
  EXPECT_DOUBLE_EQ(bench::Summarise({0.8, 0.9, 1.0, 1.1, 1.2}).RelativeSpread(), 0.1);
  EXPECT_DOUBLE_EQ(bench::Summarise({0, 0, 0}).RelativeSpread(), 0);
}

struct ScheduleCase {
  const char* name;
  bench::Schedule schedule;
  std::string order;  // the workloads in the order they ran
};

// A clock that the workloads move on: A's n-th run takes 10 + n seconds and
// B's n-th 20 + n, so a round reported under the wrong workload or pair,
// or a warm-up round that was kept, gives other figures.
TEST(InterleavedTest, RoundsAlternateAndEachPairKeepsItsOwnTwoRounds) {
  const ScheduleCase cases[] = {
      {"one pair", {0, 1, 1}, "AB"},
      {"order flips every pair", {0, 4, 1}, "ABBAABBA"},
      {"warm-up pairs run first and are dropped", {2, 2, 1}, "ABBAABBA"},
      {"several runs per round", {1, 2, 2}, "AABBBBAAAABB"},
  };
  for (const ScheduleCase& c : cases) {
    SCOPED_TRACE(c.name);
    double clock = 0;
    int runsA = 0;
    int runsB = 0;
    std::string order;
    const bench::Interleaved times = bench::TimeInterleaved(
        c.schedule, [&] { return clock; },
        [&] {
          order += 'A';
          clock += 10 + runsA++;
        },
        [&] {
          order += 'B';
          clock += 20 + runsB++;
        });
    EXPECT_EQ(order, c.order);
    const auto kept = static_cast<std::size_t>(c.schedule.pairs);
    ASSERT_EQ(times.a.size(), kept);
    ASSERT_EQ(times.b.size(), kept);
    const std::vector<double> ratios = times.Ratios();
    ASSERT_EQ(ratios.size(), kept);
    const int runs = c.schedule.runsPerRound;
    for (std::size_t i = 0; i < kept; ++i) {
      // The mean of the runs n = first .. first + runs - 1 of this round.
      const double first = static_cast<double>((static_cast<int>(i) + c.schedule.warmupPairs) * runs);
      const double meanOffset = first + (runs - 1) / 2.0;
      EXPECT_DOUBLE_EQ(times.a[i], 10 + meanOffset) << "pair " << i;
      EXPECT_DOUBLE_EQ(times.b[i], 20 + meanOffset) << "pair " << i;
      EXPECT_DOUBLE_EQ(ratios[i], times.a[i] / times.b[i]) << "pair " << i;
    }
  }
}

}  // namespace
