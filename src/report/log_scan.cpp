#include "report/log_scan.hpp"

#include "log/log_file.hpp"
#include "log/log_reader.hpp"
#include "platform/file.hpp"

#include <filesystem>
#include <system_error>

namespace wutally::report {

std::string_view describe(ScanError error) {
    switch (error) {
    case ScanError::missing:
        return "no such file or directory";
    case ScanError::no_log_in_directory:
        return "no WUTally.csv in this directory";
    case ScanError::cannot_open:
        return "cannot be opened for reading";
    case ScanError::read_error:
        return "error reading the log";
    case ScanError::empty:
        return "the log is empty: it has no header row";
    case ScanError::no_name_column:
        return "no \"name\" column in the header row";
    case ScanError::no_date_column:
        break;
    }
    return "no \"date\" column in the header row";
}

std::string log_file_of(const std::string& path) {
    std::error_code error;
    if (!std::filesystem::is_directory(path, error)) {
        return path;
    }
    std::string file = path;
    if (!file.ends_with(platform::directory_separator) && !file.ends_with('/')) {
        file += platform::directory_separator;
    }
    return file.append(log::log_file_name);
}

namespace {

std::optional<ScanError> open_failure(const std::string& given, const std::string& file) {
    std::error_code error;
    if (std::filesystem::exists(file, error)) {
        return ScanError::cannot_open;
    }
    return given == file ? ScanError::missing : ScanError::no_log_in_directory;
}

} // namespace

std::optional<ScanError> scan_log(const std::string& path, FigureCollector& collector) {
    const std::string file_path = log_file_of(path);
    const auto file = platform::File::open_shared_read(file_path);
    if (!file) {
        return open_failure(path, file_path);
    }
    log::LogReader reader(*file);
    log::Record record;
    log::HeaderTable header;
    const auto first_line = reader.read_log_line();
    if (!first_line) {
        return reader.failed() ? ScanError::read_error : ScanError::empty;
    }
    log::parse_log_record(*first_line, record);
    header.load_header_table(record);
    const auto name = header.column_of("name");
    const auto date = header.column_of("date");
    if (!name) {
        return ScanError::no_name_column;
    }
    if (!date) {
        return ScanError::no_date_column;
    }
    const ReportColumns columns = find_columns(header, *date, *name);
    const std::size_t fields = columns.fields_needed();
    collector.begin_log(file_path, columns);
    while (const auto line = reader.read_log_line()) {
        if (line->empty()) {
            continue; // a blank line is not a row
        }
        log::parse_log_record(*line, record, fields);
        collector.add_row(record);
    }
    if (reader.failed()) {
        return ScanError::read_error;
    }
    return std::nullopt;
}

} // namespace wutally::report
