#include "platform/local_zone.hpp"

#include <algorithm>
#include <ctime>

namespace wutally::platform {

namespace {

struct Reading {
    std::int64_t moment = 0;
    bool shown = false; // the zone showed this wall time with that setting
};

// The wall time read with summer time on or off. mktime moves a time the
// zone did not show so into range, which tells it apart.
std::optional<Reading> read_with(const WallTime& time, int second_of_day, int summer) {
    std::tm fields{};
    fields.tm_year = time.year - 1900;
    fields.tm_mon = static_cast<int>(time.month) - 1;
    fields.tm_mday = static_cast<int>(time.day);
    fields.tm_hour = second_of_day / 3600;
    fields.tm_min = second_of_day / 60 % 60;
    fields.tm_sec = second_of_day % 60;
    fields.tm_isdst = summer;
    const std::tm asked = fields;
    const std::time_t moment = std::mktime(&fields);
    if (moment == static_cast<std::time_t>(-1)) {
        return std::nullopt;
    }
    const bool shown = fields.tm_isdst == summer && fields.tm_mday == asked.tm_mday &&
                       fields.tm_hour == asked.tm_hour && fields.tm_min == asked.tm_min;
    return Reading{static_cast<std::int64_t>(moment), shown};
}

} // namespace

std::optional<std::int64_t> SystemZone::unix_seconds(const WallTime& time) {
    // A leap second, 23:59:60, is the second after 23:59:59.
    const int second = std::min(time.second_of_day, 86399);
    const int beyond = time.second_of_day - second;
    const auto summer = read_with(time, second, 1);
    const auto winter = read_with(time, second, 0);
    if (!summer || !winter) {
        return std::nullopt;
    }
    std::int64_t moment = winter->moment; // skipped: the clock before it went forward
    if (summer->shown && winter->shown) {
        moment = std::min(summer->moment, winter->moment);
    } else if (summer->shown) {
        moment = summer->moment;
    }
    return moment + beyond;
}

} // namespace wutally::platform
