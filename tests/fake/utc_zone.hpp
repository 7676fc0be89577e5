// Local time as UTC, so that a test's moments do not hang on the machine's
// zone.
#pragma once

#include "platform/local_zone.hpp"

#include <chrono>

namespace wutally::fake {

class UtcZone final : public platform::LocalZone {
  public:
    std::optional<std::int64_t> unix_seconds(const platform::WallTime& time) override {
        const std::chrono::sys_days day{std::chrono::year{time.year} /
                                        std::chrono::month{time.month} /
                                        std::chrono::day{time.day}};
        return day.time_since_epoch() / std::chrono::seconds{1} + time.second_of_day;
    }
};

} // namespace wutally::fake
