// What the report reads out of a field: numbers and times, whole fields only.
#pragma once

#include "report/log_time.hpp"

#include <optional>
#include <string_view>

namespace wutally::report {

// A number written in the whole field ("35112.453125", "-3.86",
// "1.215623e+01"), read the same whatever the locale; none unless the whole
// field is one finite number.
std::optional<double> parse_number(std::string_view field);

} // namespace wutally::report
