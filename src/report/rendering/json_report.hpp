// The figures as one JSON document, for scripts.
#pragma once

#include "report/figures/figures.hpp"

#include <string>

namespace wutally::report {

std::string json_report(const Figures& figures);

} // namespace wutally::report
