#include "log/lock_record.hpp"

#include <charconv>
#include <system_error>

namespace wutally::log {

namespace {

constexpr std::string_view first_line = "WUTally lock\n";

// A value on one line: a host name may hold anything.
std::string one_line(std::string_view value) {
    std::string line(value);
    for (char& byte : line) {
        if (byte == '\n' || byte == '\r') {
            byte = '?';
        }
    }
    return line;
}

std::optional<std::uint64_t> number(std::string_view text) {
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size() || text.empty()) {
        return std::nullopt;
    }
    return value;
}

// Takes the next line off the text, without its line feed; none where the
// text holds no whole line.
std::optional<std::string_view> take_line(std::string_view& text) {
    const std::size_t end = text.find('\n');
    if (end == std::string_view::npos) {
        return std::nullopt;
    }
    const std::string_view line = text.substr(0, end);
    text.remove_prefix(end + 1);
    return line;
}

// "START LENGTH" followed by LENGTH bytes; none where they are cut short.
std::optional<PendingRow> take_row(std::string_view value, std::string_view& text) {
    const std::size_t space = value.find(' ');
    const auto start = number(value.substr(0, space));
    const auto length =
        space == std::string_view::npos ? std::nullopt : number(value.substr(space + 1));
    if (!start || !length || *length > text.size()) {
        return std::nullopt;
    }
    PendingRow row{*start, std::string(text.substr(0, static_cast<std::size_t>(*length)))};
    text.remove_prefix(static_cast<std::size_t>(*length));
    return row;
}

} // namespace

std::string format_lock_record(const platform::ProcessIdentity& holder, std::string_view token) {
    std::string text(first_line);
    text.append("host=").append(one_line(holder.host)).append("\n");
    text.append("machine=").append(one_line(holder.machine)).append("\n");
    text.append("boot=").append(one_line(holder.boot)).append("\n");
    text.append("pid=").append(std::to_string(holder.pid)).append("\n");
    text.append("start=").append(std::to_string(holder.start)).append("\n");
    return text.append("token=").append(one_line(token)).append("\n");
}

std::string format_pending_row(const PendingRow& row) {
    return "row=" + std::to_string(row.start) + " " + std::to_string(row.bytes.size()) + "\n" +
           row.bytes;
}

std::optional<LockRecord> parse_lock_record(std::string_view text) {
    if (!text.starts_with(first_line)) {
        return std::nullopt;
    }
    text.remove_prefix(first_line.size());
    LockRecord record;
    std::optional<std::uint64_t> pid;
    std::optional<std::uint64_t> start;
    while (const auto line = take_line(text)) {
        const std::size_t equals = line->find('=');
        const std::string_view key = line->substr(0, equals);
        const std::string_view value =
            equals == std::string_view::npos ? std::string_view{} : line->substr(equals + 1);
        if (key == "row") {
            auto row = take_row(value, text);
            if (!row) {
                break; // the holder died writing it, before its row
            }
            record.row = std::move(row);
        } else if (key == "host") {
            record.holder.host = value;
        } else if (key == "machine") {
            record.holder.machine = value;
        } else if (key == "boot") {
            record.holder.boot = value;
        } else if (key == "pid") {
            pid = number(value);
        } else if (key == "start") {
            start = number(value);
        } else if (key == "token") {
            record.token = value;
        }
    }
    if (!pid || !start || record.token.empty()) {
        return std::nullopt;
    }
    record.holder.pid = *pid;
    record.holder.start = *start;
    return record;
}

} // namespace wutally::log
