#pragma once
// Date-time values in the classic desktop framework's form: a double counting days since
// 1899-12-30, the fraction being the time of day.

#include <cstdint>
#include <string>

constexpr double millisecondsPerDay = 86400000.0;

// The current local wall-clock time as such a value, to the millisecond.
double nowAsDateTime();

// A duration in days formatted "h:nn:ss:zzz" (':' separators): hours without a leading zero,
// whole days dropped, rounded to the millisecond. A negative duration formats as 0:00:00:000.
std::string formatDuration(double days);
