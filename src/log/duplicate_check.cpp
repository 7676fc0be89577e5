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

// What reading one part of the log found.
struct PartScan {
    bool holds_name = false;
    bool failed = false;
    bool has_read = false;
    bool ends_with_line_break = false;
};

PartScan scan_part(LogReader& reader, const SearchText& search, std::string_view name,
                   std::size_t column) {
    const bool holds_name = rows_hold_name(reader, search, name, column);
    return {holds_name, reader.failed(), reader.has_read(), reader.ends_with_line_break()};
}

// Scans the first part here and, at the same time, the second on a second
// thread; where no thread can be started, the second after the first.
PartScan scan_parts(LogReader& first, const platform::File& log,
                    std::optional<std::uint64_t> middle, const SearchText& search,
                    std::string_view name, std::size_t column) {
    if (!middle) {
        return scan_part(first, search, name, column);
    }
    PartScan second;
    const auto scan_second = [&] {
        LogReader reader(log, ByteRange{*middle});
        second = scan_part(reader, search, name, column);
    };
    std::thread thread;
    try {
        thread = std::thread(scan_second);
    } catch (const std::system_error&) {
    }
    const PartScan both = scan_part(first, search, name, column);
    if (thread.joinable()) {
        thread.join();
    } else {
        scan_second();
    }
    // The log's last byte is the second part's, unless that part is empty.
    return {both.holds_name || second.holds_name, both.failed || second.failed, true,
            second.has_read ? second.ends_with_line_break : both.ends_with_line_break};
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
    if (const auto first_line = reader.read_log_line()) {
        parse_log_record(*first_line, record);
        header.load_header_table(record);
    }
    const client::Lookup value = client::find_value(result_text, "name");
    if (const auto* failure = std::get_if<client::LookupFailure>(&value)) {
        return {CheckOutcome::no_name_value, {}, *failure};
    }
    DuplicateCheck check{CheckOutcome::not_logged, stored_form(std::get<std::string_view>(value))};
    const auto column = header.column_of("name");
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
        }
        scan.failed = reader.failed() || (rest && rest->failed());
        scan.ends_with_line_break = reader.ends_with_line_break();
    } else {
        const SearchText search(check.name, reader.buffered());
        scan = scan_parts(reader, log, middle, search, check.name, *column);
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
