#include "report/rendering/markup.hpp"

#include "report/rendering/number_format.hpp"
#include "report/rendering/utf8.hpp"

#include <cmath>

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
    return (value < 0x20 && byte != '\t' && byte != '\n') || value == 0x7F;
}

// U+FFFE and U+FFFF are valid UTF-8 but no characters XML allows.
bool is_noncharacter(std::string_view sequence) {
    return sequence == "\xEF\xBF\xBE" || sequence == "\xEF\xBF\xBF";
}

} // namespace

std::string escape_markup(std::string_view text) {
    return rewrite_utf8(text, [](std::string& out, std::string_view character, bool valid) {
        if (!valid || is_forbidden_control(character[0]) || is_noncharacter(character)) {
            out.append(utf8_replacement);
            return;
        }
        const std::string_view entity = entity_of(character[0]);
        out.append(entity.empty() ? character : entity);
    });
}

std::string coordinate(double value) {
    // No figure should make one, but a coordinate that is not a number
    // would make the picture fail to draw.
    return format_plain(std::isfinite(value) ? value : 0.0, 1);
}

} // namespace wutally::report
