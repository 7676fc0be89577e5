#include "report/rendering/json_writer.hpp"
#include "platform/concat.hpp"

#include "report/rendering/utf8.hpp"

#include <array>
#include <charconv>
#include <cmath>

namespace wutally::report {

namespace {

// The escape of a byte that may not stand in a JSON string as it is.
std::string escape_of(char byte) {
    switch (byte) {
    case '"':
        return "\\\"";
    case '\\':
        return "\\\\";
    case '\b':
        return "\\b";
    case '\f':
        return "\\f";
    case '\n':
        return "\\n";
    case '\r':
        return "\\r";
    case '\t':
        return "\\t";
    default:
        break;
    }
    constexpr std::string_view hex = "0123456789abcdef";
    const auto value = static_cast<unsigned char>(byte);
    if (value < 0x20) {
        return std::string("\\u00") + hex[value >> 4] + hex[value & 0xF];
    }
    return {};
}

} // namespace

std::string json_string(std::string_view text) {
    const auto escaped = [](std::string& out, std::string_view character, bool valid) {
        if (!valid) {
            out.append(utf8_replacement);
            return;
        }
        const std::string escape = escape_of(character[0]);
        out.append(escape.empty() ? character : std::string_view(escape));
    };
    return concat("\"", rewrite_utf8(text, escaped), "\"");
}

std::string json_number(double value) {
    if (!std::isfinite(value)) {
        return "null";
    }
    constexpr double exact_integers = 9007199254740992.0; // 2^53
    std::array<char, 32> digits{};
    std::to_chars_result result{};
    if (std::trunc(value) == value && std::fabs(value) < exact_integers) {
        result = std::to_chars(digits.data(), digits.data() + digits.size(),
                               static_cast<std::int64_t>(value));
    } else {
        result = std::to_chars(digits.data(), digits.data() + digits.size(), value);
    }
    return {digits.data(), result.ptr};
}

void JsonWriter::begin_value() {
    if (after_key_) {
        after_key_ = false;
        return;
    }
    if (!has_items_.empty()) {
        out_ += has_items_.back() ? ",\n" : "\n";
        has_items_.back() = true;
        out_.append(has_items_.size() * 2, ' ');
    }
}

void JsonWriter::open(char bracket) {
    begin_value();
    out_ += bracket;
    has_items_.push_back(false);
}

void JsonWriter::close(char bracket) {
    const bool had_items = has_items_.back();
    has_items_.pop_back();
    if (had_items) {
        out_ += '\n';
        out_.append(has_items_.size() * 2, ' ');
    }
    out_ += bracket;
}

void JsonWriter::begin_object() {
    open('{');
}

void JsonWriter::end_object() {
    close('}');
}

void JsonWriter::begin_array() {
    open('[');
}

void JsonWriter::end_array() {
    close(']');
}

void JsonWriter::key(std::string_view name) {
    begin_value();
    out_ += json_string(name);
    out_ += ": ";
    after_key_ = true;
}

void JsonWriter::string(std::string_view text) {
    begin_value();
    out_ += json_string(text);
}

void JsonWriter::count(std::uint64_t value) {
    begin_value();
    out_ += std::to_string(value);
}

void JsonWriter::number(double value) {
    begin_value();
    out_ += json_number(value);
}

void JsonWriter::null() {
    begin_value();
    out_ += "null";
}

void JsonWriter::boolean(bool value) {
    begin_value();
    out_ += value ? "true" : "false";
}

} // namespace wutally::report
