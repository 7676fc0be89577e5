// The fields of a row that the figures are made of, by the column that holds
// them: how a log's rows reach the figures, whoever read them.
#pragma once

#include <array>
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace wutally::report {

enum class Column : std::uint8_t {
    date,
    name,
    cpu,
    version,
    bg_score,
    bg_power,
    bg_chisq,
    bs_score,
    bs_power,
    user_name,
    nwus,
    nresults,
    total_cpu,
};

inline constexpr std::size_t column_count = 13;

constexpr std::size_t index_of(Column column) {
    return static_cast<std::size_t>(column);
}

// The header text that heads each column in a log.
inline constexpr std::array<std::string_view, column_count> column_headers{
    "date",     "name",     "cpu",       "version", "bg_score", "bg_power", "bg_chisq",
    "bs_score", "bs_power", "user_name", "nwus",    "nresults", "total_cpu"};

// Which columns a log has.
using ColumnSet = std::bitset<column_count>;

// One row's fields; empty where the log has no such column.
struct RowFields {
    std::array<std::string_view, column_count> fields{};

    std::string_view operator[](Column column) const { return fields[index_of(column)]; }
    std::string_view& operator[](Column column) { return fields[index_of(column)]; }
};

// The largest CPU time, in seconds, that the CPU figures take as plausible.
inline constexpr double longest_cpu_seconds = 1e9;

} // namespace wutally::report
