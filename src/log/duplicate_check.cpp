#include "log/duplicate_check.hpp"

#include "client/key_lookup.hpp"
#include "log/log_reader.hpp"
#include "log/row_format.hpp"

#include <optional>
#include <system_error>
#include <thread>
#include <vector>

namespace wutally::log {

namespace {

// A name that a line cannot hold unsplit, or that every line holds, is
// compared line by line; any other is first looked for as plain text.
bool can_search_for(std::string_view name) {
    return !name.empty() &&
           name.find_first_of(std::string_view("\"\r\n\0", 4)) == std::string_view::npos;
}

// Reads the rest of the part until a row holds the name in the column.
bool rows_hold_name(LogReader& reader, const SearchText& search, std::string_view name,
                    std::size_t column) {
    const bool skipping = can_search_for(name);
    Record record;
    while (const auto line =
               skipping ? reader.read_log_line_holding(search) : reader.read_log_line()) {
        // Only the fields up to the name column are needed.
        parse_log_record(*line, record, column + 1);
        if (field_at(record, column) == name) {
            return true;
        }
    }
    return false;
}

// Where a long log is split for two readers: the start of the first line
// that starts at or after its middle. None for a shorter log, or where no
// line break stands near the middle.
std::optional<std::uint64_t> middle_line_start(const platform::File& log, std::uint64_t size,
                                               std::uint64_t split_from) {
    if (size < split_from || size < 2) {
        return std::nullopt;
    }
    constexpr std::size_t look_ahead = std::size_t{64} * 1024;
    std::vector<char> bytes(look_ahead);
    const std::uint64_t middle = size / 2;
    const auto count = log.read_at(middle - 1, bytes);
    if (!count) {
        return std::nullopt; // the readers meet the failure themselves
    }
    return line_start_after(middle, std::span(bytes).first(*count));
}

// What a reader found in its part of the log.
struct PartScan {
    bool holds_name = false;
    bool failed = false;
    bool ends_with_line_break = false;
    bool has_read = false;

    void scan(LogReader& reader, const SearchText& search, std::string_view name,
              std::size_t column) {
        holds_name = rows_hold_name(reader, search, name, column);
        take_end(reader, reader);
    }

    // How the reading ended; `last` is the reader of the log's last part,
    // unless that part is empty.
    void take_end(const LogReader& first, const LogReader& last) {
        failed = failed || first.failed() || last.failed();
        has_read = first.has_read() || last.has_read();
        ends_with_line_break = (last.has_read() ? last : first).ends_with_line_break();
    }
};

// Scans the second part on a second thread while this one scans the first;
// where no thread can be started, scans it after the first.
PartScan scan_both(LogReader& first, const platform::File& log, std::uint64_t middle,
                   const SearchText& search, std::string_view name, std::size_t column) {
    PartScan second;
    const auto scan_second = [&] {
        LogReader reader(log, ByteRange{middle});
        second.scan(reader, search, name, column);
    };
    std::thread thread;
    try {
        thread = std::thread(scan_second);
    } catch (const std::system_error&) {
    }
    PartScan both;
    both.scan(first, search, name, column);
    if (thread.joinable()) {
        thread.join();
    } else {
        scan_second();
    }
    both.holds_name = both.holds_name || second.holds_name;
    both.failed = both.failed || second.failed;
    if (second.has_read) {
        both.ends_with_line_break = second.ends_with_line_break;
    }
    return both;
}

} // namespace

DuplicateCheck is_already_logged(const platform::File& log, std::uint64_t log_size,
                                 std::string_view result_text, platform::Console& console,
                                 std::uint64_t split_from) {
    const auto middle = middle_line_start(log, log_size, split_from);
    // Read by offset, so the check sees the log from its start wherever the
    // file stands.
    LogReader reader(log, middle ? ByteRange{0, *middle} : ByteRange{});
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
    PartScan scan;
    if (!column) {
        // Any further line in either part is a row without a name column.
        const bool further_line = reader.read_log_line().has_value();
        if (middle) {
            LogReader rest(log, ByteRange{*middle});
            if (further_line || rest.read_log_line()) {
                check.outcome = CheckOutcome::no_name_column;
            }
            scan.take_end(reader, rest);
        } else {
            check.outcome = further_line ? CheckOutcome::no_name_column : check.outcome;
            scan.take_end(reader, reader);
        }
    } else {
        const SearchText search(check.name, reader.buffered());
        if (middle) {
            scan = scan_both(reader, log, *middle, search, check.name, *column);
        } else {
            scan.scan(reader, search, check.name, *column);
        }
        if (scan.holds_name) {
            check.outcome = CheckOutcome::already_logged;
        }
    }
    if (scan.failed) {
        check.outcome = CheckOutcome::read_error;
    }
    check.ends_with_line_break = scan.ends_with_line_break;
    return check;
}

} // namespace wutally::log
