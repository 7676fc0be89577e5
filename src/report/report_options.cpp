#include "report/report_options.hpp"

#include "log/log_file.hpp"

#include <version.hpp>

namespace wutally::report {

const std::string_view usage_text =
    "usage: wutally-report [--json] [--html FILE] [--since DAY] [--until DAY] [PATH...]\n"
    "       wutally-report --skipped [PATH...]\n"
    "\n"
    "Shows what WUTally logs hold: work units, CPU time, months, client\n"
    "versions, the best results and the account.\n"
    "\n"
    "  PATH         a log, or a directory holding WUTally.csv; several paths\n"
    "               are reported together and one by one (default: WUTally.csv);\n"
    "               - reads a log from standard input\n"
    "  --json       the figures as one JSON document instead of the summary\n"
    "  --html FILE  also write a page of charts and tables to FILE\n"
    "  --since DAY  only the work units of this day (YYYY-MM-DD) and later\n"
    "  --until DAY  only the work units of this day (YYYY-MM-DD) and earlier\n"
    "  --skipped    list the rows that are skipped, as PATH:LINE: REASON\n"
    "  --help, /?   this text\n"
    "  --version    the program's version\n";

std::string version_text() {
    return "wutally-report " + std::string(version) + "\n";
}

namespace {

// A day given as YYYY-MM-DD, at its first second or, with `last`, at its
// last (a leap second included).
std::optional<Stamp> parse_day(std::string_view text, bool last) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') {
        return std::nullopt;
    }
    std::string field(text);
    field[4] = '.';
    field[7] = '.';
    auto stamp = parse_stamp(field + " 00:00:00");
    if (stamp && last) {
        stamp->time_of_day = std::chrono::duration<std::int32_t>{86400};
    }
    return stamp;
}

// An option's value, given as the next argument or after "=".
std::optional<std::string_view>
value_of(std::string_view name, std::span<const std::string_view> arguments, std::size_t& at) {
    const std::string_view argument = arguments[at];
    if (argument.size() > name.size() && argument[name.size()] == '=') {
        return argument.substr(name.size() + 1);
    }
    if (++at == arguments.size()) {
        return std::nullopt;
    }
    return arguments[at];
}

bool is_option(std::string_view argument, std::string_view name) {
    return argument == name || (argument.starts_with(name) && argument.size() > name.size() &&
                                argument[name.size()] == '=');
}

} // namespace

ParsedOptions parse_report_options(std::span<const std::string_view> arguments) {
    ReportOptions options;
    bool only_paths = false;
    for (std::size_t at = 0; at < arguments.size(); ++at) {
        const std::string_view argument = arguments[at];
        if (only_paths || argument == "-" || !argument.starts_with('-')) {
            if (argument == "/?" && !only_paths) {
                return InfoRequest::help;
            }
            options.paths.emplace_back(argument);
        } else if (argument == "--") {
            only_paths = true;
        } else if (argument == "--help" || argument == "-h") {
            return InfoRequest::help;
        } else if (argument == "--version") {
            return InfoRequest::version;
        } else if (argument == "--json") {
            options.json = true;
        } else if (argument == "--skipped") {
            options.skipped = true;
        } else if (is_option(argument, "--since") || is_option(argument, "--until")) {
            const bool since = argument.starts_with("--since");
            const std::string_view name = since ? "--since" : "--until";
            const auto value = value_of(name, arguments, at);
            const auto day = value ? parse_day(*value, !since) : std::nullopt;
            if (!day) {
                return UsageError{std::string(name) + " needs a day as YYYY-MM-DD"};
            }
            (since ? options.since : options.until) = day;
        } else if (argument == "--html") {
            if (++at == arguments.size()) {
                return UsageError{"--html needs a file name"};
            }
            options.html_file = std::string(arguments[at]);
        } else if (argument.starts_with("--html=")) {
            options.html_file = std::string(argument.substr(7));
        } else {
            return UsageError{"unknown option " + std::string(argument)};
        }
    }
    if (options.html_file && options.html_file->empty()) {
        return UsageError{"--html needs a file name"};
    }
    if (options.paths.empty()) {
        options.paths.emplace_back(log::log_file_name);
    }
    return options;
}

} // namespace wutally::report
