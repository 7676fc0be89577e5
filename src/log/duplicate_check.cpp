#include "log/duplicate_check.hpp"

#include "client/key_lookup.hpp"
#include "log/header_table.hpp"
#include "log/line_reader.hpp"
#include "log/record_parser.hpp"
#include "log/row_format.hpp"
#include "log/split_point.hpp"
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
std::optional<Match> rows_hold_name(LogReader& reader, const SearchText& search,
                                    std::string_view name, std::size_t column) {
    const bool skipping = can_search_for(name);
    Record record;
    while (const auto line =
               skipping ? reader.read_log_line_holding(search) : reader.read_log_line()) {
        // Only the fields up to the name column are needed.
        parse_log_record(*line, record, column + 1);
        if (field_at(record, column) == name) {
            return Match{reader.line_offset()};
        }
    }
    return std::nullopt;
}

// Where a long log is split for two readers; none for a shorter log.
std::optional<std::uint64_t> middle_line_start(const platform::File& log, std::uint64_t size,
                                               std::uint64_t split_from) {
    if (size < split_from || size < 2) {
        return std::nullopt;
    }
    return line_start_near(log, size / 2);
}

// What reading one part of the log found.
struct PartScan {
    std::optional<Match> match;
    bool failed = false;
    bool has_read = false;
    bool ends_with_line_break = false;
    std::uint64_t read_to = 0;
};

PartScan scan_part(LogReader& reader, const SearchText& search, std::string_view name,
                   std::size_t column) {
    const auto match = rows_hold_name(reader, search, name, column);
    return {match, reader.failed(), reader.has_read(), reader.ends_with_line_break(),
            reader.read_to()};
}

// Scans the first part here and, at the same time, the second on a second
// thread.
PartScan scan_parts(LogReader& first, const platform::File& log,
                    std::optional<std::uint64_t> middle, const SearchText& search,
                    std::string_view name, std::size_t column) {
    if (!middle) {
        return scan_part(first, search, name, column);
    }
    PartScan both;
    PartScan second;
    platform::run_side_by_side([&] { both = scan_part(first, search, name, column); },
                               [&] {
                                   LogReader reader(log, ByteRange{*middle});
                                   second = scan_part(reader, search, name, column);
                               });
    // The log's last byte is the second part's, unless that part is empty.
    return {both.match ? both.match : second.match, both.failed || second.failed, true,
            second.has_read ? second.ends_with_line_break : both.ends_with_line_break,
            both.read_to < *middle ? both.read_to : second.read_to};
}

} // namespace

DuplicateCheck is_already_logged(const platform::File& log, std::uint64_t log_size,
                                 std::string_view result_text, std::uint64_t split_from) {
    const auto middle = middle_line_start(log, log_size, split_from);
    // Read by offset, so the check sees the log from its start wherever the
    // file stands.
    LogReader reader(log, middle ? ByteRange{0, *middle} : ByteRange{});
    Record record;
    HeaderTable header;
    std::string header_row;
    if (const auto first_line = reader.read_log_line()) {
        header_row.assign(first_line->data(), first_line->size());
        parse_log_record(*first_line, record);
        header.load_header_table(record);
    }
    const client::Lookup value = client::find_value(result_text, "name");
    if (!value) {
        return {.outcome = CheckOutcome::no_name_value, .name_failure = value.error()};
    }
    DuplicateCheck check{.outcome = CheckOutcome::not_logged, .name = stored_form(*value)};
    const auto column = header.column_of("name");
    check.name_column = column;
    PartScan scan;
    if (!column) {
        // Any further line, in either part, is a row without a name column.
        // With none, the first reader has read to the end of the log.
        std::optional<LogReader> rest;
        if (middle) {
            rest.emplace(log, ByteRange{*middle});
        }
        if (reader.read_log_line() || (rest && rest->read_log_line())) {
            check.outcome = CheckOutcome::no_name_column;
            check.other_separator = other_separator(header_row);
        }
        scan.failed = reader.failed() || (rest && rest->failed());
        scan.ends_with_line_break = reader.ends_with_line_break();
        scan.read_to = rest && reader.read_to() >= *middle ? rest->read_to() : reader.read_to();
    } else {
        const SearchText search(check.name, reader.buffered());
        scan = scan_parts(reader, log, middle, search, check.name, *column);
        if (scan.match) {
            check.outcome = CheckOutcome::already_logged;
            check.match_offset = scan.match->offset;
        }
    }
    if (scan.failed) {
        check.outcome = CheckOutcome::read_error;
    }
    check.ends_with_line_break = scan.ends_with_line_break;
    check.read_to = scan.read_to;
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
std::optional<DuplicateCheck> check_appended(const platform::File& log, std::uint64_t log_size,
                                             const EarlierCheck& earlier) {
    std::array<char, 3> bytes{};
    const auto count = log.read_at(earlier.size - 1, bytes);
    DuplicateCheck check = earlier.check;
    if (!count) {
        check.outcome = CheckOutcome::read_error;
        return check;
    }
    const auto start = appended_lines_start(earlier.size, std::span(bytes).first(*count));
    if (*count == 0 || !start) {
        return std::nullopt;
    }
    LogReader reader(log, ByteRange{*start, log_size});
    const SearchText search(check.name);
    if (const auto match = rows_hold_name(reader, search, check.name, *check.name_column)) {
        check.outcome = CheckOutcome::already_logged;
        check.match_offset = match->offset;
    }
    if (reader.failed()) {
        check.outcome = CheckOutcome::read_error;
    }
    if (reader.has_read()) {
        check.ends_with_line_break = reader.ends_with_line_break();
    } else if (*start > earlier.size) {
        check.ends_with_line_break = true; // only a line break was appended
    }
    return check;
}

// The last bytes of the first `size` of the log, as many as a check keeps.
std::optional<std::string> tail_of(const platform::File& log, std::uint64_t size) {
    constexpr std::uint64_t tail_size = 4096;
    const std::uint64_t start = size - std::min(size, tail_size);
    std::string tail(static_cast<std::size_t>(size - start), '\0');
    std::size_t taken = 0;
    while (taken < tail.size()) {
        const auto count = log.read_at(start + taken, std::span(tail).subspan(taken));
        if (!count || *count == 0) {
            return std::nullopt;
        }
        taken += *count;
    }
    return tail;
}

// Whether the line at the offset, which the earlier check found to hold the
// name, holds it still: it may have been a row that its run took back.
bool still_holds_name(const platform::File& log, std::uint64_t log_size,
                      const DuplicateCheck& check) {
    if (!check.match_offset || *check.match_offset == 0 || !check.name_column) {
        return false;
    }
    std::array<char, 1> before{};
    const auto count = log.read_at(*check.match_offset - 1, before);
    if (!count || *count != 1 || (before[0] != '\r' && before[0] != '\n')) {
        return false;
    }
    LogReader reader(log, ByteRange{*check.match_offset, log_size});
    const auto line = reader.read_log_line();
    if (!line) {
        return false;
    }
    Record record;
    parse_log_record(*line, record, *check.name_column + 1);
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
    const DuplicateCheck check = is_already_logged(**log, *size, result_text);
    const bool read_whole = check.outcome == CheckOutcome::already_logged || check.read_to >= *size;
    auto earlier = remember_check(**log, *size, check);
    if (!tail_before || !earlier || !read_whole || earlier->tail != *tail_before) {
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
    if (!tail) {
        return std::nullopt;
    }
    return EarlierCheck{*identity, log_size, check, *std::move(tail)};
}

DuplicateCheck check_under_hold(const platform::File& log, std::uint64_t log_size,
                                std::string_view result_text,
                                const std::optional<EarlierCheck>& earlier) {
    if (earlier && log.identity() && *log.identity() == earlier->file &&
        log_size >= earlier->size && tail_of(log, earlier->size) == earlier->tail) {
        if (earlier->check.outcome == CheckOutcome::already_logged) {
            if (still_holds_name(log, log_size, earlier->check)) {
                return earlier->check;
            }
        } else if (auto check = check_appended(log, log_size, *earlier)) {
            return *std::move(check);
        }
    }
    return is_already_logged(log, log_size, result_text);
}

} // namespace wutally::log
