#include "log/duplicate_check.hpp"

#include "client/key_lookup.hpp"
#include "log/log_reader.hpp"
#include "log/row_format.hpp"

namespace wutally::log {

namespace {

// A name that a line cannot hold unsplit, or that every line holds, is
// compared line by line; any other is first looked for as plain text.
bool can_search_for(std::string_view name) {
    return !name.empty() &&
           name.find_first_of(std::string_view("\"\r\n\0", 4)) == std::string_view::npos;
}

// Reads the rest of the log until a row holds the name in the column.
bool rows_hold_name(LogReader& reader, std::string_view name, std::size_t column) {
    const SearchText search(name, reader.buffered());
    const bool skipping = can_search_for(name);
    Record record;
    while (const auto line =
               skipping ? reader.read_log_line_holding(search) : reader.read_log_line()) {
        // Only the fields up to the name column are needed.
        parse_log_record(*line, record, column + 1);
        if (field_at(record, column) == name) {
            return true;
        }
    }
    return false;
}

} // namespace

DuplicateCheck is_already_logged(const platform::File& log, std::string_view result_text,
                                 platform::Console& console) {
    LogReader reader(log);
    Record record;
    HeaderTable header;
    if (const auto first_line = reader.read_log_line()) {
        parse_log_record(*first_line, record);
        header.load_header_table(record);
    }
    const auto value = client::find_value(result_text, "name", console);
    if (!value) {
        return {CheckOutcome::no_name_value, {}};
    }
    DuplicateCheck check{CheckOutcome::not_logged, std::string(stored_form(*value))};
    const auto column = header.column_of("name");
    if (!column) {
        if (reader.read_log_line()) {
            check.outcome = CheckOutcome::no_name_column;
        }
    } else if (rows_hold_name(reader, check.name, *column)) {
        check.outcome = CheckOutcome::already_logged;
    }
    if (reader.failed()) {
        check.outcome = CheckOutcome::read_error;
    }
    check.ends_with_line_break = reader.ends_with_line_break();
    return check;
}

} // namespace wutally::log
