// The bytes of the log: its header row and its data rows.
#pragma once

#include "client/key_lookup.hpp"
#include "log/columns.hpp"

#include <ctime>
#include <string>
#include <string_view>
#include <vector>

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

// Appends one value as a field, without a separator, in its stored form; a
// value holding a letter, a comma or a double quote is quoted, with its
// quotes doubled; anything else is written bare.
void append_value_field(std::string& row, std::string_view value);

// A key whose lookup failed; its field is left empty.
struct MissingValue {
    std::string_view key;
    client::LookupFailure failure;
};

struct DataRow {
    std::string bytes;                 // the fields, without a line break
    std::vector<MissingValue> missing; // in column order
};

// The date field and the 56 looked-up values.
DataRow data_row(const ClientTexts& texts, const std::tm& time);

// What stands before each data row, unless the log already ends in a line
// break.
inline constexpr std::string_view row_separator = "\r\n";

// The value as the writer stores it: every trailing carriage return dropped,
// any other written as a space, so that no value can end a line of the log,
// then leading spaces dropped.
std::string stored_form(std::string_view value);

} // namespace wutally::log
