// The log's fixed columns: a date column, then three lists of keys, each
// looked up in one client file.
#pragma once

#include <array>
#include <span>
#include <string_view>

namespace wutally::log {

enum class Source { user_info, result, state };

struct ColumnList {
    Source source;
    std::span<const std::string_view> keys;
};

extern const ColumnList user_columns;
extern const ColumnList work_unit_columns;
extern const ColumnList state_columns;

// The lists in the order their columns stand in the log.
inline constexpr std::array<const ColumnList*, 3> column_lists{&user_columns, &work_unit_columns,
                                                               &state_columns};

// The text that heads a key's column: the key itself, except the volunteer's
// "name", headed "user_name" so the work unit's "name" is the first "name".
std::string_view header_text(const ColumnList& list, std::string_view key);

} // namespace wutally::log
