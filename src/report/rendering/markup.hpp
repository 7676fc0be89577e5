// Text for HTML and SVG: escaped, and valid UTF-8 whatever the bytes were.
#pragma once

#include <string>
#include <string_view>

namespace wutally::report {

// Escapes &, <, >, " and ', and shows each byte that is not part of valid
// UTF-8, each control byte but tab and line feed, and U+FFFE and U+FFFF as
// U+FFFD, so that any field text makes well-formed markup.
std::string escape_markup(std::string_view text);

// A coordinate, with one decimal: "12.5".
std::string coordinate(double value);

} // namespace wutally::report
