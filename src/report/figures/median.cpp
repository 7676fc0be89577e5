#include "report/figures/median.hpp"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace wutally::report {

namespace {

// Fewer values than this are selected among directly: counting them into
// ranges first would cost more than it saves.
constexpr std::size_t counted_from = std::size_t{1} << 16U;
constexpr unsigned range_bits = 16;

// The value's bits, turned so that their order as an unsigned number is the
// value's order; the top bits then name a range of values.
std::size_t range_of(double value) {
    const auto bits = std::bit_cast<std::uint64_t>(value);
    const std::uint64_t ordered = (bits >> 63U) != 0 ? ~bits : bits | (std::uint64_t{1} << 63U);
    return static_cast<std::size_t>(ordered >> (64U - range_bits));
}

// The mean of the values that would stand at `lower` and `upper` (equal, or
// upper the next) were the values sorted.
double middle_of(std::span<double> values, std::size_t lower, std::size_t upper) {
    const auto at_upper = values.begin() + static_cast<std::ptrdiff_t>(upper);
    std::nth_element(values.begin(), at_upper, values.end());
    if (lower == upper) {
        return *at_upper;
    }
    const double below = *std::max_element(values.begin(), at_upper);
    return (below + *at_upper) / 2;
}

} // namespace

std::optional<double> median_by_selection(std::span<double> values) {
    if (values.empty()) {
        return std::nullopt;
    }
    const std::size_t upper = values.size() / 2;
    return middle_of(values, values.size() % 2 == 1 ? upper : upper - 1, upper);
}

// The values are counted into 65,536 ranges, which tells the ranges the two
// middle values fall in; only the values in those ranges, as a rule a small
// share of them, are then copied out and selected among.
std::optional<double> median(std::span<double> values) {
    if (values.size() < counted_from) {
        return median_by_selection(values);
    }
    std::vector<std::uint32_t> counts(std::size_t{1} << range_bits);
    for (const double value : values) {
        ++counts[range_of(value)];
    }
    const std::size_t upper = values.size() / 2;
    const std::size_t lower = values.size() % 2 == 1 ? upper : upper - 1;
    std::size_t below = 0; // values in the ranges before `range`
    std::size_t range = 0;
    for (; below + counts[range] <= lower; ++range) {
        below += counts[range];
    }
    const std::size_t first_range = range;
    const std::size_t below_first = below;
    for (; below + counts[range] <= upper; ++range) {
        below += counts[range];
    }
    const std::size_t last_range = range;
    std::vector<double> middle;
    middle.reserve(below + counts[last_range] - below_first);
    for (const double value : values) {
        // One comparison, unsigned, that is rarely true: a branch the
        // processor foresees.
        if (range_of(value) - first_range <= last_range - first_range) {
            middle.push_back(value);
        }
    }
    return middle_of(middle, lower - below_first, upper - below_first);
}

} // namespace wutally::report
