#include "report/log_scan.hpp"

#include "log/log_file.hpp"
#include "log/log_reader.hpp"
#include "report/handoff.hpp"

#include <exception>
#include <system_error>
#include <thread>

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

std::optional<ScanError> open_failure(platform::FileSystem& files, const std::string& given,
                                      const std::string& file) {
    if (files.state_of(file)) {
        return ScanError::cannot_open;
    }
    return given == file ? ScanError::missing : ScanError::no_log_in_directory;
}

// The fields the report reads of many rows, copied out of the reader's
// buffer so that one thread can split lines while another counts them.
struct RowBatch {
    struct Span {
        std::uint32_t offset;
        std::uint32_t size;
    };
    static constexpr std::size_t rows_wanted = 2048;

    std::string text;
    std::vector<std::array<Span, column_count>> rows;
    bool read_error = false; // the last batch of a log whose read failed

    void add(const log::Record& record, const ReportColumns& columns) {
        auto& row = rows.emplace_back();
        for (std::size_t column = 0; column < column_count; ++column) {
            const std::string_view field =
                columns[column] ? log::field_at(record, *columns[column]) : std::string_view{};
            row[column] = {static_cast<std::uint32_t>(text.size()),
                           static_cast<std::uint32_t>(field.size())};
            text.append(field);
        }
    }

    [[nodiscard]] RowFields fields(std::size_t at) const {
        RowFields fields;
        for (std::size_t column = 0; column < column_count; ++column) {
            fields[column] =
                std::string_view(text).substr(rows[at][column].offset, rows[at][column].size);
        }
        return fields;
    }

    // Batches hold 32-bit offsets; a batch closes well before they could
    // overflow, even with long lines.
    [[nodiscard]] bool full() const {
        return rows.size() >= rows_wanted || text.size() >= (std::size_t{1} << 30);
    }
};

// Reads lines into batches until the end of the log; the last batch says
// whether a read failed.
class RowProducer {
  public:
    RowProducer(log::LogReader& reader, const ReportColumns& columns)
        : reader_(reader), columns_(columns), fields_(fields_needed(columns)) {}

    // The next batch; an empty one at the end.
    RowBatch next() {
        RowBatch batch;
        while (!batch.full()) {
            const auto line = reader_.read_log_line();
            if (!line) {
                batch.read_error = reader_.failed();
                break;
            }
            if (!line->empty()) { // a blank line is not a row
                log::parse_log_record(*line, record_, fields_);
                batch.add(record_, columns_);
            }
        }
        return batch;
    }

  private:
    log::LogReader& reader_;
    const ReportColumns& columns_;
    std::size_t fields_;
    log::Record record_;
};

// Adds the batch's rows; true if it was the last one.
bool take(const RowBatch& batch, FigureCollector& collector, bool& read_error) {
    std::vector<RowFields> rows(batch.rows.size());
    for (std::size_t at = 0; at < rows.size(); ++at) {
        rows[at] = batch.fields(at);
    }
    collector.add_rows(rows);
    read_error = read_error || batch.read_error;
    return batch.rows.empty() || batch.read_error;
}

// Splits lines on a second thread while this one counts them; where no
// thread can be started, does both in turn. Running out of memory on either
// thread ends both and is carried to the caller.
bool collect_rows(RowProducer& producer, FigureCollector& collector) {
    bool read_error = false;
    Handoff<RowBatch> handoff(4);
    std::exception_ptr splitter_failure;
    const auto split = [&] {
        try {
            bool last = false;
            while (!last) {
                RowBatch batch = producer.next();
                last = batch.rows.empty() || batch.read_error;
                last = !handoff.push(std::move(batch)) || last;
            }
        } catch (...) {
            splitter_failure = std::current_exception();
        }
        handoff.finish();
    };
    std::jthread splitter;
    try {
        splitter = std::jthread(split);
    } catch (const std::system_error&) {
        while (!take(producer.next(), collector, read_error)) {
        }
        return !read_error;
    }
    try {
        while (const auto batch = handoff.pop()) {
            take(*batch, collector, read_error);
        }
    } catch (...) {
        handoff.abandon();
        throw;
    }
    splitter.join();
    if (splitter_failure) {
        std::rethrow_exception(splitter_failure);
    }
    return !read_error;
}

} // namespace

namespace {

// What a log's first line tells: its columns, or why it is no log.
struct OpenedLog {
    std::unique_ptr<platform::File> file;
    ReportColumns columns{};
};

std::optional<ScanError> open_log(platform::FileSystem& files, const std::string& path,
                                  const std::string& file_path, OpenedLog& opened) {
    // Pipes and FIFOs are read as they come, however slowly.
    auto file =
        file_path == standard_input_path ? files.standard_input() : files.open_stream(file_path);
    if (!file) {
        return open_failure(files, path, file_path);
    }
    opened.file = std::move(*file);
    return std::nullopt;
}

std::optional<ScanError> read_header(log::LogReader& reader, ReportColumns& columns) {
    log::Record record;
    log::HeaderTable header;
    reader.limit_line_length(longest_header);
    const auto first_line = reader.read_log_line();
    if (!first_line) {
        return reader.failed()          ? ScanError::read_error
               : reader.line_too_long() ? ScanError::not_a_log
                                        : ScanError::empty;
    }
    reader.limit_line_length(std::nullopt);
    log::parse_log_record(*first_line, record);
    header.load_header_table(record);
    if (!header.column_of("name")) {
        return ScanError::no_name_column;
    }
    if (!header.column_of("date")) {
        return ScanError::no_date_column;
    }
    columns = find_columns(header);
    return std::nullopt;
}

} // namespace

namespace {

// Opens the log a path stands for and reads its header row, then hands the
// reader, the log's columns and its file's path to `use`.
template <class Use>
std::optional<ScanError> read_log(platform::FileSystem& files, const std::string& path, Use use) {
    const std::string file_path = log_file_of(files, path);
    OpenedLog opened;
    if (const auto error = open_log(files, path, file_path, opened)) {
        return error;
    }
    log::LogReader reader(*opened.file);
    if (const auto error = read_header(reader, opened.columns)) {
        return error;
    }
    return use(reader, opened.columns, file_path);
}

} // namespace

std::optional<ScanError> list_skipped(platform::FileSystem& files, const std::string& path,
                                      std::string& listing) {
    return read_log(
        files, path,
        [&](log::LogReader& reader, const ReportColumns& columns,
            const std::string& file_path) -> std::optional<ScanError> {
            const std::size_t date_column = *columns[date];
            const std::size_t name_column = *columns[name];
            log::Record record;
            std::uint64_t line_number = 1;
            while (const auto line = reader.read_log_line()) {
                ++line_number;
                if (line->empty()) {
                    continue; // a blank line is not a row
                }
                log::parse_log_record(*line, record, std::max(date_column, name_column) + 1);
                const std::string_view reason = !parse_stamp(log::field_at(record, date_column))
                                                    ? "the date is not a date and time"
                                                : log::field_at(record, name_column).empty()
                                                    ? "the name is empty"
                                                    : "";
                if (!reason.empty()) {
                    listing.append(file_path).append(":").append(std::to_string(line_number));
                    listing.append(": ").append(reason).append("\n");
                }
            }
            return reader.failed() ? std::optional(ScanError::read_error) : std::nullopt;
        });
}

std::optional<ScanError> scan_log(platform::FileSystem& files, const std::string& path,
                                  FigureCollector& collector) {
    return read_log(files, path,
                    [&](log::LogReader& reader, const ReportColumns& columns,
                        const std::string& file_path) -> std::optional<ScanError> {
                        collector.begin_log(file_path, columns);
                        RowProducer producer(reader, columns);
                        if (!collect_rows(producer, collector)) {
                            return ScanError::read_error;
                        }
                        return std::nullopt;
                    });
}

} // namespace wutally::report
