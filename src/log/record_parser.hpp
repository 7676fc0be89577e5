// Splitting a line of the log into its fields.
#pragma once

#include <cstddef>
#include <limits>
#include <span>
#include <string_view>
#include <vector>

namespace wutally::log {

using Record = std::vector<std::string_view>;

inline constexpr std::size_t all_fields = std::numeric_limits<std::size_t>::max();

// Splits a line into its fields in place; the fields are views into the line.
// Stops once `field_limit` fields are found. Quoted fields lose their quotes,
// and a doubled quote inside stands for one.
void parse_log_record(std::span<char> line, Record& record, std::size_t field_limit = all_fields);

// The field with that index, or an empty text past the record's last field.
std::string_view field_at(const Record& record, std::size_t index);

} // namespace wutally::log
