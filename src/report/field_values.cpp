#include "report/field_values.hpp"

#include <charconv>
#include <cmath>

namespace wutally::report {

std::optional<double> parse_number(std::string_view field) {
    double value = 0;
    const char* last = field.data() + field.size();
    const auto [end, error] = std::from_chars(field.data(), last, value);
    if (error != std::errc{} || end != last || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

} // namespace wutally::report
