// Local times, as the logs hold them, as moments: the time zone of the
// machine that runs the report, or one a test sets.
#pragma once

#include <cstdint>
#include <optional>

namespace wutally::platform {

// A date and time on a wall clock.
struct WallTime {
    int year = 1970;
    unsigned month = 1; // 1 to 12
    unsigned day = 1;   // 1 to 31
    int second_of_day = 0;
};

class LocalZone {
  public:
    LocalZone() = default;
    LocalZone(const LocalZone&) = delete;
    LocalZone& operator=(const LocalZone&) = delete;
    virtual ~LocalZone() = default;

    // Seconds since 1970-01-01 00:00:00 UTC. A time the clocks showed twice
    // (the hour after they went back) is the first of the two; a time they
    // never showed (the hour they skipped) is read on the clock as it was
    // before it went forward. None where the system cannot tell.
    virtual std::optional<std::int64_t> unix_seconds(const WallTime& time) = 0;
};

// The zone the system is set to (TZ where it is set).
class SystemZone final : public LocalZone {
  public:
    std::optional<std::int64_t> unix_seconds(const WallTime& time) override;
};

} // namespace wutally::platform
