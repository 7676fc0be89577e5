#include "report/report_options.hpp"

#include "log/log_file.hpp"

#include <version.hpp>

namespace wutally::report {

const std::string_view usage_text =
    "usage: wutally-report [--json] [--html FILE] [PATH...]\n"
    "\n"
    "Shows what WUTally logs hold: work units, CPU time, months, client\n"
    "versions, the best results and the account.\n"
    "\n"
    "  PATH         a log, or a directory holding WUTally.csv; several paths\n"
    "               are reported together and one by one (default: WUTally.csv);\n"
    "               - reads a log from standard input\n"
    "  --json       the figures as one JSON document instead of the summary\n"
    "  --html FILE  also write a page of charts and tables to FILE\n"
    "  --help, /?   this text\n"
    "  --version    the program's version\n";

std::string version_text() {
    return "wutally-report " + std::string(version) + "\n";
}

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
