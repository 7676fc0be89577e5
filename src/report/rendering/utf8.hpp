// UTF-8 as the report's outputs need it: field texts are bytes, and
// what is not valid UTF-8 is shown as U+FFFD.
#pragma once

#include <cstddef>
#include <string_view>

namespace wutally::report {

inline constexpr std::string_view utf8_replacement = "\xEF\xBF\xBD";

// The length of the valid UTF-8 sequence at the start of a non-empty text,
// or 0: no overlong forms, no surrogates, nothing above U+10FFFF.
std::size_t utf8_sequence(std::string_view text);

} // namespace wutally::report
