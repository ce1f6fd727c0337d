#include "civil_time.h"

namespace korvane_cli {
namespace {

// Days from 1970-01-01 to year-month-day. The year is counted from March, so
// that the leap day ends it; a 400-year era has 146097 days.
std::int64_t DaysFromCivil(std::int64_t year, int month, int day) {
  year -= month <= 2 ? 1 : 0;
  const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
  const std::int64_t yearOfEra = year - era * 400;                          // 0 to 399
  const int monthFromMarch = month > 2 ? month - 3 : month + 9;            // 0 to 11
  const std::int64_t dayOfYear = (153 * monthFromMarch + 2) / 5 + day - 1;  // 0 to 365
  const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;  // 719468: 0000-03-01 to 1970-01-01
}

}  // namespace

std::int64_t SecondsAsIfUtc(const std::tm& civil) {
  const std::int64_t days = DaysFromCivil(std::int64_t{civil.tm_year} + 1900, civil.tm_mon + 1, civil.tm_mday);
  return days * 86400 + civil.tm_hour * 3600 + civil.tm_min * 60 + civil.tm_sec;
}

}  // namespace korvane_cli
