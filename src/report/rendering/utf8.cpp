#include "report/rendering/utf8.hpp"

namespace wutally::report {

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

} // namespace wutally::report
