#include "log/duplicate_check.hpp"

#include "client/key_lookup.hpp"
#include "log/header_table.hpp"
#include "log/line_reader.hpp"
#include "log/record_parser.hpp"
#include "log/row_format.hpp"
#include "log/small_file.hpp"
#include "platform/side_by_side.hpp"

#include <algorithm>
#include <array>
#include <optional>
#include <vector>

namespace wutally::log {

namespace {

// A name that a line cannot hold unsplit, or that every line holds, is
// compared line by line; any other is first looked for as plain text.
bool can_search_for(std::string_view name) {
    return !name.empty() &&
           name.find_first_of(std::string_view("\"\r\n\0", 4)) == std::string_view::npos;
}

// A row that holds the name: where its line starts, where that can be told.
struct Match {
    std::optional<std::uint64_t> offset;
};

// Reads the rest of the part until a row holds the name in the column.
Result<std::optional<Match>, ReadError> rows_hold_name(LogReader& reader, const SearchText& search,
                                                       std::string_view name, std::size_t column) {
    Record record;
    std::optional<Match> match;
    const auto lacks_name = [&](std::span<char> line) {
        // Only the fields up to the name column are needed.
        parse_log_record(line, record, column + 1);
        if (field_at(record, column) == name) {
            match = Match{reader.line_offset()};
        }
        return !match;
    };
    const auto read = can_search_for(name) ? for_each_line_holding(reader, search, lacks_name)
                                           : for_each_line(reader, lacks_name);
    if (!read) {
        return read.error();
    }
    return match;
}

// What reading one piece of the log found.
struct PieceScan {
    std::optional<Match> match;
    bool has_read = false;
    bool ends_with_line_break = false;
    std::uint64_t read_to = 0;
};

Result<PieceScan, ReadError> scan_piece(LogReader& reader, const SearchText& search,
                                        std::string_view name, std::size_t column) {
    const auto match = rows_hold_name(reader, search, name, column);
    if (!match) {
        return match.error();
    }
    return PieceScan{*match, reader.has_read(), reader.ends_with_line_break(), reader.read_to()};
}

// The pieces' findings as one: a match in any; the log read as far as the
// first piece that fell short of its end (the log shrank meanwhile); its
// last byte that of the last piece that read any.
PieceScan joined(const std::vector<PieceScan>& scans, const std::vector<ByteRange>& pieces) {
    PieceScan log;
    bool short_of_end = false;
    for (std::size_t at = 0; at < scans.size(); ++at) {
        const PieceScan& piece = scans[at];
        log.match = log.match ? log.match : piece.match;
        if (piece.has_read) {
            log.has_read = true;
            log.ends_with_line_break = piece.ends_with_line_break;
        }
        if (!short_of_end) {
            log.read_to = piece.read_to;
            short_of_end = piece.read_to < pieces[at].end;
        }
    }
    return log;
}

// Scans the pieces from both ends at once, piece 0 with the reader that
// has read the header, until a piece holds the name.
Result<PieceScan, ReadError> scan_pieces(LogReader& first, const platform::File& log,
                                         const std::vector<ByteRange>& pieces,
                                         const SearchText& search, std::string_view name,
                                         std::size_t column) {
    std::vector<PieceScan> scans(pieces.size());
    std::vector<std::optional<ReadError>> failures(pieces.size());
    const auto scan = [&](std::size_t piece) {
        std::optional<LogReader> own;
        LogReader& reader = piece == 0 ? first : own.emplace(log, pieces[piece]);
        auto found = scan_piece(reader, search, name, column);
        if (!found) {
            failures[piece] = found.error();
            return false;
        }
        scans[piece] = *found;
        return !found->match;
    };
    read_from_both_ends(pieces.size(), scan, scan, 1);
    for (const auto& failure : failures) {
        if (failure) {
            return *failure;
        }
    }
    return joined(scans, pieces);
}

// With no name column: whether any line follows the header, in any piece,
// and how far the log was read to tell.
Result<PieceScan, ReadError> scan_for_a_row(LogReader& first, const platform::File& log,
                                            const std::vector<ByteRange>& pieces) {
    PieceScan scan;
    std::optional<LogReader> rest;
    auto line = first.read_log_line();
    if (line && !*line && pieces.size() > 1) {
        line = rest.emplace(log, ByteRange{pieces[1].first}).read_log_line();
    }
    if (!line) {
        return line.error();
    }
    const LogReader& last = rest ? *rest : first;
    scan.match = *line ? std::optional(Match{}) : std::nullopt;
    scan.ends_with_line_break = last.ends_with_line_break();
    scan.read_to = last.read_to();
    return scan;
}

} // namespace

CheckResult is_already_logged(const platform::File& log, std::uint64_t log_size,
                              std::string_view result_text, const PieceSizes& sizes) {
    const auto pieces = cut_into_pieces(log, log_size, sizes);
    if (!pieces) {
        return CheckError::read_failed;
    }
    // Read by offset, so the check sees the log from its start wherever the
    // file stands.
    LogReader reader(log, pieces->front());
    const auto first_line = reader.read_log_line();
    if (!first_line) {
        return CheckError::read_failed;
    }
    HeaderTable header;
    std::string header_row;
    if (*first_line) {
        Record record;
        header_row.assign((*first_line)->data(), (*first_line)->size());
        parse_log_record(**first_line, record);
        header.load_header_table(record);
    }
    const client::Lookup value = client::find_value(result_text, "name");
    if (!value) {
        return DuplicateCheck{.outcome = CheckOutcome::no_name_value,
                              .name_failure = value.error()};
    }
    DuplicateCheck check{.outcome = CheckOutcome::not_logged, .name = stored_form(*value)};
    const auto column = header.column_of("name");
    check.name_column = column;
    const auto scan =
        column ? scan_pieces(reader, log, *pieces, SearchText(check.name, reader.buffered()),
                             check.name, *column)
               : scan_for_a_row(reader, log, *pieces);
    if (!scan) {
        return CheckError::read_failed;
    }
    if (scan->match) {
        // Without a name column, a row after the header is what stops the run.
        check.outcome = column ? CheckOutcome::already_logged : CheckOutcome::no_name_column;
        check.match_offset = column ? scan->match->offset : std::nullopt;
        check.other_separator = column ? std::nullopt : other_separator(header_row);
    }
    check.ends_with_line_break = scan->ends_with_line_break;
    check.read_to = scan->read_to;
    return check;
}

namespace {

// Where the lines appended to the log after its first `checked` bytes
// start, given the bytes from checked - 1 on: just past the line break that
// ends the checked part or that the appended bytes start with. None where
// the checked part's last line has been carried on.
std::optional<std::uint64_t> appended_lines_start(std::uint64_t checked,
                                                  std::span<const char> around) {
    const auto is_break = [&](std::size_t at) {
        return at < around.size() && (around[at] == '\r' || around[at] == '\n');
    };
    const auto after_break = [&](std::size_t at) {
        const bool pair = around[at] == '\r' && at + 1 < around.size() && around[at + 1] == '\n';
        return checked + at + (pair ? 1 : 0);
    };
    if (is_break(0)) {
        return after_break(0);
    }
    if (around.size() == 1) {
        return checked; // nothing was appended
    }
    if (is_break(1)) {
        return after_break(1);
    }
    return std::nullopt;
}

// The earlier check carried on over the lines appended since; none where
// they cannot be told from the lines checked before.
Result<std::optional<DuplicateCheck>, CheckError>
check_appended(const platform::File& log, std::uint64_t log_size, const EarlierCheck& earlier) {
    const auto around = read_range(log, earlier.size - 1, 3);
    if (!around) {
        return CheckError::read_failed;
    }
    const auto start = around->empty() ? std::nullopt : appended_lines_start(earlier.size, *around);
    if (!start) {
        return std::optional<DuplicateCheck>();
    }
    DuplicateCheck check = earlier.check;
    LogReader reader(log, ByteRange{*start, log_size});
    const auto match =
        rows_hold_name(reader, SearchText(check.name), check.name, *check.name_column);
    if (!match) {
        return CheckError::read_failed;
    }
    if (*match) {
        check.outcome = CheckOutcome::already_logged;
        check.match_offset = (*match)->offset;
    }
    if (reader.has_read()) {
        check.ends_with_line_break = reader.ends_with_line_break();
    } else if (*start > earlier.size) {
        check.ends_with_line_break = true; // only a line break was appended
    }
    return std::optional(check);
}

constexpr std::uint64_t tail_size = 4096;

// The last bytes of the first `size` of the log, as many as a check keeps:
// fewer where the log is shorter now.
Result<std::string, platform::FileError> tail_of(const platform::File& log, std::uint64_t size) {
    const std::uint64_t start = size - std::min(size, tail_size);
    return read_range(log, start, size - start);
}

// Whether the first `size` bytes of the log still end as they did.
bool still_ends_with(const platform::File& log, std::uint64_t size, const std::string& tail) {
    const auto now = tail_of(log, size);
    return now && *now == tail;
}

// Whether the line at the offset, which the earlier check found to hold the
// name, holds it still: it may have been a row that its run took back. Not
// where that cannot be read: the whole log is checked again then.
bool still_holds_name(const platform::File& log, std::uint64_t log_size,
                      const DuplicateCheck& check) {
    if (!check.match_offset || *check.match_offset == 0 || !check.name_column) {
        return false;
    }
    const auto before = read_range(log, *check.match_offset - 1, 1);
    if (!before || (*before != "\r" && *before != "\n")) {
        return false;
    }
    LogReader reader(log, ByteRange{*check.match_offset, log_size});
    const auto line = reader.read_log_line();
    if (!line || !*line) {
        return false;
    }
    Record record;
    parse_log_record(**line, record, *check.name_column + 1);
    return field_at(record, *check.name_column) == check.name;
}

} // namespace

std::optional<EarlierCheck> check_before_hold(platform::FileSystem& files, const std::string& path,
                                              std::string_view result_text) {
    const auto log = files.open_read(path);
    if (!log) {
        return std::nullopt;
    }
    const auto size = (*log)->size();
    if (!size || *size == 0) {
        return std::nullopt;
    }
    // Nobody holds the log meanwhile: a run may cut a row back while it is
    // read, and another write the same bytes again. Only a log read to its
    // size, whose last bytes read the same before the check as after it, was
    // checked whole.
    const auto tail_before = tail_of(**log, *size);
    const auto check = is_already_logged(**log, *size, result_text);
    if (!tail_before || !check) {
        return std::nullopt;
    }
    const bool read_whole =
        check->outcome == CheckOutcome::already_logged || check->read_to >= *size;
    auto earlier = remember_check(**log, *size, *check);
    if (!earlier || !read_whole || earlier->tail != *tail_before) {
        return std::nullopt;
    }
    return earlier;
}

std::optional<EarlierCheck> remember_check(const platform::File& log, std::uint64_t log_size,
                                           const DuplicateCheck& check) {
    const bool decided = check.outcome == CheckOutcome::already_logged ||
                         (check.outcome == CheckOutcome::not_logged && check.name_column);
    const auto identity = log.identity();
    if (!decided || !identity || log_size == 0) {
        return std::nullopt;
    }
    auto tail = tail_of(log, log_size);
    if (!tail || tail->size() != std::min(log_size, tail_size)) {
        return std::nullopt; // whether the log still ends so could not be told
    }
    return EarlierCheck{*identity, log_size, check, *std::move(tail)};
}

CheckResult check_under_hold(const platform::File& log, std::uint64_t log_size,
                             std::string_view result_text,
                             const std::optional<EarlierCheck>& earlier) {
    if (earlier && log.identity() && *log.identity() == earlier->file &&
        log_size >= earlier->size && still_ends_with(log, earlier->size, earlier->tail)) {
        if (earlier->check.outcome == CheckOutcome::already_logged) {
            if (still_holds_name(log, log_size, earlier->check)) {
                return earlier->check;
            }
        } else {
            auto check = check_appended(log, log_size, *earlier);
            if (!check) {
                return check.error();
            }
            if (*check) {
                return **std::move(check);
            }
        }
    }
    return is_already_logged(log, log_size, result_text);
}

} // namespace wutally::log
