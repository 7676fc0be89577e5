#include "report/figures/field_values.hpp"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>

namespace wutally::report {

namespace {

// Whole powers of ten a double holds exactly.
constexpr std::array<double, 23> exact_powers{1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                              1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                              1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// "-ddd.ddd" of at most fifteen digits: its digits make a whole number a
// double holds exactly, and one division by an exact power of ten rounds
// it as from_chars does. None for any other form, which from_chars reads.
std::optional<double> parse_plain_decimal(std::string_view field) {
    const bool negative = !field.empty() && field.front() == '-';
    field.remove_prefix(negative ? 1 : 0);
    std::uint64_t digits = 0;
    std::size_t count = 0;
    std::size_t fraction = 0;
    bool point = false;
    for (const char byte : field) {
        if (byte >= '0' && byte <= '9') {
            digits = digits * 10 + static_cast<std::uint64_t>(byte - '0');
            ++count;
            fraction += point ? 1 : 0;
        } else if (byte == '.' && !point) {
            point = true;
        } else {
            return std::nullopt;
        }
    }
    if (count == 0 || count > 15 || (point && fraction == 0) || field.front() == '.') {
        return std::nullopt;
    }
    const double value = static_cast<double>(digits) / exact_powers.at(fraction);
    return negative ? -value : value;
}

} // namespace

std::optional<double> parse_number(std::string_view field) {
    if (const auto plain = parse_plain_decimal(field)) {
        return plain;
    }
    return parse_number_plain(field);
}

std::optional<double> parse_number_plain(std::string_view field) {
    double value = 0;
    const char* last = field.data() + field.size();
    const auto [end, error] = std::from_chars(field.data(), last, value);
    if (error != std::errc{} || end != last || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

} // namespace wutally::report
