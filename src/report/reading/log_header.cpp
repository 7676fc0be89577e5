#include "report/reading/log_header.hpp"

#include "log/header_table.hpp"
#include "log/record_parser.hpp"

#include <string>

namespace wutally::report {

namespace {

ScanError no_name_column(const std::string& header_row) {
    switch (log::other_separator(header_row).value_or(',')) {
    case ';':
        return ScanError::semicolons;
    case '\t':
        return ScanError::tabs;
    default:
        return ScanError::no_name_column;
    }
}

} // namespace

Result<ReportColumns, ScanError> read_header(log::LogReader& reader) {
    reader.limit_line_length(longest_header);
    const auto first_line = reader.read_log_line();
    if (!first_line) {
        return first_line.error() == log::ReadError::line_too_long ? ScanError::not_a_log
                                                                   : ScanError::read_error;
    }
    if (!*first_line) {
        return ScanError::empty;
    }
    reader.limit_line_length(std::nullopt);
    const std::string header_row((*first_line)->data(), (*first_line)->size());
    log::Record record;
    log::parse_log_record(**first_line, record);
    log::HeaderTable header;
    header.load_header_table(record);
    if (!header.column_of("name")) {
        return no_name_column(header_row);
    }
    if (!header.column_of("date")) {
        return ScanError::no_date_column;
    }
    return ReportColumns(header);
}

} // namespace wutally::report
