#include "log/duplicate_check.hpp"

#include "client/key_lookup.hpp"
#include "log/log_reader.hpp"
#include "log/row_format.hpp"

namespace wutally::log {

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
    while (const auto line = reader.read_log_line()) {
        if (!column) {
            check.outcome = CheckOutcome::no_name_column;
            return check;
        }
        // Only the fields up to the name column are needed.
        parse_log_record(*line, record, *column + 1);
        if (field_at(record, *column) == check.name) {
            check.outcome = CheckOutcome::already_logged;
            return check;
        }
    }
    if (reader.failed()) {
        check.outcome = CheckOutcome::read_error;
    }
    return check;
}

} // namespace wutally::log
