#include "log/row_format.hpp"

#include "client/key_lookup.hpp"

#include <algorithm>
#include <charconv>

namespace wutally::log {

namespace {

bool is_ascii_letter(char byte) {
    return (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z');
}

bool needs_quotes(std::string_view value) {
    return std::ranges::any_of(
        value, [](char byte) { return is_ascii_letter(byte) || byte == ',' || byte == '"'; });
}

void append_number(std::string& out, int number, int width) {
    std::array<char, 16> digits{};
    const auto [end, error] = std::to_chars(digits.data(), digits.data() + digits.size(), number);
    const auto length = static_cast<int>(end - digits.data());
    out.append(static_cast<std::size_t>(std::max(0, width - length)), '0');
    out.append(digits.data(), end);
}

} // namespace

std::string_view ClientTexts::of(Source source) const {
    switch (source) {
    case Source::user_info:
        return user_info;
    case Source::result:
        return result;
    case Source::state:
        return state;
    }
    return {};
}

std::string header_row() {
    std::string row = "\"date\"";
    for (const ColumnList* list : column_lists) {
        for (const std::string_view key : list->keys) {
            row.append(",\"").append(header_text(*list, key)).append("\"");
        }
    }
    return row;
}

std::string format_timestamp(const std::tm& time) {
    std::string text;
    append_number(text, time.tm_year + 1900, 4);
    text += '.';
    append_number(text, time.tm_mon + 1, 2);
    text += '.';
    append_number(text, time.tm_mday, 2);
    text += ' ';
    append_number(text, time.tm_hour, 2);
    text += ':';
    append_number(text, time.tm_min, 2);
    text += ':';
    append_number(text, time.tm_sec, 2);
    return text;
}

std::string_view stored_form(std::string_view value) {
    value.remove_prefix(std::min(value.find_first_not_of(' '), value.size()));
    if (value.ends_with('\r')) {
        value.remove_suffix(1);
    }
    return value;
}

void append_value_field(std::string& row, std::string_view value) {
    const std::string_view stored = stored_form(value);
    if (needs_quotes(stored)) {
        row += '"';
        for (const char byte : stored) {
            row += byte;
            if (byte == '"') {
                row += '"';
            }
        }
        row += '"';
    } else {
        row.append(stored);
    }
}

std::string data_row(const ClientTexts& texts, const std::tm& time, platform::Console& console) {
    std::string row = '"' + format_timestamp(time) + '"';
    for (const ColumnList* list : column_lists) {
        const std::string_view text = texts.of(list->source);
        for (const std::string_view key : list->keys) {
            const auto value = client::find_value(text, key, console);
            row += ',';
            append_value_field(row, value.value_or(std::string_view{}));
        }
    }
    return row;
}

} // namespace wutally::log
