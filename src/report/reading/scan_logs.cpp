#include "report/reading/scan_logs.hpp"

#include "report/reading/log_header.hpp"
#include "report/reading/log_source.hpp"

#include <algorithm>
#include <optional>

namespace wutally::report {

namespace {

// About how many rows `bytes` of a log hold, by the lines that follow its
// header in a reader's buffer; none where they are too few to tell.
class RowEstimate {
  public:
    RowEstimate() = default;
    explicit RowEstimate(const log::LogReader& reader) {
        const auto sample = reader.buffered();
        const auto lines = std::count(sample.begin(), sample.end(), '\n');
        if (lines >= 16) {
            row_size_ = std::max<std::uint64_t>(
                static_cast<std::uint64_t>(sample.size()) / static_cast<std::uint64_t>(lines), 1);
        }
    }

    [[nodiscard]] bool known() const { return row_size_ != 0; }
    [[nodiscard]] std::size_t rows_in(std::uint64_t bytes) const {
        return row_size_ == 0 ? 0 : static_cast<std::size_t>(bytes / row_size_ * 21 / 20);
    }

  private:
    std::uint64_t row_size_ = 0;
};

// A piece of a log: the whole of a short log, or a part of a long one from
// a line's start to the next part's.
struct Piece {
    std::size_t log;
    log::ByteRange range;
};

// How the logs are read: the pieces of all of them, in order; for each log
// cut into several, its columns, read beforehand; what stood in a log's way
// already. The pieces before `back_from` are read as they come (standard
// input, a FIFO) and left to the first thread.
struct Plan {
    std::vector<Piece> pieces;
    std::vector<std::optional<ReportColumns>> columns;
    std::vector<std::optional<ScanError>> failures;
    std::vector<std::uint64_t> sizes;
    std::uint64_t total_bytes = 0;
    RowEstimate estimate;
    std::size_t back_from = 0;
};

// A long log is opened here only for as long as it takes to cut it and read
// its header: the pieces are read by whichever thread takes them.
void cut_log(platform::FileSystem& files, const LogToScan& log, std::size_t at,
             const log::PieceSizes& sizes, Plan& plan) {
    auto opened = open_log(files, log.given, log.name.path);
    if (!opened) {
        plan.failures[at] = opened.error();
        return;
    }
    const auto ranges = log::cut_into_pieces(*opened->file, plan.sizes[at], sizes);
    if (!ranges) {
        plan.failures[at] = ScanError::read_error;
        return;
    }
    if (ranges->size() > 1) {
        log::LogReader reader(*opened->file, ranges->front());
        auto columns = read_header(reader);
        if (!columns) {
            plan.failures[at] = columns.error();
            return;
        }
        plan.columns[at] = *std::move(columns);
        if (!plan.estimate.known()) {
            plan.estimate = RowEstimate(reader);
        }
    }
    for (const log::ByteRange& range : *ranges) {
        plan.pieces.push_back({at, range});
    }
}

Plan plan_pieces(platform::FileSystem& files, const std::vector<LogToScan>& logs,
                 const log::PieceSizes& sizes) {
    Plan plan;
    plan.columns.resize(logs.size());
    plan.failures.resize(logs.size());
    plan.sizes.resize(logs.size());
    for (std::size_t at = 0; at < logs.size(); ++at) {
        const std::string& path = logs[at].name.path;
        const auto state =
            path == standard_input_path
                ? Result<platform::FileState, platform::FileError>(platform::FileError::unsupported)
                : files.state_of(path);
        if (!state || state->kind != platform::FileKind::file) {
            // Where there is something there, it is read as it comes.
            if (state || path == standard_input_path) {
                plan.back_from = plan.pieces.size() + 1;
            }
            plan.pieces.push_back({at, {}});
            continue;
        }
        plan.sizes[at] = state->size;
        plan.total_bytes += state->size;
        if (state->size < sizes.split_from) {
            plan.pieces.push_back({at, {}});
        } else {
            cut_log(files, logs[at], at, sizes, plan);
        }
    }
    return plan;
}

// What reading a piece came to, on whichever thread read it.
struct PieceRead {
    std::optional<ScanError> failure;
    bool not_written_yet = false;
    std::optional<ReportColumns> columns; // the header's, where the piece starts the log
    std::optional<PieceRows> rows;        // where the second thread prepared them
    bool prepared = false;
};

// The scan of all logs: the plan, the reads of its pieces, and the reading
// of one piece that both threads share.
class LogsScan {
  public:
    LogsScan(platform::FileSystem& files, const std::vector<LogToScan>& logs, MissingLog missing,
             const log::PieceSizes& sizes)
        : files_(files), logs_(logs), missing_(missing), plan_(plan_pieces(files, logs, sizes)),
          reads_(plan_.pieces.size()) {}

    void run(FigureCollector& collector);
    [[nodiscard]] std::vector<Result<LogScanned, ScanError>> outcomes() const;

  private:
    bool read_at_front(std::size_t at, FigureCollector& collector);
    bool prepare_at_back(std::size_t at, const FigureCollector& collector);
    void take_prepared(std::size_t at, FigureCollector& collector);
    Result<void, log::ReadError> read_again(std::size_t at, const TakeRow& take) const;
    // What a thread reads pieces in, kept from one to the next.
    struct ReadingRoom {
        std::vector<char> buffer;
        log::Record record;
    };

    template <class Start, class Take>
    void read_piece(std::size_t at, ReadingRoom& room, Start start, Take take);
    template <class Start, class Take>
    void read_rows(std::size_t at, log::LogReader& reader, log::Record& record, Start start,
                   Take take);
    [[nodiscard]] const ReportColumns& columns_of(std::size_t at) const;
    [[nodiscard]] bool failed(std::size_t log) const;

    platform::FileSystem& files_;
    const std::vector<LogToScan>& logs_;
    MissingLog missing_;
    Plan plan_;
    std::vector<PieceRead> reads_;
    // Only the first thread looks at these, while both read.
    std::vector<bool> failed_at_front_ = std::vector<bool>(logs_.size());
    bool room_made_ = false;
    ReadingRoom front_room_;
    ReadingRoom back_room_;
};

const ReportColumns& LogsScan::columns_of(std::size_t at) const {
    return reads_[at].columns ? *reads_[at].columns : *plan_.columns[plan_.pieces[at].log];
}

// Opens the log for the piece and reads it: its header first where the
// piece starts the log, then `start` with the columns and the reader, then
// every row to `take`.
template <class Start, class Take>
void LogsScan::read_piece(std::size_t at, ReadingRoom& room, Start start, Take take) {
    const Piece& piece = plan_.pieces[at];
    const LogToScan& log = logs_[piece.log];
    PieceRead& read = reads_[at];
    auto opened = open_log(files_, log.given, log.name.path);
    if (!opened) {
        read.not_written_yet = opened.error() == ScanError::no_log_in_directory &&
                               missing_ == MissingLog::counts_as_empty;
        if (!read.not_written_yet) {
            read.failure = opened.error();
        }
        return;
    }
    log::LogReader reader = opened->reading == Reading::by_offset
                                ? log::LogReader(*opened->file, piece.range, std::move(room.buffer))
                                : log::LogReader(*opened->file, std::move(room.buffer));
    read_rows(at, reader, room.record, start, take);
    room.buffer = std::move(reader).give_up_buffer();
}

template <class Start, class Take>
void LogsScan::read_rows(std::size_t at, log::LogReader& reader, log::Record& record, Start start,
                         Take take) {
    PieceRead& read = reads_[at];
    if (plan_.pieces[at].range.first == 0) {
        auto header = read_header(reader);
        if (!header) {
            read.failure = header.error();
            return;
        }
        read.columns = *std::move(header);
    }
    const ReportColumns& columns = columns_of(at);
    start(columns.present(), reader);
    const auto rows = log::for_each_line(reader, [&](std::span<char> line) {
        if (!line.empty()) { // a blank line is not a row
            take(columns.fields_of(line, record));
        }
        return true;
    });
    if (!rows) {
        read.failure = ScanError::read_error;
    }
}

bool LogsScan::read_at_front(std::size_t at, FigureCollector& collector) {
    const Piece& piece = plan_.pieces[at];
    if (plan_.failures[piece.log] || failed_at_front_[piece.log]) {
        return true;
    }
    const LogName& name = logs_[piece.log].name;
    read_piece(
        at, front_room_,
        [&](ColumnSet columns, const log::LogReader& reader) {
            if (piece.range.first == 0) {
                collector.begin_log(name, columns);
            }
            // Making room for every log's names takes a while: it overlaps
            // the second thread's start.
            if (!std::exchange(room_made_, true)) {
                const RowEstimate estimate(reader);
                collector.expect_rows(
                    (estimate.known() ? estimate : plan_.estimate).rows_in(plan_.total_bytes));
            }
        },
        [&](const RowFields& row) { collector.add_row(row); });
    if (reads_[at].not_written_yet) {
        collector.begin_log(name, ColumnSet{});
    }
    failed_at_front_[piece.log] = reads_[at].failure.has_value();
    return true;
}

bool LogsScan::prepare_at_back(std::size_t at, const FigureCollector& collector) {
    const Piece& piece = plan_.pieces[at];
    PieceRead& read = reads_[at];
    read.prepared = true;
    if (plan_.failures[piece.log]) {
        return true;
    }
    read_piece(
        at, back_room_,
        [&](ColumnSet columns, const log::LogReader& reader) {
            const RowEstimate own(reader);
            const std::uint64_t end = std::min(piece.range.end, plan_.sizes[piece.log]);
            read.rows.emplace(collector, columns);
            read.rows->expect_rows((own.known() ? own : plan_.estimate)
                                       .rows_in(end - std::min(end, piece.range.first)));
        },
        [&](const RowFields& row) { read.rows->add_row(row); });
    return true;
}

// Whether the log has failed, on either thread, once both are done: where
// it has, the report is not given, and its prepared pieces are not taken.
bool LogsScan::failed(std::size_t log) const {
    if (plan_.failures[log]) {
        return true;
    }
    for (std::size_t at = 0; at < plan_.pieces.size(); ++at) {
        if (plan_.pieces[at].log == log && reads_[at].failure) {
            return true;
        }
    }
    return false;
}

Result<void, log::ReadError> LogsScan::read_again(std::size_t at, const TakeRow& take) const {
    const Piece& piece = plan_.pieces[at];
    const LogToScan& log = logs_[piece.log];
    auto opened = open_log(files_, log.given, log.name.path);
    if (!opened) {
        return log::ReadError::failed;
    }
    log::LogReader reader(*opened->file, piece.range);
    if (piece.range.first == 0) {
        if (auto header = reader.read_log_line(); !header) {
            return header.error();
        }
    }
    const ReportColumns& columns = columns_of(at);
    log::Record record;
    return log::for_each_line(reader, [&](std::span<char> line) {
        if (!line.empty()) {
            take(columns.fields_of(line, record));
        }
        return true;
    });
}

void LogsScan::take_prepared(std::size_t at, FigureCollector& collector) {
    const Piece& piece = plan_.pieces[at];
    PieceRead& read = reads_[at];
    if (failed(piece.log)) {
        return;
    }
    if (read.not_written_yet || piece.range.first == 0) {
        collector.begin_log(logs_[piece.log].name,
                            read.columns ? read.columns->present() : ColumnSet{});
    }
    if (!read.rows) {
        return;
    }
    const auto taken = collector.add_piece(
        *std::move(read.rows), [&](const TakeRow& take) { return read_again(at, take); });
    // Let go at once: the second thread's memory goes back as the figures'
    // grows.
    read.rows.reset();
    read.columns.reset();
    if (!taken) {
        read.failure = ScanError::read_error;
    }
}

void LogsScan::run(FigureCollector& collector) {
    log::read_from_both_ends(
        plan_.pieces.size(), [&](std::size_t at) { return read_at_front(at, collector); },
        [&](std::size_t at) { return prepare_at_back(at, collector); }, plan_.back_from,
        [&] {
            for (std::size_t at = 0; at < plan_.pieces.size(); ++at) {
                if (reads_[at].prepared) {
                    take_prepared(at, collector);
                }
            }
        });
}

std::vector<Result<LogScanned, ScanError>> LogsScan::outcomes() const {
    std::vector<Result<LogScanned, ScanError>> outcomes;
    for (std::size_t log = 0; log < logs_.size(); ++log) {
        outcomes.emplace_back(LogScanned::read);
        if (plan_.failures[log]) {
            outcomes.back() = *plan_.failures[log];
        }
    }
    for (std::size_t at = plan_.pieces.size(); at-- > 0;) {
        const PieceRead& read = reads_[at];
        auto& outcome = outcomes[plan_.pieces[at].log];
        if (read.failure && !plan_.failures[plan_.pieces[at].log]) {
            outcome = *read.failure; // the earliest piece's failure stands
        } else if (read.not_written_yet) {
            outcome = LogScanned::not_written_yet;
        }
    }
    return outcomes;
}

} // namespace

std::vector<Result<LogScanned, ScanError>> scan_logs(platform::FileSystem& files,
                                                     const std::vector<LogToScan>& logs,
                                                     FigureCollector& collector, MissingLog missing,
                                                     const log::PieceSizes& sizes) {
    LogsScan scan(files, logs, missing, sizes);
    scan.run(collector);
    return scan.outcomes();
}

} // namespace wutally::report
