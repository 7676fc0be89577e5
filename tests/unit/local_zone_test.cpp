// Local times read as moments in a zone that moves its clocks: the hour
// skipped in spring and the hour shown twice in autumn.
#include "platform/local_zone.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

namespace wutally::platform {
namespace {

// The zone for the test's life, given as a POSIX rule so that no time zone
// database is needed: Central European time, summer time from the last
// Sunday of March at 02:00 to the last Sunday of October at 03:00.
class CentralEurope {
  public:
    CentralEurope() {
        if (const char* zone = std::getenv("TZ")) {
            saved_ = zone;
        }
        setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
        tzset();
    }
    CentralEurope(const CentralEurope&) = delete;
    CentralEurope& operator=(const CentralEurope&) = delete;
    ~CentralEurope() {
        if (saved_) {
            setenv("TZ", saved_->c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }

  private:
    std::optional<std::string> saved_;
};

TEST(SystemZone, ReadsTheDaysTheClocksChange) {
    const CentralEurope zone_set;
    SystemZone zone;
    const auto at = [](unsigned month, unsigned day, int h, int m, int s) {
        return WallTime{2026, month, day, h * 3600 + m * 60 + s};
    };
    const struct {
        const char* label;
        WallTime time;
        std::int64_t unix_seconds;
    } cases[] = {
        {"winter", at(1, 15, 12, 0, 0), 1768474800}, // 11:00 UTC
        {"summer", at(7, 15, 12, 0, 0), 1784109600}, // 10:00 UTC
        {"before_the_spring_change", at(3, 29, 1, 59, 59), 1774745999},
        {"skipped_hour_on_the_clock_before", at(3, 29, 2, 30, 0), 1774747800},
        {"after_the_spring_change", at(3, 29, 3, 0, 0), 1774746000},
        {"autumn_hour_shown_twice_is_the_first", at(10, 25, 2, 30, 0), 1792888200},
        {"after_the_autumn_change", at(10, 25, 3, 0, 0), 1792893600},
        {"leap_second", at(12, 31, 23, 59, 60), 1798758000},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(zone.unix_seconds(c.time), c.unix_seconds) << c.label;
    }
}

} // namespace
} // namespace wutally::platform
