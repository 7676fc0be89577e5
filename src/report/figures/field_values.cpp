#include "report/figures/field_values.hpp"

#include "report/figures/row_fields.hpp"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>

namespace wutally::report {

namespace {

// The exponent "e+dd" or "E-dd" (one to three digits, a sign or none) that
// ends a number; 0 for none.
std::optional<int> exponent_of(std::string_view rest) {
    if (rest.empty()) {
        return 0;
    }
    if (rest.size() < 2 || (rest[0] != 'e' && rest[0] != 'E')) {
        return std::nullopt;
    }
    const bool negative = rest[1] == '-';
    rest.remove_prefix(rest[1] == '+' || rest[1] == '-' ? 2 : 1);
    if (rest.empty() || rest.size() > 3) {
        return std::nullopt;
    }
    int exponent = 0;
    for (const char byte : rest) {
        if (byte < '0' || byte > '9') {
            return std::nullopt;
        }
        exponent = exponent * 10 + (byte - '0');
    }
    return negative ? -exponent : exponent;
}

// Whole powers of ten a double holds exactly.
constexpr std::array<double, 23> exact_powers{1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                              1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                              1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// "-ddd.ddd", with an exponent "e+dd" or "E-dd" or none, of at most fifteen
// digits: its digits make a whole number a double holds exactly, and one
// multiplication or division by an exact power of ten rounds it as
// from_chars does. None for any other form, which from_chars reads.
std::optional<double> parse_plain_decimal(std::string_view field) {
    const bool negative = !field.empty() && field.front() == '-';
    field.remove_prefix(negative ? 1 : 0);
    std::uint64_t digits = 0;
    std::size_t count = 0;
    std::size_t fraction = 0;
    bool point = false;
    std::size_t at = 0;
    for (; at < field.size(); ++at) {
        const char byte = field[at];
        if (byte >= '0' && byte <= '9') {
            digits = digits * 10 + static_cast<std::uint64_t>(byte - '0');
            ++count;
            fraction += point ? 1 : 0;
        } else if (byte == '.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    if (count == 0 || count > 15 || (point && fraction == 0) || field.front() == '.') {
        return std::nullopt;
    }
    const auto exponent = exponent_of(field.substr(at));
    if (!exponent) {
        return std::nullopt;
    }
    const int scale = *exponent - static_cast<int>(fraction);
    if (scale < -22 || scale > 22) {
        return std::nullopt;
    }
    const double whole = static_cast<double>(digits);
    const double value = scale < 0 ? whole / exact_powers.at(static_cast<std::size_t>(-scale))
                                   : whole * exact_powers.at(static_cast<std::size_t>(scale));
    return negative ? -value : value;
}

} // namespace

std::optional<double> parse_number(std::string_view field) {
    if (const auto plain = parse_plain_decimal(field)) {
        return plain;
    }
    return parse_number_plain(field);
}

bool is_surely_below(std::string_view field, double bound) {
    std::uint64_t whole = 0;
    std::size_t at = 0;
    for (; at < field.size() && at < 15 && field[at] >= '0' && field[at] <= '9'; ++at) {
        whole = whole * 10 + static_cast<std::uint64_t>(field[at] - '0');
    }
    if (at == 0 || static_cast<double>(whole) + 1 > bound) {
        return false;
    }
    if (at < field.size() && field[at] != '.') {
        return false; // an exponent, or more digits than are counted
    }
    for (++at; at < field.size(); ++at) {
        if (field[at] < '0' || field[at] > '9') {
            return false;
        }
    }
    return true;
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

double cpu_seconds(std::string_view field) {
    const auto seconds = parse_number(field);
    if (!seconds || *seconds < 0 || *seconds > longest_cpu_seconds) {
        return std::numeric_limits<double>::quiet_NaN();
    }
    return *seconds;
}

} // namespace wutally::report
