#include "report/reading/log_scan.hpp"

#include "log/header_table.hpp"
#include "log/line_reader.hpp"
#include "log/log_file.hpp"
#include "log/split_point.hpp"
#include "platform/side_by_side.hpp"
#include "report/figures/log_time.hpp"
#include "report/reading/log_source.hpp"
#include "report/reading/report_columns.hpp"

#include <algorithm>
#include <memory>

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
        return "no \"date\" column in the header row";
    case ScanError::not_a_log:
        break;
    }
    return "not a log: the first line does not end";
}

std::string log_file_of(platform::FileSystem& files, const std::string& path) {
    if (path == standard_input_path) {
        return path;
    }
    if (const auto state = files.state_of(path);
        !state || state->kind != platform::FileKind::directory) {
        return path;
    }
    std::string file = path;
    if (!file.ends_with(platform::directory_separator) && !file.ends_with('/')) {
        file += platform::directory_separator;
    }
    return file.append(log::log_file_name);
}

namespace {

ScanError open_failure(platform::FileSystem& files, const std::string& given,
                       const std::string& file) {
    if (files.state_of(file)) {
        return ScanError::cannot_open;
    }
    return given == file ? ScanError::missing : ScanError::no_log_in_directory;
}

// An open log, and how long it is where it is a file that can be read in
// parts.
struct OpenedLog {
    std::unique_ptr<platform::File> file;
    std::optional<std::uint64_t> size;
};

Result<OpenedLog, ScanError> open_log(platform::FileSystem& files, const std::string& given,
                                      const std::string& file_path) {
    // Pipes and FIFOs are read as they come, however slowly.
    const bool standard_input = file_path == standard_input_path;
    auto file = standard_input ? files.standard_input() : files.open_stream(file_path);
    if (!file) {
        return open_failure(files, given, file_path);
    }
    OpenedLog opened{std::move(*file), std::nullopt};
    if (!standard_input) {
        const auto state = files.state_of(file_path);
        if (state && state->kind == platform::FileKind::file) {
            opened.size = state->size;
        }
    }
    return opened;
}

Result<ReportColumns, ScanError> read_header(log::LogReader& reader) {
    reader.limit_line_length(longest_header);
    const auto first_line = reader.read_log_line();
    if (!first_line) {
        return reader.failed()          ? ScanError::read_error
               : reader.line_too_long() ? ScanError::not_a_log
                                        : ScanError::empty;
    }
    reader.limit_line_length(std::nullopt);
    log::Record record;
    log::parse_log_record(*first_line, record);
    log::HeaderTable header;
    header.load_header_table(record);
    if (!header.column_of("name")) {
        return ScanError::no_name_column;
    }
    if (!header.column_of("date")) {
        return ScanError::no_date_column;
    }
    return ReportColumns(header);
}

// Hands every row of the reader's part to `take`, split as far as the
// figures need; false where a read failed.
template <class Take>
bool read_rows(log::LogReader& reader, const ReportColumns& columns, Take take) {
    log::Record record;
    while (const auto line = reader.read_log_line()) {
        if (line->empty()) {
            continue; // a blank line is not a row
        }
        take(columns.fields_of(*line, record));
    }
    return !reader.failed();
}

// About how many rows a log of `size` bytes holds, by the lines that follow
// its header in the reader's buffer.
std::size_t rows_expected(const log::LogReader& reader, std::uint64_t size) {
    const auto sample = reader.buffered();
    const auto lines = std::count(sample.begin(), sample.end(), '\n');
    if (lines < 16) {
        return 0;
    }
    const auto row_size =
        static_cast<std::uint64_t>(sample.size()) / static_cast<std::uint64_t>(lines);
    return static_cast<std::size_t>(size / std::max<std::uint64_t>(row_size, 1) * 21 / 20);
}

// A long log is read in two parts at once: this thread adds the rows of the
// first, a second thread prepares those of the second, and the collector
// then takes those too. Adding a row takes about as long as preparing one,
// so the first part is only a little the smaller: this thread also makes
// room for the names and then takes the prepared rows.
Result<void, ScanError> scan_in_parts(const platform::File& file, std::uint64_t size,
                                      std::uint64_t middle, LogName log,
                                      FigureCollector& collector) {
    log::LogReader first(file, log::ByteRange{0, middle});
    const auto columns = read_header(first);
    if (!columns) {
        return columns.error();
    }
    collector.begin_log(std::move(log), columns->present());
    PreparedRows prepared(collector, columns->present());
    prepared.expect_rows(rows_expected(first, size - middle));
    bool first_read = false;
    bool second_read = false;
    platform::run_side_by_side(
        [&] {
            // Making room for the names takes a while: it overlaps the
            // second part's start.
            collector.expect_rows(rows_expected(first, size));
            first_read =
                read_rows(first, *columns, [&](const RowFields& row) { collector.add_row(row); });
        },
        [&] {
            log::LogReader second(file, log::ByteRange{middle, size});
            second_read =
                read_rows(second, *columns, [&](const RowFields& row) { prepared.add_row(row); });
        });
    if (!first_read || !second_read) {
        return ScanError::read_error;
    }
    collector.add_prepared(std::move(prepared));
    if (collector.needs_prepared_rows_again()) {
        log::LogReader again(file, log::ByteRange{middle, size});
        if (!read_rows(again, *columns,
                       [&](const RowFields& row) { collector.offer_again(row); })) {
            return ScanError::read_error;
        }
    }
    return {};
}

} // namespace

Result<void, ScanError> scan_log(platform::FileSystem& files, const std::string& given, LogName log,
                                 FigureCollector& collector, std::uint64_t split_size) {
    auto opened = open_log(files, given, log.path);
    if (!opened) {
        return opened.error();
    }
    const platform::File& file = *opened->file;
    if (opened->size && *opened->size >= split_size) {
        if (const auto middle = log::line_start_near(file, *opened->size * 9 / 20)) {
            return scan_in_parts(file, *opened->size, *middle, std::move(log), collector);
        }
    }
    log::LogReader reader(file);
    const auto columns = read_header(reader);
    if (!columns) {
        return columns.error();
    }
    collector.begin_log(std::move(log), columns->present());
    if (opened->size) {
        collector.expect_rows(rows_expected(reader, *opened->size));
    }
    if (!read_rows(reader, *columns, [&](const RowFields& row) { collector.add_row(row); })) {
        return ScanError::read_error;
    }
    return {};
}

Result<void, ScanError> list_skipped(platform::FileSystem& files, const std::string& given,
                                     std::string& listing) {
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
    const std::size_t date_column = *columns->place_of(Column::date);
    const std::size_t name_column = *columns->place_of(Column::name);
    log::Record record;
    std::uint64_t line_number = 1;
    while (const auto line = reader.read_log_line()) {
        ++line_number;
        if (line->empty()) {
            continue; // a blank line is not a row
        }
        log::parse_log_record(*line, record, std::max(date_column, name_column) + 1);
        const std::string_view reason =
            !parse_stamp(log::field_at(record, date_column)) ? "the date is not a date and time"
            : log::field_at(record, name_column).empty()     ? "the name is empty"
                                                             : "";
        if (!reason.empty()) {
            listing.append(file_path).append(":").append(std::to_string(line_number));
            listing.append(": ").append(reason).append("\n");
        }
    }
    if (reader.failed()) {
        return ScanError::read_error;
    }
    return {};
}

} // namespace wutally::report
