// The checks of the test programs that run without a test framework: the
// Windows programs under Wine, the window driver, the fuzz targets and the
// seed writer. Header only, plain C++17; builds with mingw and the host's
// compilers.
//
//   CHECK(cond)              counts cond; when false, prints where and the condition
//   CHECK_EQ(a, b)           the same for a == b, printing a's value
//   CHECK_STR(a, b)          compares two texts, printing both
//   CHECK_THAT(cond, what)   the same for cond, printing `what` (a std::string)
//   CHECK_NO_FAULTS(faults)  one passed check for an empty list of faults
//                            (std::string), else one failure per fault
//
// Each returns whether it held. A failure prints one line,
// "FILE:LINE: FAILED [case]: what", the bracket only while a case is set
// (check::ScopedCase). check::Finish() prints the closing line
// "N passed, N failed", which the scripts that run the programs read, and
// gives the exit status: 1 when a check failed or none was made.
//
// Under check::AbortOnFailure() the first failure prints
// "FILE:LINE: invariant broken: what" and aborts instead, so that libFuzzer
// keeps the input as a crash.
//
// Checks may be made on several threads at once; the case is the main
// thread's to set.
#pragma once

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace check {

struct Counts {
  int passed = 0;
  int failed = 0;
};

namespace detail {

struct State {
  std::atomic<int> passed{0};
  std::atomic<int> failed{0};
  std::atomic<bool> abortOnFailure{false};
  std::string currentCase;
};

inline State& TheState() {
  static State state;
  return state;
}

}  // namespace detail

inline Counts Tally() {
  const auto& state = detail::TheState();
  return Counts{state.passed.load(), state.failed.load()};
}

// From now on the first failed check aborts the program.
inline void AbortOnFailure() { detail::TheState().abortOnFailure = true; }

// What the checks made while it lives are about, for failure messages.
class ScopedCase {
 public:
  explicit ScopedCase(std::string what) : previous_(std::exchange(detail::TheState().currentCase, std::move(what))) {}
  ~ScopedCase() { detail::TheState().currentCase = std::move(previous_); }
  ScopedCase(const ScopedCase&) = delete;
  ScopedCase& operator=(const ScopedCase&) = delete;

 private:
  std::string previous_;
};

inline bool Check(bool ok, const char* file, int line, const char* what) {
  auto& state = detail::TheState();
  if (ok) {
    ++state.passed;
    return true;
  }
  ++state.failed;
  const std::string where = state.currentCase.empty() ? std::string() : " [" + state.currentCase + "]";
  if (state.abortOnFailure) {
    std::fprintf(stderr, "%s:%d: invariant broken%s: %s\n", file, line, where.c_str(), what);
    std::fflush(stderr);
    std::abort();
  }
  std::printf("%s:%d: FAILED%s: %s\n", file, line, where.c_str(), what);
  std::fflush(stdout);
  return false;
}

inline bool Check(bool ok, const char* file, int line, const std::string& what) {
  return Check(ok, file, line, what.c_str());
}

inline bool NoFaults(const std::vector<std::string>& faults, const char* file, int line) {
  if (faults.empty()) return Check(true, file, line, "");
  for (const auto& fault : faults) Check(false, file, line, fault);
  return false;
}

// Prints the closing line; the exit status for main.
inline int Finish() {
  const Counts counts = Tally();
  if (counts.passed + counts.failed == 0) std::printf("no check was made\n");
  std::printf("%d passed, %d failed\n", counts.passed, counts.failed);
  std::fflush(stdout);
  return counts.failed == 0 && counts.passed > 0 ? 0 : 1;
}

template <typename T>
std::string Shown(const T& value) {
  if constexpr (std::is_same_v<T, bool>) {
    return value ? "true" : "false";
  } else if constexpr (std::is_enum_v<T>) {
    return std::to_string(static_cast<long long>(value));
  } else if constexpr (std::is_pointer_v<T>) {
    char text[32];
    std::snprintf(text, sizeof text, "%p", static_cast<const void*>(value));
    return text;
  } else {
    return std::to_string(value);
  }
}

}  // namespace check

#define CHECK(cond) ::check::Check(static_cast<bool>(cond), __FILE__, __LINE__, #cond)
#define CHECK_THAT(cond, what) ::check::Check(static_cast<bool>(cond), __FILE__, __LINE__, (what))
#define CHECK_NO_FAULTS(faults) ::check::NoFaults((faults), __FILE__, __LINE__)
#define CHECK_EQ(a, b) \
  ::check::Check((a) == (b), __FILE__, __LINE__, std::string(#a " == " #b " (got ") + ::check::Shown(a) + ")")
#define CHECK_STR(a, b)                                                \
  ::check::Check(std::string(a) == std::string(b), __FILE__, __LINE__, \
                 std::string(#a " is \"") + (a) + "\", expected \"" + (b) + "\"")
