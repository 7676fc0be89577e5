// The report's command line:
//   wutally-report [--json] [--html FILE] [--metrics FILE] [--since DAY]
//                  [--until DAY] [--silent-after DAYS] [PATH...]
//   wutally-report --skipped [PATH...]
#pragma once

#include "platform/result.hpp"
#include "report/figures/figure_collector.hpp"
#include "report/figures/log_time.hpp"

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace wutally::report {

extern const std::string_view usage_text;
std::string version_text();

enum class Request { report, help, version };

struct ReportOptions {
    Request request = Request::report;
    bool json = false;
    bool skipped = false; // list the skipped rows instead
    std::optional<std::string> html_file;
    std::optional<std::string> metrics_file;
    std::optional<Stamp> since; // the first second of the first day
    std::optional<Stamp> until; // the last second of the last day
    int silent_after_days = default_silent_after_days;
    std::vector<std::string> paths; // never empty: the working directory's log by default
};

// What is wrong with the command line, for the line before the pointer to
// --help.
struct UsageError {
    std::string message;
};

// Takes the arguments after the program's name.
Result<ReportOptions, UsageError> parse_report_options(std::span<const std::string_view> arguments);

} // namespace wutally::report
