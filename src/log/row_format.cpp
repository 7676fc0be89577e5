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

std::string stored_form(std::string_view value) {
    value = value.substr(0, value.find_last_not_of('\r') + 1);
    std::string stored(value);
    std::ranges::replace(stored, '\r', ' ');
    stored.erase(0, std::min(stored.find_first_not_of(' '), stored.size()));
    return stored;
}

void append_value_field(std::string& row, std::string_view value) {
    const std::string stored = stored_form(value);
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

DataRow data_row(const ClientTexts& texts, const std::tm& time) {
    DataRow row{'"' + format_timestamp(time) + '"', {}};
    for (const ColumnList* list : column_lists) {
        const std::string_view text = texts.of(list->source);
        for (const std::string_view key : list->keys) {
            const client::Lookup lookup = client::find_value(text, key);
            row.bytes += ',';
            if (lookup) {
                append_value_field(row.bytes, *lookup);
            } else {
                row.missing.push_back({key, lookup.error()});
            }
        }
    }
    return row;
}

} // namespace wutally::log
