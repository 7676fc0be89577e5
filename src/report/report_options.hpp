// The report's command line:
//   wutally-report [--json] [--html FILE] [--since DAY] [--until DAY] [PATH...]
//   wutally-report --skipped [PATH...]
#pragma once

#include "report/figures/log_time.hpp"

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace wutally::report {

extern const std::string_view usage_text;
std::string version_text();

struct ReportOptions {
    bool json = false;
    bool skipped = false; // list the skipped rows instead
    std::optional<std::string> html_file;
    std::optional<Stamp> since;     // the first second of the first day
    std::optional<Stamp> until;     // the last second of the last day
    std::vector<std::string> paths; // never empty: the working directory's log by default
};

enum class InfoRequest { help, version };

// What is wrong with the command line, for the line before the usage.
struct UsageError {
    std::string message;
};

using ParsedOptions = std::variant<ReportOptions, InfoRequest, UsageError>;

// Takes the arguments after the program's name.
ParsedOptions parse_report_options(std::span<const std::string_view> arguments);

} // namespace wutally::report
