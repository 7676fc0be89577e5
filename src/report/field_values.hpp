// What the report reads out of a field: numbers and dates, whole fields only.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace wutally::report {

// A number written in the whole field ("35112.453125", "-3.86",
// "1.215623e+01"), read the same whatever the locale; none unless the whole
// field is one finite number.
std::optional<double> parse_number(std::string_view field);

// A date field's time as the number YYYYMMDDhhmmss, which sorts as the
// times do. None unless the field is exactly "YYYY.MM.DD hh:mm:ss" and a
// real date and time.
using Stamp = std::int64_t;
std::optional<Stamp> parse_stamp(std::string_view field);

// "YYYY.MM.DD hh:mm:ss" again.
std::string format_stamp(Stamp stamp);

// The month of a time as YYYYMM, and as "YYYY-MM".
constexpr int month_of(Stamp stamp) {
    return static_cast<int>(stamp / 100000000);
}
std::string format_month(int month);

// Days since 1970-01-01 plus the fraction of the day, for placing times on
// a chart's axis.
double days_since_epoch(Stamp stamp);
// The time of such a day count, to the second below.
Stamp stamp_of_days(double days);
// The month's first day in the same measure.
double month_start_days(int month);
// The month (YYYYMM) a day of that measure falls in, and the day as
// "YYYY-MM-DD".
int month_of_day(double days);
std::string format_day(double days);

} // namespace wutally::report
