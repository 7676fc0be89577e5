// Numbers as people read them, the same in every locale.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace wutally::report {

// 1234567 as "1,234,567".
std::string format_count(std::uint64_t count);
// With `decimals` digits after the point and the whole part grouped:
// "3,512.40".
std::string format_fixed(double value, int decimals);
// The same without grouping, for markup: "3512.40".
std::string format_plain(double value, int decimals);
// The shortest text that reads back as the same number: "2.117283".
std::string format_shortest(double value);
// A count and what it counts, singular or plural: "1 log", "1,084 logs".
std::string format_counted(std::uint64_t count, std::string_view one, std::string_view many);
// CPU seconds as hours: "9.75 h".
std::string format_hours(double seconds);
// The same, or "-" for none.
std::string format_hours_or_dash(const std::optional<double>& seconds);

} // namespace wutally::report
