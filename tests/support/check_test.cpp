// The closing line that the scripts running the test programs read, and the
// abort that libFuzzer needs to keep an input.
#include "check.h"

#include <gtest/gtest.h>

#include <csignal>
#include <unistd.h>

namespace {

TEST(CheckTest, CountsAndEndsWithTheClosingLine) {
  const auto before = check::Tally();
  testing::internal::CaptureStdout();
  EXPECT_TRUE(CHECK(1 + 1 == 2));
  {
    const check::ScopedCase named("adding");
    EXPECT_FALSE(CHECK_EQ(1 + 1, 3));
  }
  EXPECT_FALSE(CHECK_THAT(false, std::string("no case now")));
  EXPECT_TRUE(CHECK_NO_FAULTS(std::vector<std::string>{}));
  EXPECT_FALSE(CHECK_NO_FAULTS((std::vector<std::string>{"first fault", "second fault"})));
  const std::string printed = testing::internal::GetCapturedStdout();
  const auto after = check::Tally();
  EXPECT_EQ(after.passed - before.passed, 2);
  EXPECT_EQ(after.failed - before.failed, 4);
  EXPECT_NE(printed.find("check_test.cpp:"), std::string::npos) << printed;
  EXPECT_NE(printed.find(": FAILED [adding]: 1 + 1 == 3 (got 2)\n"), std::string::npos) << printed;
  EXPECT_NE(printed.find(": FAILED: no case now\n"), std::string::npos) << printed;
  EXPECT_NE(printed.find(": FAILED: second fault\n"), std::string::npos) << printed;

  testing::internal::CaptureStdout();
  EXPECT_EQ(check::Finish(), 1);
  const std::string closing = testing::internal::GetCapturedStdout();
  EXPECT_EQ(closing, std::to_string(after.passed) + " passed, " + std::to_string(after.failed) + " failed\n");
}

// The abort is turned into exit status 3, which only SIGABRT gives here:
// a process killed by the signal would be reported by Valgrind's memcheck.
extern "C" void ExitOnAbort(int) { _exit(3); }

TEST(CheckTest, TheFirstFailureAbortsWhenAsked) {
  EXPECT_EXIT(
      {
        std::signal(SIGABRT, ExitOnAbort);
        check::AbortOnFailure();
        CHECK(true);
        CHECK_THAT(false, std::string("the input breaks it"));
        _exit(0);
      },
      testing::ExitedWithCode(3), "invariant broken: the input breaks it");
}

}  // namespace
