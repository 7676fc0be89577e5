// The report's command line: wutally-report [--json] [--html FILE] [PATH...]
#pragma once

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
    std::optional<std::string> html_file;
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
