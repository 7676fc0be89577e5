// The summary for a person, in a terminal.
#pragma once

#include "report/figures/figures.hpp"

#include <string>

namespace wutally::report {

std::string text_report(const Figures& figures);

// A field text safe to show in a terminal: control bytes (C0, DEL, and
// bytes 0x80 to 0x9F outside valid UTF-8) become "?".
std::string printable(std::string_view text);

} // namespace wutally::report
