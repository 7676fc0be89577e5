#include "report/report_options.hpp"

#include "log/log_file.hpp"

#include <version.hpp>

namespace wutally::report {

const std::string_view usage_text =
    "usage: wutally-report [--json] [--html FILE] [--metrics FILE] [--since DAY]\n"
    "                      [--until DAY] [--silent-after DAYS] [PATH...]\n"
    "       wutally-report --skipped [PATH...]\n"
    "\n"
    "Shows what WUTally logs hold: work units, CPU time, months, client\n"
    "versions, the best results and the account.\n"
    "\n"
    "  PATH            a log, or a directory holding WUTally.csv; several paths\n"
    "                  are reported together and one by one (default:\n"
    "                  WUTally.csv); - reads a log from standard input\n"
    "  --json          the figures as one JSON document instead of the summary\n"
    "  --html FILE     also write a page of charts and tables to FILE\n"
    "  --metrics FILE  also write the figures for Prometheus to FILE (*.prom)\n"
    "  --since DAY     only the work units of this day and later\n"
    "  --until DAY     only the work units of this day and earlier\n"
    "                  (DAY as YYYY-MM-DD or YYYY.MM.DD)\n"
    "  --silent-after DAYS\n"
    "                  mark a log whose last work unit is more than DAYS days\n"
    "                  older than the newest of all logs (default: 3)\n"
    "  --skipped       list the rows that are skipped, as PATH:LINE: REASON\n"
    "  --help, /?      this text\n"
    "  --version       the program's version\n";

std::string version_text() {
    return "wutally-report " + std::string(version) + "\n";
}

namespace {

// A day given as YYYY-MM-DD, or as the programs print it, YYYY.MM.DD, at
// its first second or, with `last`, at its last (a leap second included).
std::optional<Stamp> parse_day(std::string_view text, bool last) {
    if (text.size() != 10 || text[4] != text[7] || (text[4] != '-' && text[4] != '.')) {
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

// A whole number of days from 1 to 100 years' worth.
std::optional<int> parse_days(std::string_view text) {
    int days = 0;
    if (text.empty() || text.size() > 5) {
        return std::nullopt;
    }
    for (const char digit : text) {
        if (digit < '0' || digit > '9') {
            return std::nullopt;
        }
        days = days * 10 + (digit - '0');
    }
    return days >= 1 && days <= 36525 ? std::optional<int>(days) : std::nullopt;
}

bool is_option(std::string_view argument, std::string_view name) {
    return argument == name || (argument.starts_with(name) && argument.size() > name.size() &&
                                argument[name.size()] == '=');
}

// Takes the command line one argument at a time.
class OptionParser {
  public:
    explicit OptionParser(std::span<const std::string_view> arguments) : arguments_(arguments) {}

    Result<ReportOptions, UsageError> parse() {
        for (; at_ < arguments_.size(); ++at_) {
            if (const auto taken = take(arguments_[at_]); !taken) {
                return taken.error();
            }
            if (options_.request != Request::report) {
                return std::move(options_);
            }
        }
        if (const auto checked = check_combination(); !checked) {
            return checked.error();
        }
        if (options_.paths.empty()) {
            options_.paths.emplace_back(log::log_file_name);
        }
        return std::move(options_);
    }

  private:
    Result<void, UsageError> take(std::string_view argument) {
        if (only_paths_ || argument == "-" || !argument.starts_with('-')) {
            if (argument == "/?" && !only_paths_) {
                options_.request = Request::help;
            } else {
                options_.paths.emplace_back(argument);
            }
        } else if (argument == "--") {
            only_paths_ = true;
        } else if (argument == "--help" || argument == "-h") {
            options_.request = Request::help;
        } else if (argument == "--version") {
            options_.request = Request::version;
        } else if (argument == "--json") {
            options_.json = true;
        } else if (argument == "--skipped") {
            options_.skipped = true;
        } else if (is_option(argument, "--since") || is_option(argument, "--until")) {
            return take_day(argument.starts_with("--since"));
        } else if (is_option(argument, "--silent-after")) {
            const auto days = parse_days(value_of("--silent-after").value_or(""));
            if (!days) {
                return UsageError{"--silent-after needs a whole number of days from 1"};
            }
            options_.silent_after_days = *days;
        } else if (is_option(argument, "--html") || is_option(argument, "--metrics")) {
            const bool html = argument.starts_with("--html");
            const std::string_view name = html ? "--html" : "--metrics";
            const auto file = value_of(name);
            if (!file || file->empty()) {
                return UsageError{std::string(name) + " needs a file name"};
            }
            (html ? options_.html_file : options_.metrics_file) = std::string(*file);
        } else {
            return UsageError{"unknown option " + std::string(argument)};
        }
        return {};
    }

    Result<void, UsageError> take_day(bool since) {
        const std::string_view name = since ? "--since" : "--until";
        const auto value = value_of(name);
        const auto day = value ? parse_day(*value, !since) : std::nullopt;
        if (!day) {
            return UsageError{std::string(name) + " needs a day as YYYY-MM-DD or YYYY.MM.DD"};
        }
        (since ? options_.since : options_.until) = day;
        return {};
    }

    // Options that would each drop what another asked for.
    [[nodiscard]] Result<void, UsageError> check_combination() const {
        const ReportOptions& o = options_;
        if (o.skipped && (o.json || o.html_file || o.metrics_file || o.since || o.until)) {
            return UsageError{"--skipped lists rows alone; it takes no --json, --html, "
                              "--metrics, --since or --until"};
        }
        if (o.metrics_file && (o.since || o.until)) {
            return UsageError{"--metrics counts whole logs; it takes no --since or --until"};
        }
        if (o.since && o.until && *o.until < *o.since) {
            return UsageError{"--until is a day before --since"};
        }
        return {};
    }

    // An option's value, given as the next argument or after "=".
    std::optional<std::string_view> value_of(std::string_view name) {
        const std::string_view argument = arguments_[at_];
        if (argument.size() > name.size() && argument[name.size()] == '=') {
            return argument.substr(name.size() + 1);
        }
        if (++at_ == arguments_.size()) {
            return std::nullopt;
        }
        return arguments_[at_];
    }

    std::span<const std::string_view> arguments_;
    std::size_t at_ = 0;
    bool only_paths_ = false;
    ReportOptions options_;
};

} // namespace

Result<ReportOptions, UsageError>
parse_report_options(std::span<const std::string_view> arguments) {
    return OptionParser(arguments).parse();
}

} // namespace wutally::report
