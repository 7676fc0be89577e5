// UTF-8 as the report's outputs need it: field texts are bytes, and
// what is not valid UTF-8 is shown as U+FFFD.
#pragma once

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>

namespace wutally::report {

inline constexpr std::string_view utf8_replacement = "\xEF\xBF\xBD";

// The length of the valid UTF-8 sequence at the start of a non-empty text,
// or 0: no overlong forms, no surrogates, nothing above U+10FFFF.
std::size_t utf8_sequence(std::string_view text);

// The text rewritten a character at a time: `rewrite(out, character,
// valid)` appends what stands for each valid UTF-8 sequence, and for each
// byte that starts none, given alone with `valid` false.
template <class Rewrite> std::string rewrite_utf8(std::string_view text, Rewrite rewrite) {
    std::string out;
    out.reserve(text.size());
    while (!text.empty()) {
        const std::size_t length = utf8_sequence(text);
        const std::size_t taken = std::max<std::size_t>(length, 1);
        rewrite(out, text.substr(0, taken), length != 0);
        text.remove_prefix(taken);
    }
    return out;
}

} // namespace wutally::report
