#include "report/rendering/number_format.hpp"

#include <array>
#include <charconv>

namespace wutally::report {

namespace {

// Puts a comma between each group of three digits of the whole part.
std::string grouped(std::string_view digits) {
    const bool negative = digits.starts_with('-');
    const std::string_view sign = negative ? "-" : "";
    digits.remove_prefix(sign.size());
    const std::size_t whole = std::min(digits.find('.'), digits.size());
    std::string text(sign);
    for (std::size_t at = 0; at < whole; ++at) {
        if (at != 0 && (whole - at) % 3 == 0) {
            text += ',';
        }
        text += digits[at];
    }
    return text.append(digits.substr(whole));
}

} // namespace

std::string format_count(std::uint64_t count) {
    std::array<char, 24> digits{};
    const auto result = std::to_chars(digits.data(), digits.data() + digits.size(), count);
    return grouped({digits.data(), result.ptr});
}

std::string format_plain(double value, int decimals) {
    std::array<char, 400> digits{};
    const auto result = std::to_chars(digits.data(), digits.data() + digits.size(), value,
                                      std::chars_format::fixed, decimals);
    return {digits.data(), result.ptr};
}

std::string format_fixed(double value, int decimals) {
    return grouped(format_plain(value, decimals));
}

std::string format_shortest(double value) {
    std::array<char, 32> digits{};
    const auto result = std::to_chars(digits.data(), digits.data() + digits.size(), value);
    return {digits.data(), result.ptr};
}

std::string format_counted(std::uint64_t count, std::string_view one, std::string_view many) {
    return format_count(count) + " " + std::string(count == 1 ? one : many);
}

std::string format_hours(double seconds) {
    return format_fixed(seconds / 3600, 2) + " h";
}

std::string format_hours_or_dash(const std::optional<double>& seconds) {
    return seconds ? format_hours(*seconds) : "-";
}

} // namespace wutally::report
