#include "core/Timing.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace {

// Days from the framework's epoch 1899-12-30 to the Unix epoch 1970-01-01.
constexpr double unixEpochAsDateTime = 25569.0;

// Offset of local time from UTC at `when`, in seconds.
long localOffsetSeconds(std::time_t when) {
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &when);
    std::tm utc{};
    gmtime_s(&utc, &when);
    utc.tm_isdst = local.tm_isdst;
    return static_cast<long>(std::difftime(std::mktime(&local), std::mktime(&utc)));
#else
    localtime_r(&when, &local);
    return local.tm_gmtoff;
#endif
}

} // namespace

double nowAsDateTime() {
    using namespace std::chrono;
    auto now = system_clock::now();
    auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count();
    auto offsetMs = static_cast<long long>(localOffsetSeconds(system_clock::to_time_t(now))) * 1000;
    return unixEpochAsDateTime + static_cast<double>(ms + offsetMs) / millisecondsPerDay;
}

std::string formatDuration(double days) {
    long long ms = 0;
    if (std::isfinite(days) && days > 0) {
        // Only the time of day is shown: whole days are dropped before rounding can carry
        // into them.
        double fraction = days - std::floor(days);
        ms = std::llround(fraction * millisecondsPerDay) % 86400000LL;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld:%03lld", ms / 3600000, ms / 60000 % 60,
                  ms / 1000 % 60, ms % 1000);
    return text;
}
