// What the report reads out of a field: numbers, whole fields only.
#pragma once

#include <optional>
#include <string_view>

namespace wutally::report {

// A number written in the whole field ("35112.453125", "-3.86",
// "1.215623e+01"), read the same whatever the locale; none unless the whole
// field is one finite number. Plain decimals of up to fifteen digits are read
// on a fast path, every other form as parse_number_plain reads it.
std::optional<double> parse_number(std::string_view field);

// True where the field is surely no number at or above `bound`: a plain
// decimal whose whole part is more than 1 below it. False where that takes
// reading the number.
bool is_surely_below(std::string_view field, double bound);

// The same by from_chars alone, which the fast path must equal.
std::optional<double> parse_number_plain(std::string_view field);

// A CPU time in seconds, where the field holds a plausible one, and NaN
// otherwise: none below zero or above longest_cpu_seconds (some 30 years),
// so that sums and means of any number of work units stay finite.
double cpu_seconds(std::string_view field);

} // namespace wutally::report
