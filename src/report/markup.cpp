#include "report/markup.hpp"

#include "report/number_format.hpp"
#include "report/utf8.hpp"

namespace wutally::report {

namespace {

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
            out.append(utf8_replacement);
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
