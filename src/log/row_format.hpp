// The bytes of the log: its header row and its data rows.
#pragma once

#include "log/columns.hpp"
#include "platform/console.hpp"

#include <ctime>
#include <string>
#include <string_view>

namespace wutally::log {

// The loaded client texts, as the lookups see them.
struct ClientTexts {
    std::string_view user_info;
    std::string_view result;
    std::string_view state;

    [[nodiscard]] std::string_view of(Source source) const;
};

// The 57 header texts, each in double quotes, separated by commas.
std::string header_row();

// "YYYY.MM.DD hh:mm:ss", the form of the date field and the success line.
std::string format_timestamp(const std::tm& time);

// Appends one value as a field, without a separator. Leading spaces and one trailing carriage
// return are dropped; a value holding a letter, a comma or a double quote is
// quoted, with its quotes doubled; anything else is written bare.
void append_value_field(std::string& row, std::string_view value);

// The date field and the 56 looked-up values, without a line break. Lookups
// that fail print their messages and leave their fields empty.
std::string data_row(const ClientTexts& texts, const std::tm& time, platform::Console& console);

// What stands before each data row, unless the log already ends in a line
// break.
inline constexpr std::string_view row_separator = "\r\n";

// The value as the writer stores it: leading spaces and one trailing carriage
// return dropped.
std::string_view stored_form(std::string_view value);

} // namespace wutally::log
