// The calendar arithmetic behind --watch's UTC offset, which takes the place
// of timegm and _mkgmtime.
#include "civil_time.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <ctime>

namespace korvane_cli {
namespace {

std::tm Civil(int year, int month, int day, int hour, int minute, int second) {
  std::tm civil{};
  civil.tm_year = year - 1900;
  civil.tm_mon = month - 1;
  civil.tm_mday = day;
  civil.tm_hour = hour;
  civil.tm_min = minute;
  civil.tm_sec = second;
  return civil;
}

TEST(CivilTimeTest, SecondsFromTheEpochOfDatesThatTripCalendarArithmetic) {
  struct Case {
    const char* what;
    std::tm civil;
    std::int64_t seconds;
  };
  const Case cases[] = {
      {"the epoch", Civil(1970, 1, 1, 0, 0, 0), 0},
      {"the second before it", Civil(1969, 12, 31, 23, 59, 59), -1},
      {"a leap day of a year divisible by 400", Civil(2000, 2, 29, 12, 0, 0), 951825600},
      {"the day after it", Civil(2000, 3, 1, 0, 0, 0), 951868800},
      {"1900, divisible by 100 and no leap year", Civil(1900, 3, 1, 0, 0, 0), -2203891200},
      {"2100, the next such", Civil(2100, 3, 1, 0, 0, 0), 4107542400},
      {"past 32-bit time_t", Civil(2038, 1, 19, 3, 14, 8), 2147483648},
      {"FILETIME's epoch, another 400-year era", Civil(1601, 1, 1, 0, 0, 0), -11644473600},
      {"a leap second, as the next minute's first", Civil(2016, 12, 31, 23, 59, 60), 1483228800},
      {"a time of day", Civil(2026, 12, 9, 7, 5, 3), 1796799903},
  };
  for (const auto& c : cases) EXPECT_EQ(SecondsAsIfUtc(c.civil), c.seconds) << c.what;
}

// Every day from 1901 to 2199, each at another time of day, against the C
// library's own reading of UTC.
TEST(CivilTimeTest, AgreesWithTheHostsGmtimeOnEveryDayOfThreeCenturies) {
  constexpr std::int64_t kDay = 86400;
  constexpr std::int64_t kFirstDay = -2177452800 / kDay;  // 1901-01-01
  constexpr std::int64_t kEndDay = 7258118400 / kDay;     // 2200-01-01
  for (std::int64_t day = kFirstDay; day < kEndDay; ++day) {
    const std::int64_t seconds = day * kDay + (day * 3661 % kDay + kDay) % kDay;
    const std::time_t time = static_cast<std::time_t>(seconds);
    std::tm civil{};
    ASSERT_NE(gmtime_r(&time, &civil), nullptr);
    ASSERT_EQ(SecondsAsIfUtc(civil), seconds) << std::asctime(&civil);
  }
}

}  // namespace
}  // namespace korvane_cli
