#include "report/rendering/report_tables.hpp"

#include "report/rendering/number_format.hpp"

#include <algorithm>

namespace wutally::report {

namespace {

constexpr std::string_view absent = "-";

std::string number_or_absent(const std::optional<double>& value) {
    return value ? format_shortest(*value) : std::string(absent);
}

std::string whole_or_absent(const std::optional<double>& value) {
    return value ? format_fixed(*value, 0) : std::string(absent);
}

// The day alone, so that the summary stays narrow enough for a laptop
// screen.
std::string day_of(Stamp stamp) {
    return format_stamp(stamp).substr(0, 10);
}

std::string day_or_absent(const std::optional<Stamp>& stamp) {
    return stamp ? day_of(*stamp) : std::string(absent);
}

// The decimal point and the digits after it; none for a whole number or a
// dash.
std::size_t decimals_of(std::string_view number) {
    const std::size_t point = number.find('.');
    return point == std::string_view::npos ? 0 : number.size() - point;
}

std::vector<std::string> log_row(std::string label, const LogFigures& figures) {
    return {std::move(label),
            format_count(figures.rows),
            format_count(figures.skipped),
            format_count(figures.repeated),
            format_count(figures.work_units),
            day_or_absent(figures.first),
            day_or_absent(figures.last),
            figures.cpu_hours ? format_fixed(*figures.cpu_hours, 1) : std::string(absent),
            format_hours_or_dash(figures.cpu_mean_s),
            format_hours_or_dash(figures.cpu_median_s)};
}

} // namespace

Table summary_table(const Figures& figures) {
    Table table{{"log", "rows", "skipped", "repeated", "work units", "first", "last", "CPU hours",
                 "mean CPU", "median CPU"},
                "wrrrrllrrr",
                {},
                figures.logs.size() > 1,
                {}};
    bool any_silent = false;
    for (const LogFigures& log : figures.logs) {
        table.rows.push_back(log_row(log.label, log));
        table.set_apart.push_back(log.silent);
        any_silent = any_silent || log.silent;
    }
    if (table.ends_in_total) {
        table.rows.push_back(log_row("all logs", figures.all));
        table.set_apart.push_back(false);
    }
    if (!any_silent) {
        table.set_apart.clear();
    }
    return table;
}

std::string account_title(const Account& account) {
    return "Account, as of " + format_stamp(account.date);
}

void line_up_decimals(Table& table, std::string_view pad) {
    for (std::size_t column = 0; column < table.alignment.size(); ++column) {
        if (table.alignment[column] != 'd') {
            continue;
        }
        std::size_t widest = 0;
        for (const auto& row : table.rows) {
            widest = std::max(widest, decimals_of(row.at(column)));
        }
        for (auto& row : table.rows) {
            for (std::size_t at = decimals_of(row[column]); at < widest; ++at) {
                row[column].append(pad);
            }
        }
    }
}

std::optional<std::string> range_sentence(const Figures& figures) {
    if (!figures.since && !figures.until) {
        return std::nullopt;
    }
    std::string text = "Only the work units of ";
    if (figures.since && figures.until) {
        text += day_of(*figures.since) + " to " + day_of(*figures.until);
    } else if (figures.since) {
        text += day_of(*figures.since) + " and later";
    } else {
        text += day_of(*figures.until) + " and earlier";
    }
    return text + " are counted (--since, --until).";
}

std::optional<std::string> silent_sentence(const Figures& figures) {
    std::string logs;
    for (const LogFigures& log : figures.logs) {
        if (log.silent) {
            logs += (logs.empty() ? "" : ", ") + log.label +
                    (log.last ? " since " + day_of(*log.last) : " with none");
        }
    }
    if (logs.empty()) {
        return std::nullopt;
    }
    return "Silent, with no work unit in the last " +
           format_counted(static_cast<std::uint64_t>(figures.silent_after_days), "day", "days") +
           " before the newest of all logs (--silent-after): " + logs + ".";
}

Table versions_table(const std::vector<VersionFigures>& versions) {
    Table table{{"version", "work units", "median CPU"}, "lrr", {}, false, {}};
    for (const VersionFigures& version : versions) {
        table.rows.push_back({version.version.empty() ? "(none)" : version.version,
                              format_count(version.work_units),
                              format_hours_or_dash(version.cpu_median_s)});
    }
    return table;
}

Table best_table(const std::vector<BestUnit>& units, const std::vector<LogFigures>& logs,
                 bool chisq) {
    Table table{{"", "score", "power"}, chisq ? "rdddlll" : "rddlll", {}, false, {}};
    if (chisq) {
        table.head.emplace_back("chisq");
    }
    table.head.insert(table.head.end(), {"date", "log", "name"});
    std::size_t place = 0;
    for (const BestUnit& unit : units) {
        std::vector<std::string> row{std::to_string(++place) + ".", format_shortest(unit.score),
                                     number_or_absent(unit.power)};
        if (chisq) {
            row.push_back(number_or_absent(unit.chisq));
        }
        row.insert(row.end(), {format_stamp(unit.date), logs.at(unit.log).label, unit.name});
        table.rows.push_back(std::move(row));
    }
    return table;
}

Table account_table(const Account& account) {
    return {{},
            "ll",
            {{"user name", account.user_name.value_or(std::string(absent))},
             {"work units", whole_or_absent(account.nwus)},
             {"results", whole_or_absent(account.nresults)},
             {"total CPU", format_hours_or_dash(account.total_cpu)}},
            false,
            {}};
}

std::string no_work_units_sentence(const Figures& figures) {
    if (!figures.since && !figures.until) {
        return std::string(no_work_units);
    }
    return "no work units in the days asked for";
}

} // namespace wutally::report
