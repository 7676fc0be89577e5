// One run of the report: read the logs, then print or write what they hold.
#pragma once

#include "platform/console.hpp"

#include <span>
#include <string_view>

namespace wutally::report {

enum ReportStatus : int { report_success = 0, report_failure = 1, report_usage_error = 2 };

// Takes the arguments after the program's name; results go to `out`,
// messages to `errors`.
int run_report(std::span<const std::string_view> arguments, platform::Console& out,
               platform::Console& errors);

} // namespace wutally::report
