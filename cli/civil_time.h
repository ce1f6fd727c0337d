// Calendar arithmetic that no C library of every Windows offers: timegm is
// POSIX's, and Windows XP's msvcrt.dll has no _mkgmtime32.
#pragma once

#include <cstdint>
#include <ctime>

namespace korvane_cli {

// The seconds from 1970-01-01T00:00:00 to `civil`, read as a time in UTC on
// the proleptic Gregorian calendar (negative before 1970). The fields are
// taken as localtime gives them: tm_mon 0 to 11, tm_mday 1 to 31; tm_sec 60,
// a leap second, counts as the first second of the next minute. tm_wday,
// tm_yday and tm_isdst are not read.
std::int64_t SecondsAsIfUtc(const std::tm& civil);

}  // namespace korvane_cli
