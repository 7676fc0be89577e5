#include "report/rendering/report_tables.hpp"

#include "report/rendering/number_format.hpp"

namespace wutally::report {

namespace {

constexpr std::string_view absent = "-";

std::string hours_or_absent(const std::optional<double>& seconds) {
    return seconds ? format_hours(*seconds) : std::string(absent);
}

std::string number_or_absent(const std::optional<double>& value) {
    return value ? format_shortest(*value) : std::string(absent);
}

std::string whole_or_absent(const std::optional<double>& value) {
    return value ? format_fixed(*value, 0) : std::string(absent);
}

// The day alone, so that the summary stays narrow enough for a laptop
// screen.
std::string day_or_absent(const std::optional<Stamp>& stamp) {
    return stamp ? format_stamp(*stamp).substr(0, 10) : std::string(absent);
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
            hours_or_absent(figures.cpu_mean_s),
            hours_or_absent(figures.cpu_median_s)};
}

} // namespace

Table summary_table(const Figures& figures) {
    Table table{{"log", "rows", "skipped", "repeated", "work units", "first", "last", "CPU hours",
                 "mean CPU", "median CPU"},
                "wrrrrllrrr",
                {},
                figures.logs.size() > 1};
    for (const LogFigures& log : figures.logs) {
        table.rows.push_back(log_row(log.label, log));
    }
    if (table.ends_in_total) {
        table.rows.push_back(log_row("all logs", figures.all));
    }
    return table;
}

Table versions_table(const std::vector<VersionFigures>& versions) {
    Table table{{"version", "work units", "median CPU"}, "lrr", {}, false};
    for (const VersionFigures& version : versions) {
        table.rows.push_back({version.version.empty() ? "(none)" : version.version,
                              format_count(version.work_units),
                              hours_or_absent(version.cpu_median_s)});
    }
    return table;
}

Table best_table(const std::vector<BestUnit>& units, const std::vector<LogFigures>& logs,
                 bool chisq) {
    Table table{{"", "score", "power"}, chisq ? "rrrrlll" : "rrrlll", {}, false};
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
             {"total CPU", hours_or_absent(account.total_cpu)}},
            false};
}

} // namespace wutally::report
