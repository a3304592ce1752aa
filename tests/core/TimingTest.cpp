#include "core/Timing.h"

#include <ctime>
#include <gtest/gtest.h>
#include <limits>

namespace {

double fromMs(double ms) {
    return ms / millisecondsPerDay;
}

TEST(Timing, DurationFormatIsHoursMinutesSecondsMilliseconds) {
    EXPECT_EQ(formatDuration(0), "0:00:00:000");
    EXPECT_EQ(formatDuration(fromMs(1500)), "0:00:01:500");
    EXPECT_EQ(formatDuration(fromMs(250)), "0:00:00:250");
    EXPECT_EQ(formatDuration(fromMs(((13 * 60 + 7) * 60 + 9) * 1000.0 + 42)), "13:07:09:042");
}

TEST(Timing, WholeDaysAreDroppedAndNonsenseShowsZero) {
    EXPECT_EQ(formatDuration(1.0 + fromMs(61001)), "0:01:01:001");
    // Rounding just below a whole day must not show 24 hours.
    EXPECT_EQ(formatDuration(fromMs(86400000 - 0.2)), "0:00:00:000");
    EXPECT_EQ(formatDuration(-fromMs(5000)), "0:00:00:000");
    EXPECT_EQ(formatDuration(std::numeric_limits<double>::infinity()), "0:00:00:000");
}

TEST(Timing, NowIsTheLocalWallClockInDaysSince1899) {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    double expected = 25569.0 + static_cast<double>(now + local.tm_gmtoff) / 86400.0;
    EXPECT_NEAR(nowAsDateTime(), expected, 5.0 / 86400.0);
}

} // namespace
