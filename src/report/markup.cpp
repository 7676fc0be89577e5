#include "report/markup.hpp"

#include "report/number_format.hpp"

namespace wutally::report {

namespace {

constexpr std::string_view replacement = "\xEF\xBF\xBD";

// The length of the valid UTF-8 sequence at the start of text, or 0.
std::size_t utf8_sequence(std::string_view text) {
    const auto lead = static_cast<unsigned char>(text[0]);
    std::size_t length = 0;
    unsigned char second_low = 0x80;
    unsigned char second_high = 0xBF;
    if (lead < 0x80) {
        return 1;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        second_low = lead == 0xE0 ? 0xA0 : 0x80;  // no overlong forms
        second_high = lead == 0xED ? 0x9F : 0xBF; // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        second_low = lead == 0xF0 ? 0x90 : 0x80;
        second_high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (text.size() < length) {
        return 0;
    }
    for (std::size_t at = 1; at < length; ++at) {
        const auto byte = static_cast<unsigned char>(text[at]);
        const unsigned char low = at == 1 ? second_low : 0x80;
        const unsigned char high = at == 1 ? second_high : 0xBF;
        if (byte < low || byte > high) {
            return 0;
        }
    }
    return length;
}

std::string_view entity_of(char byte) {
    switch (byte) {
    case '&':
        return "&amp;";
    case '<':
        return "&lt;";
    case '>':
        return "&gt;";
    case '"':
        return "&quot;";
    case '\'':
        return "&#39;";
    default:
        return {};
    }
}

bool is_forbidden_control(char byte) {
    const auto value = static_cast<unsigned char>(byte);
    return (value < 0x20 && byte != '\t' && byte != '\n' && byte != '\r') || value == 0x7F;
}

} // namespace

std::string escape_markup(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    while (!text.empty()) {
        const std::size_t length = utf8_sequence(text);
        if (length == 0 || is_forbidden_control(text[0])) {
            out.append(replacement);
            text.remove_prefix(1);
            continue;
        }
        const std::string_view entity = entity_of(text[0]);
        out.append(entity.empty() ? text.substr(0, length) : entity);
        text.remove_prefix(length);
    }
    return out;
}

std::string coordinate(double value) {
    return format_plain(value, 1);
}

} // namespace wutally::report
