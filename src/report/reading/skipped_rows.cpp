#include "report/reading/skipped_rows.hpp"

#include "platform/concat.hpp"
#include "report/figures/row_kind.hpp"
#include "report/reading/log_header.hpp"
#include "report/reading/log_source.hpp"

namespace wutally::report {

namespace {

std::string_view reason_for(RowKind kind) {
    switch (kind) {
    case RowKind::bad_date:
        return "the date is not a date and time";
    case RowKind::no_name:
        return "the name is empty";
    case RowKind::used:
    case RowKind::out_of_range:
        break;
    }
    return {};
}

} // namespace

Result<void, ScanError> list_skipped(platform::FileSystem& files, const std::string& given,
                                     const std::function<void(std::string_view)>& take) {
    const std::string file_path = log_file_of(files, given);
    auto opened = open_log(files, given, file_path);
    if (!opened) {
        return opened.error();
    }
    log::LogReader reader(*opened->file);
    const auto columns = read_header(reader);
    if (!columns) {
        return columns.error();
    }
    RowClassifier kinds;
    log::Record record;
    std::uint64_t line_number = 1;
    const auto read = log::for_each_line(reader, [&](std::span<char> line) {
        ++line_number;
        if (line.empty()) {
            return true; // a blank line is not a row
        }
        const std::string_view reason =
            reason_for(kinds.classify(columns->fields_of(line, record)).kind);
        if (!reason.empty()) {
            take(concat(file_path, ":", std::to_string(line_number), ": ", reason, "\n"));
        }
        return true;
    });
    if (!read) {
        return ScanError::read_error;
    }
    return {};
}

} // namespace wutally::report
