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
#include <deque>
#include <memory>
#include <mutex>
#include <span>
#include <tuple>
#include <utility>
#include <vector>

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
    case ScanError::semicolons:
        return "no \"name\" column in the header row, which is separated by semicolons, as "
               "spreadsheets in some languages save CSV: save it again as CSV separated by commas";
    case ScanError::tabs:
        return "no \"name\" column in the header row, which is separated by tabs: save it again "
               "as CSV separated by commas";
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
    const std::string header_row(first_line->data(), first_line->size());
    log::Record record;
    log::parse_log_record(*first_line, record);
    log::HeaderTable header;
    header.load_header_table(record);
    if (!header.column_of("name")) {
        switch (log::other_separator(header_row).value_or(',')) {
        case ';':
            return ScanError::semicolons;
        case '\t':
            return ScanError::tabs;
        default:
            return ScanError::no_name_column;
        }
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

// About how many rows `bytes` of a log hold, by the lines that follow its
// header in the reader's buffer; none where they are too few to tell.
class RowEstimate {
  public:
    explicit RowEstimate(const log::LogReader& reader) {
        const auto sample = reader.buffered();
        const auto lines = std::count(sample.begin(), sample.end(), '\n');
        if (lines >= 16) {
            row_size_ = std::max<std::uint64_t>(
                static_cast<std::uint64_t>(sample.size()) / static_cast<std::uint64_t>(lines), 1);
        }
    }

    [[nodiscard]] std::size_t rows_in(std::uint64_t bytes) const {
        return row_size_ == 0 ? 0 : static_cast<std::size_t>(bytes / row_size_ * 21 / 20);
    }

  private:
    std::uint64_t row_size_ = 0;
};

// The pieces a long log is read in, each from a line's start to the next
// piece's: piece i is [starts[i], starts[i + 1]). None where the log holds
// no line start to split it at.
std::vector<std::uint64_t> piece_starts(const platform::File& file, std::uint64_t size,
                                        const ScanSizes& sizes) {
    constexpr std::uint64_t most_pieces = 256;
    const std::uint64_t count = std::min(
        std::max({size / sizes.piece, sizes.fewest_pieces, std::uint64_t{2}}), most_pieces);
    std::vector<std::uint64_t> starts{0};
    for (std::uint64_t piece = 1; piece < count; ++piece) {
        const auto start = log::line_start_near(file, size / count * piece);
        if (start && *start > starts.back() && *start < size) {
            starts.push_back(*start);
        }
    }
    if (starts.size() < 2) {
        return {};
    }
    starts.push_back(size);
    return starts;
}

// Which of a log's pieces are left to read: this thread takes them from the
// front, the second thread from the back, until the two meet. The first
// and the last piece are taken from the start.
class PieceClaims {
  public:
    explicit PieceClaims(std::size_t pieces) : back_(pieces - 1) {}

    std::optional<std::size_t> from_front() {
        const std::scoped_lock lock(mutex_);
        return front_ < back_ ? std::optional(front_++) : std::nullopt;
    }
    std::optional<std::size_t> from_back() {
        const std::scoped_lock lock(mutex_);
        return front_ < back_ ? std::optional(--back_) : std::nullopt;
    }

  private:
    std::mutex mutex_;
    std::size_t front_ = 1;
    std::size_t back_;
};

// A long log is read from both ends at once, a piece at a time: this thread
// adds the rows of pieces from the front, a second thread prepares those of
// pieces from the back, and they meet wherever their speeds take them, so
// neither waits long for the other however the machine shares its time.
// The collector then takes the prepared pieces in the log's order.
Result<void, ScanError> scan_in_pieces(const platform::File& file, std::uint64_t size,
                                       std::span<const std::uint64_t> starts, LogName log,
                                       FigureCollector& collector) {
    const auto range_of = [&](std::size_t piece) {
        return log::ByteRange{starts[piece], starts[piece + 1]};
    };
    const std::size_t pieces = starts.size() - 1;
    log::LogReader first(file, range_of(0));
    const auto columns = read_header(first);
    if (!columns) {
        return columns.error();
    }
    collector.begin_log(std::move(log), columns->present());
    const RowEstimate estimate(first);
    PieceClaims claims(pieces);
    std::deque<std::pair<log::ByteRange, PreparedRows>> prepared;
    bool first_read = false;
    bool second_read = true;
    const auto add_row = [&](const RowFields& row) { collector.add_row(row); };
    platform::run_side_by_side(
        [&] {
            // Making room for the names takes a while: it overlaps the
            // second thread's start.
            collector.expect_rows(estimate.rows_in(size));
            first_read = read_rows(first, *columns, add_row);
            while (const auto piece = first_read ? claims.from_front() : std::nullopt) {
                log::LogReader reader(file, range_of(*piece));
                first_read = read_rows(reader, *columns, add_row);
            }
        },
        [&] {
            for (auto piece = std::optional(pieces - 1); piece && second_read;
                 piece = claims.from_back()) {
                const log::ByteRange range = range_of(*piece);
                auto& rows =
                    prepared
                        .emplace_front(std::piecewise_construct, std::tuple(range),
                                       std::forward_as_tuple(collector, columns->present()))
                        .second;
                rows.expect_rows(estimate.rows_in(range.end - range.first));
                log::LogReader reader(file, range);
                second_read =
                    read_rows(reader, *columns, [&](const RowFields& row) { rows.add_row(row); });
            }
        });
    if (!first_read || !second_read) {
        return ScanError::read_error;
    }
    // Each piece's prepared rows are let go once taken, as the work units
    // they add take their place in memory.
    for (; !prepared.empty(); prepared.pop_front()) {
        auto& [range, rows] = prepared.front();
        collector.add_prepared(std::move(rows));
        if (!collector.needs_prepared_rows_again()) {
            continue;
        }
        log::LogReader again(file, range);
        if (!read_rows(again, *columns,
                       [&](const RowFields& row) { collector.offer_again(row); })) {
            return ScanError::read_error;
        }
    }
    return {};
}

} // namespace

Result<void, ScanError> scan_log(platform::FileSystem& files, const std::string& given, LogName log,
                                 FigureCollector& collector, ScanSizes sizes) {
    auto opened = open_log(files, given, log.path);
    if (!opened) {
        return opened.error();
    }
    const platform::File& file = *opened->file;
    if (opened->size && *opened->size >= sizes.split_from) {
        const auto starts = piece_starts(file, *opened->size, sizes);
        if (!starts.empty()) {
            return scan_in_pieces(file, *opened->size, starts, std::move(log), collector);
        }
    }
    log::LogReader reader(file);
    const auto columns = read_header(reader);
    if (!columns) {
        return columns.error();
    }
    collector.begin_log(std::move(log), columns->present());
    if (opened->size) {
        collector.expect_rows(RowEstimate(reader).rows_in(*opened->size));
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
