// A minimal checker for the Windows test programs, which run under Wine where
// no test framework is installed. Each failed check prints where and what;
// the program ends with the line "N passed, N failed" and exits 1 on failure.
#pragma once

#include <cstdio>
#include <string>

namespace wintest {

struct Tally {
  int passed = 0;
  int failed = 0;
};

inline Tally& TheTally() {
  static Tally tally;
  return tally;
}

inline bool Check(bool ok, const char* file, int line, const std::string& what) {
  if (ok) {
    ++TheTally().passed;
  } else {
    ++TheTally().failed;
    std::printf("%s:%d: FAILED: %s\n", file, line, what.c_str());
    std::fflush(stdout);
  }
  return ok;
}

inline int Finish() {
  std::printf("%d passed, %d failed\n", TheTally().passed, TheTally().failed);
  return TheTally().failed == 0 ? 0 : 1;
}

}  // namespace wintest

#define CHECK(cond) ::wintest::Check((cond), __FILE__, __LINE__, #cond)
#define CHECK_EQ(a, b) \
  ::wintest::Check((a) == (b), __FILE__, __LINE__, std::string(#a " == " #b " (got ") + std::to_string(a) + ")")
#define CHECK_STR(a, b) \
  ::wintest::Check(std::string(a) == std::string(b), __FILE__, __LINE__, \
                   std::string(#a " is \"") + (a) + "\", expected \"" + (b) + "\"")
