// Times two workloads in alternating rounds and sums up the figures.
//
// Rounds of the two never run as one block after the other: pair i times a
// round of A and a round of B back to back, A first in even pairs and B first
// in odd ones (A B, B A, A B, ...), so that a change of machine load, or an
// advantage of going first or second, weighs on both alike. The ratio is then
// taken pair by pair, from two rounds that ran seconds or less apart, and its
// median is what repeats from run to run on a busy machine, better than the
// best round of each taken apart.
//
// Header only and free of platform calls: the host benchmark and the one that
// runs under Wine both use it, each with its own clock.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <vector>

namespace bench {

// How many rounds to run.
struct Schedule {
  int warmupPairs = 0;   // pairs run first and not kept: caches, lazily built state
  int pairs = 1;         // pairs kept: rounds of each workload
  int runsPerRound = 1;  // runs of the workload timed together as one round
};

// Order statistics of a set of samples.
struct Spread {
  double min = 0;
  double q1 = 0;  // first quartile
  double median = 0;
  double q3 = 0;  // third quartile
  double max = 0;
  std::size_t count = 0;

  // Half the interquartile range as a share of the median: 0.02 reads "±2 %".
  double RelativeSpread() const { return median != 0 ? (q3 - q1) / 2 / median : 0; }
};

// The quantile at q (0 to 1) of sorted samples, interpolated linearly between
// the two nearest ones.
inline double SortedQuantile(const std::vector<double>& sorted, double q) {
  if (sorted.empty()) return 0;
  const double position = q * static_cast<double>(sorted.size() - 1);
  const auto below = static_cast<std::size_t>(position);
  if (below + 1 >= sorted.size()) return sorted.back();
  const double fraction = position - static_cast<double>(below);
  return sorted[below] + fraction * (sorted[below + 1] - sorted[below]);
}

// All zero for no samples.
inline Spread Summarise(std::vector<double> samples) {
  Spread spread;
  spread.count = samples.size();
  if (samples.empty()) return spread;
  std::sort(samples.begin(), samples.end());
  spread.min = samples.front();
  spread.q1 = SortedQuantile(samples, 0.25);
  spread.median = SortedQuantile(samples, 0.5);
  spread.q3 = SortedQuantile(samples, 0.75);
  spread.max = samples.back();
  return spread;
}

// Seconds per run of each round kept; a[i] and b[i] ran as pair i.
struct Interleaved {
  std::vector<double> a;
  std::vector<double> b;

  // a[i] / b[i] for every pair.
  std::vector<double> Ratios() const {
    std::vector<double> ratios;
    const std::size_t pairs = std::min(a.size(), b.size());
    ratios.reserve(pairs);
    for (std::size_t i = 0; i < pairs; ++i) ratios.push_back(b[i] > 0 ? a[i] / b[i] : 0);
    return ratios;
  }
};

// Runs the schedule; now() gives seconds on a steady clock.
template <typename Clock, typename A, typename B>
Interleaved TimeInterleaved(const Schedule& schedule, Clock&& now, A&& runA, B&& runB) {
  const int runs = std::max(1, schedule.runsPerRound);
  const auto round = [&](auto& run) {
    const double start = now();
    for (int i = 0; i < runs; ++i) run();
    return (now() - start) / runs;
  };
  Interleaved times;
  times.a.reserve(static_cast<std::size_t>(std::max(0, schedule.pairs)));
  times.b.reserve(static_cast<std::size_t>(std::max(0, schedule.pairs)));
  const int total = std::max(0, schedule.warmupPairs) + std::max(0, schedule.pairs);
  for (int pair = 0; pair < total; ++pair) {
    double a = 0;
    double b = 0;
    if (pair % 2 == 0) {
      a = round(runA);
      b = round(runB);
    } else {
      b = round(runB);
      a = round(runA);
    }
    if (pair < schedule.warmupPairs) continue;
    times.a.push_back(a);
    times.b.push_back(b);
  }
  return times;
}

// One line for a workload's time per run: min, median, quartiles and spread,
// scaled by `scale` into `unit` (1e3 and "ms", say), after the label padded
// to `width` characters.
inline void PrintTimes(int width, const char* label, const Spread& times, double scale, const char* unit) {
  std::printf("%-*s min %.4g %s, median %.4g %s, quartiles %.4g-%.4g, spread +-%.1f %%\n", width, label,
              times.min * scale, unit, times.median * scale, unit, times.q1 * scale, times.q3 * scale,
              times.RelativeSpread() * 100);
}

// The line for the ratio taken pair by pair, with the ratio of the two
// minimums beside it for comparison.
inline void PrintRatio(int width, const char* label, const Spread& ratios, double ratioOfMinimums) {
  std::printf("%-*s median %.3f of %zu pairs of rounds, quartiles %.3f-%.3f, spread +-%.1f %% "
              "(ratio of minimums %.3f)\n",
              width, label, ratios.median, ratios.count, ratios.q1, ratios.q3, ratios.RelativeSpread() * 100,
              ratioOfMinimums);
}

}  // namespace bench
