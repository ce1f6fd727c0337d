// A broken invariant ends the run: libFuzzer keeps the input as a crash.
#pragma once

#include <cstdio>
#include <cstdlib>

#define FUZZ_REQUIRE(condition, what)                                                         \
  do {                                                                                        \
    if (!(condition)) {                                                                       \
      std::fprintf(stderr, "%s:%d: invariant broken: %s (%s)\n", __FILE__, __LINE__, what,    \
                   #condition);                                                               \
      std::abort();                                                                           \
    }                                                                                         \
  } while (false)
