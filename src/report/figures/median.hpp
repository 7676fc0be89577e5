// The median of a list of CPU times, found in a time that grows with the
// list but stays a few passes over it, however long it is.
#pragma once

#include <optional>
#include <span>

namespace wutally::report {

// The median, the mean of the two middle values for an even count; none for
// no values. The values, none of them NaN, are reordered.
std::optional<double> median(std::span<double> values);

// The same by selection among all the values: the plain way, which the
// median above must always equal.
std::optional<double> median_by_selection(std::span<double> values);

} // namespace wutally::report
