// The page: one self-contained HTML file of tables and inline SVG charts,
// with nothing fetched from elsewhere, so it opens offline and can be
// mailed as it is.
#pragma once

#include "report/figures/figures.hpp"

#include <string>

namespace wutally::report {

std::string html_report(const Figures& figures);

} // namespace wutally::report
