#include "report/rendering/html_report.hpp"
#include "platform/concat.hpp"

#include "report/rendering/markup.hpp"
#include "report/rendering/number_format.hpp"
#include "report/rendering/report_tables.hpp"
#include "report/rendering/svg_chart.hpp"

#include <algorithm>
#include <page_style.hpp>
#include <version.hpp>

namespace wutally::report {

namespace {

std::string cell(std::string_view text, std::string_view tag = "td", std::string_view kind = "") {
    const std::string kind_attribute = kind.empty() ? "" : concat(" class=\"", kind, "\"");
    return concat("<", tag, kind_attribute, ">", escape_markup(text), "</", tag, ">");
}

// U+2007, as wide as a digit in the page's tabular figures.
constexpr std::string_view figure_space = "\xE2\x80\x87";

// The table as HTML: the head in th cells, a list of terms and values with
// the terms in th cells, and the total row and the silent logs set apart.
std::string render(Table table, std::string_view table_class = "") {
    line_up_decimals(table, figure_space);
    const auto kind_of = [&](std::size_t column) -> std::string_view {
        const char alignment = column < table.alignment.size() ? table.alignment[column] : 'r';
        return alignment == 'l' ? "text" : alignment == 'w' ? "text path" : "";
    };
    std::string html = "<div class=\"scroll\"><table" +
                       (table_class.empty() ? "" : " class=\"" + std::string(table_class) + "\"") +
                       ">\n";
    if (!table.head.empty()) {
        html += "<tr>";
        for (std::size_t column = 0; column < table.head.size(); ++column) {
            html += cell(table.head[column], "th", kind_of(column));
        }
        html += "</tr>\n";
    }
    for (std::size_t at = 0; at < table.rows.size(); ++at) {
        const bool total = table.ends_in_total && at + 1 == table.rows.size();
        const bool silent = at < table.set_apart.size() && table.set_apart[at];
        html += total ? "<tr class=\"total\">" : silent ? "<tr class=\"silent\">" : "<tr>";
        const auto& row = table.rows[at];
        for (std::size_t column = 0; column < row.size(); ++column) {
            const bool term = table.head.empty() && column == 0;
            std::string shown = cell(row[column], term ? "th" : "td", kind_of(column));
            if (silent && column == 0) {
                shown.insert(shown.size() - 5, "<span class=\"mark\">silent</span>");
            }
            html += shown;
        }
        html += "</tr>\n";
    }
    return html + "</table></div>\n";
}

// A chart with its title, and a line under it that says what its marks
// stand for.
std::string figure(std::string_view caption, const std::string& svg, std::string_view key = "") {
    std::string html = "<figure><figcaption>" + escape_markup(caption) + "</figcaption>\n" + svg;
    if (!key.empty()) {
        html += "<p class=\"key\">" + escape_markup(key) + "</p>\n";
    }
    return html + "</figure>\n";
}

// With several logs, each month's bar is stacked of the logs' work units.
std::string months_chart(const Figures& figures) {
    const bool several = figures.logs.size() > 1;
    std::vector<Bar> bars;
    for (const MonthFigures& month : figures.months) {
        Bar& bar =
            bars.emplace_back(Bar{format_month(month.month),
                                  static_cast<double>(month.work_units),
                                  format_counted(month.work_units, "work unit", "work units"),
                                  std::nullopt,
                                  {}});
        for (std::size_t log = 0; several && log < month.logs.size(); ++log) {
            const std::uint64_t count = month.logs[log].work_units;
            if (count > 0) {
                bar.parts.push_back({static_cast<double>(count), log,
                                     bar.label + ", " + figures.logs[log].label + ": " +
                                         format_counted(count, "work unit", "work units")});
            }
        }
    }
    return figure(months_title,
                  column_chart({std::string(months_title), "month", "work units"}, bars));
}

// Each version where it first appears in any log that logged with another
// before.
std::vector<Marker> version_markers(const Figures& figures) {
    std::vector<Marker> markers;
    std::vector<std::string_view> marked;
    for (const VersionStart& start : figures.version_starts) {
        if (std::find(marked.begin(), marked.end(), start.version) == marked.end()) {
            marked.push_back(start.version);
            markers.push_back({days_since_epoch(start.date), start.version});
        }
    }
    return markers;
}

std::string cpu_chart(const Figures& figures) {
    std::vector<TimePoint> points;
    points.reserve(figures.points.size());
    std::vector<std::string> titles;
    const bool named = figures.point_names.size() == figures.points.size();
    for (std::size_t at = 0; at < figures.points.size(); ++at) {
        const UnitPoint& unit = figures.points[at];
        if (named) {
            titles.push_back("work unit " + figures.point_names[at] + ", " +
                             format_stamp(unit.date) + ", " + format_fixed(unit.cpu_s / 3600, 2) +
                             " CPU hours, " + figures.logs.at(unit.log).label);
        }
        points.push_back({days_since_epoch(unit.date), unit.cpu_s / 3600, unit.log});
    }
    // One line of the monthly median for all logs together, or one a log,
    // from the log's first work unit to its last.
    const bool several = figures.logs.size() > 1;
    std::vector<Step> steps;
    const auto within = [](double day, const LogFigures& log) {
        return std::clamp(day, log.first ? days_since_epoch(*log.first) : day,
                          log.last ? days_since_epoch(*log.last) : day);
    };
    for (const MonthFigures& month : figures.months) {
        const double from = month_start_days(month.month);
        const double to = month_start_days(month.month + std::chrono::months{1});
        if (!several && month.cpu_median_s) {
            steps.push_back({within(from, figures.all), within(to, figures.all),
                             *month.cpu_median_s / 3600, 0});
        }
        for (std::size_t log = 0; several && log < month.logs.size(); ++log) {
            if (month.logs[log].cpu_median_s) {
                const LogFigures& figures_of_log = figures.logs.at(log);
                steps.push_back({within(from, figures_of_log), within(to, figures_of_log),
                                 *month.logs[log].cpu_median_s / 3600, log});
            }
        }
    }
    const std::string title = "CPU hours per work unit over time";
    const std::vector<Marker> markers = version_markers(figures);
    std::string key = "Each dot is a work unit. ";
    key += several ? "Each line is a log's median for the month, in the log's colour."
                   : "The line is the median for the month.";
    if (!markers.empty()) {
        key += " A dashed line marks where a client version first appears.";
    }
    return figure(title,
                  time_chart({title, "date of the row", "CPU hours"}, points, steps, markers,
                             figures.logs.size(), titles),
                  key);
}

std::string per_log_charts(const Figures& figures) {
    std::vector<Bar> units;
    std::vector<Bar> medians;
    for (std::size_t at = 0; at < figures.logs.size(); ++at) {
        const LogFigures& log = figures.logs[at];
        const std::string count = format_count(log.work_units);
        units.push_back({log.label,
                         static_cast<double>(log.work_units),
                         log.silent ? count + ", silent" : count,
                         at,
                         {}});
        medians.push_back({log.label,
                           log.cpu_median_s.value_or(0) / 3600,
                           format_hours_or_dash(log.cpu_median_s),
                           at,
                           {}});
    }
    return figure("Work units per log",
                  bar_chart({"Work units per log", "work units", ""}, units)) +
           figure("Median CPU per work unit, per log",
                  bar_chart({"Median CPU per work unit, per log", "CPU hours", ""}, medians));
}

// Which colour stands for which log.
std::string legend(const Figures& figures) {
    std::string html = "<ul class=\"legend\">";
    for (std::size_t at = 0; at < figures.logs.size(); ++at) {
        html += "<li><span class=\"swatch\" style=\"background: " + std::string(series_colour(at)) +
                "\"></span>" + escape_markup(figures.logs[at].label) + "</li>";
    }
    return html + "</ul>\n";
}

std::string best_section(std::string_view title, const std::optional<std::vector<BestUnit>>& units,
                         const std::vector<LogFigures>& logs, bool chisq) {
    std::string html = "<section><h2>" + escape_markup(title) + "</h2>\n";
    if (!units || units->empty()) {
        return html + "<p class=\"none\">" +
               (units ? "No work unit has a score." : "The logs have no such column.") +
               "</p></section>\n";
    }
    return html + render(best_table(*units, logs, chisq), "compact") + "</section>\n";
}

std::string subtitle(const Figures& figures) {
    std::string text = format_counted(figures.all.work_units, "work unit", "work units") +
                       " from " + format_counted(figures.logs.size(), "log", "logs");
    if (figures.all.first && figures.all.last) {
        text += ", " + format_stamp(*figures.all.first).substr(0, 10) + " to " +
                format_stamp(*figures.all.last).substr(0, 10);
    }
    return text;
}

std::string footer() {
    return "<footer>Made by wutally-report " + std::string(version) +
           ".</footer>\n</body>\n</html>\n";
}

} // namespace

std::string html_report(const Figures& figures) {
    std::string html = "<!DOCTYPE html>\n<html xmlns=\"http://www.w3.org/1999/xhtml\" "
                       "lang=\"en\">\n<head>\n<meta charset=\"utf-8\"/>\n"
                       "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\"/>\n"
                       "<title>WUTally report</title>\n<style>" +
                       std::string(page_style) + "</style>\n</head>\n<body>\n";
    html += "<header><h1>WUTally report</h1>\n<p class=\"subtitle\">" +
            escape_markup(subtitle(figures)) + "</p></header>\n";
    html += "<h2>Summary</h2>\n" + render(summary_table(figures));
    for (const auto& sentence : {range_sentence(figures), silent_sentence(figures)}) {
        if (sentence) {
            html += "<p class=\"note\">" + escape_markup(*sentence) + "</p>\n";
        }
    }
    if (figures.all.work_units == 0) {
        // Charts of nothing would only show invented dates.
        return html + "<p class=\"none\">" + no_work_units_sentence(figures) + "</p>\n" + footer();
    }
    html += "<h2>Work over time</h2>\n";
    if (figures.logs.size() > 1) {
        html += legend(figures);
    }
    html += "<div class=\"charts\">\n" + months_chart(figures) + cpu_chart(figures) + "</div>\n";
    if (figures.logs.size() > 1) {
        html += "<h2>Per log</h2>\n<div class=\"charts\">\n" + per_log_charts(figures) + "</div>\n";
    }
    if (figures.versions && !figures.versions->empty()) {
        html += "<h2>" + std::string(versions_title) + "</h2>\n" +
                render(versions_table(*figures.versions), "compact");
    }
    html += best_section(best_gaussians_title, figures.best_gaussians, figures.logs, true) +
            best_section(best_spikes_title, figures.best_spikes, figures.logs, false);
    if (figures.account) {
        html += "<h2>" + escape_markup(account_title(*figures.account)) + "</h2>\n" +
                render(account_table(*figures.account), "compact");
    }
    return html + footer();
}

} // namespace wutally::report
