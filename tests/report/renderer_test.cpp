// The renderers over figures made by hand: the summary and the JSON as
// whole texts, the page's parts, the charts' axes and marks, and the
// number format.
#include "report/rendering/html_report.hpp"
#include "report/rendering/json_report.hpp"
#include "report/rendering/number_format.hpp"
#include "report/rendering/svg_chart.hpp"
#include "report/rendering/text_report.hpp"

#include <gtest/gtest.h>

#include <regex>

namespace wutally::report {
namespace {

Stamp at(const char* text) {
    return *parse_stamp(text);
}

// Two logs, one of them silent, with every section filled.
Figures two_logs() {
    Figures f;
    f.silent_after_days = 3;
    f.since = at("2026.01.01 00:00:00");
    LogFigures desk{
        "desk/WUTally.csv",        "desk", 3,   0,    1,    2,     at("2026.01.05 07:03:09"),
        at("2026.02.10 10:00:00"), 7200,   2.0, 3600, 3600, false, std::nullopt};
    LogFigures lap{
        "lap/WUTally.csv",         "lap", 1,   1,    0,    1,    at("2026.01.06 08:00:00"),
        at("2026.01.06 08:00:00"), 1800,  0.5, 1800, 1800, true, std::nullopt};
    f.logs = {desk, lap};
    f.all = {"", "", 4, 1, 1, 3, desk.first, desk.last, 9000, 2.5, 3000, 3600, false, std::nullopt};
    f.months = {{std::chrono::year{2026} / 1, 2, 2700, {{1, 3600}, {1, 1800}}},
                {std::chrono::year{2026} / 2, 1, 3600, {{1, 3600}, {0, std::nullopt}}}};
    f.versions = std::vector<VersionFigures>{{"4.12", 2, 3600}, {"4.13", 1, 1800}};
    f.best_gaussians =
        std::vector<BestUnit>{{"g1", at("2026.01.05 07:03:09"), 12.5, 1.32067, 0.5, 0},
                              {"g2", at("2026.01.06 08:00:00"), 3.0, 1.189402, std::nullopt, 1}};
    f.best_spikes = std::vector<BestUnit>{};
    f.account = Account{at("2026.02.10 10:00:00"), "Ada", 7, 9, 36000};
    return f;
}

TEST(TextReport, IsTheGoldenText) {
    EXPECT_EQ(
        text_report(two_logs()),
        R"(log       rows  skipped  repeated  work units  first       last        CPU hours  mean CPU  median CPU
desk         3        0         1           2  2026.01.05  2026.02.10        2.0    1.00 h      1.00 h
lap          1        1         0           1  2026.01.06  2026.01.06        0.5    0.50 h      0.50 h  silent
all logs     4        1         1           3  2026.01.05  2026.02.10        2.5    0.83 h      1.00 h
Only the work units of 2026.01.01 and later are counted (--since, --until).
Silent, with no work unit in the last 3 days before the newest of all logs (--silent-after): lap since 2026.01.06.
1 row was skipped; wutally-report --skipped with the same paths lists them

Work units per month
  month    work units  median CPU
  2026-01           2      0.75 h  ########################################
  2026-02           1      1.00 h  ####################

By client version
  version  work units  median CPU
  4.12              2      1.00 h
  4.13              1      0.50 h

Best gaussians (bg_score)
      score     power  chisq  date                 log   name
  1.   12.5  1.32067     0.5  2026.01.05 07:03:09  desk  g1
  2.    3    1.189402    -    2026.01.06 08:00:00  lap   g2

Best spikes (bs_score)
  none

Account, as of 2026.02.10 10:00:00
  user name   Ada
  work units  7
  results     9
  total CPU   10.00 h
)");
}

TEST(JsonReport, IsTheGoldenText) {
    EXPECT_EQ(json_report(two_logs()), R"({
  "since": "2026.01.01",
  "until": null,
  "silent_after_days": 3,
  "logs": [
    {
      "path": "desk/WUTally.csv",
      "label": "desk",
      "rows": 3,
      "skipped": 0,
      "repeated": 1,
      "work_units": 2,
      "first": "2026.01.05 07:03:09",
      "last": "2026.02.10 10:00:00",
      "cpu_hours": 2,
      "cpu_mean_s": 3600,
      "cpu_median_s": 3600,
      "silent": false
    },
    {
      "path": "lap/WUTally.csv",
      "label": "lap",
      "rows": 1,
      "skipped": 1,
      "repeated": 0,
      "work_units": 1,
      "first": "2026.01.06 08:00:00",
      "last": "2026.01.06 08:00:00",
      "cpu_hours": 0.5,
      "cpu_mean_s": 1800,
      "cpu_median_s": 1800,
      "silent": true
    }
  ],
  "rows": 4,
  "skipped": 1,
  "repeated": 1,
  "work_units": 3,
  "first": "2026.01.05 07:03:09",
  "last": "2026.02.10 10:00:00",
  "cpu_hours": 2.5,
  "cpu_mean_s": 3000,
  "cpu_median_s": 3600,
  "months": [
    {
      "month": "2026-01",
      "work_units": 2,
      "cpu_median_s": 2700
    },
    {
      "month": "2026-02",
      "work_units": 1,
      "cpu_median_s": 3600
    }
  ],
  "versions": [
    {
      "version": "4.12",
      "work_units": 2,
      "cpu_median_s": 3600
    },
    {
      "version": "4.13",
      "work_units": 1,
      "cpu_median_s": 1800
    }
  ],
  "best_gaussians": [
    {
      "name": "g1",
      "date": "2026.01.05 07:03:09",
      "score": 12.5,
      "power": 1.32067,
      "chisq": 0.5,
      "log": "desk"
    },
    {
      "name": "g2",
      "date": "2026.01.06 08:00:00",
      "score": 3,
      "power": 1.189402,
      "chisq": null,
      "log": "lap"
    }
  ],
  "best_spikes": [],
  "account": {
    "user_name": "Ada",
    "nwus": 7,
    "nresults": 9,
    "total_cpu": 36000
  }
}
)");
}

TEST(HtmlReport, ShowsEverySectionAndMark) {
    const std::string page = html_report(two_logs());
    for (const std::string_view part : {
             "<title>WUTally report</title>",
             "<p class=\"subtitle\">3 work units from 2 logs, 2026.01.05 to 2026.02.10</p>",
             "<tr class=\"silent\"><td class=\"text path\">lap<span class=\"mark\">silent</span>",
             "<tr class=\"total\"><td class=\"text path\">all logs</td>",
             "Only the work units of 2026.01.01 and later are counted (--since, --until).",
             "<h2>By client version</h2>",
             "<p class=\"key\">Each dot is a work unit. Each line is a log",
             "<td>1.32067\xE2\x80\x87</td>", // lined up on the point with a figure space
             "<td>1.189402</td>",
             "<h2>Best spikes (bs_score)</h2>\n<p class=\"none\">No work unit has a score.</p>",
             "<h2>Account, as of 2026.02.10 10:00:00</h2>",
             "<footer>Made by wutally-report ",
         }) {
        EXPECT_NE(page.find(part), std::string::npos) << part;
    }
}

std::vector<std::string> tick_labels(const std::string& svg) {
    // Tick labels sit 22 below the axis, at y 278.
    const std::regex label("<text x=\"[0-9.]+\" y=\"278.0\" text-anchor=\"middle\">([^<]*)</text>");
    std::vector<std::string> labels;
    for (auto it = std::sregex_iterator(svg.begin(), svg.end(), label);
         it != std::sregex_iterator(); ++it) {
        labels.push_back((*it)[1]);
    }
    return labels;
}

TEST(TimeChart, NamesOnlyTheDaysOfItsPoints) {
    const auto day = [](const char* text) { return days_since_epoch(at(text)); };
    const struct {
        const char* label;
        std::vector<TimePoint> points;
        std::vector<std::string> ticks;
    } cases[] = {
        {"one_day",
         {{day("2026.12.09 09:00:00"), 1, 0}, {day("2026.12.09 23:30:00"), 2, 0}},
         {"2026-12-09"}},
        {"two_days_either_side_of_midnight",
         {{day("2026.12.09 23:00:00"), 1, 0}, {day("2026.12.10 01:00:00"), 2, 0}},
         {"2026-12-09", "2026-12-10"}},
        {"one_month",
         {{day("2026.11.01 00:30:00"), 1, 0}, {day("2026.11.30 23:00:00"), 2, 0}},
         {"2026-11-01", "2026-11-08", "2026-11-15", "2026-11-22", "2026-11-29"}},
        {"a_year",
         {{day("2026.01.10 00:30:00"), 1, 0}, {day("2026.12.20 23:00:00"), 2, 0}},
         {"2026-03", "2026-05", "2026-07", "2026-09", "2026-11"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(tick_labels(time_chart({"t", "x", "y"}, c.points, {}, {})), c.ticks) << c.label;
    }
}

TEST(TimeChart, MarksStandOutAndNameTheirVersions) {
    const double first = days_since_epoch(at("2026.01.01 00:00:00"));
    const std::vector<TimePoint> points{{first, 1, 0}, {first + 60, 2, 0}};
    const std::vector<Step> steps{{first, first + 31, 1, 0}};
    const std::vector<Marker> markers{{first + 30, "4.13"}, {first + 400, "off the axis"}};
    const std::string svg = time_chart({"t", "x", "y"}, points, steps, markers);
    EXPECT_NE(svg.find("<path class=\"halo\" d=\""), std::string::npos) << "under the line";
    EXPECT_LT(svg.find("<path class=\"halo\""), svg.find("<path class=\"steps\""));
    EXPECT_LT(svg.find("<path class=\"steps\""), svg.find("<circle")) << "few dots over the line";
    EXPECT_NE(svg.find(">4.13</text>"), std::string::npos);
    EXPECT_EQ(svg.find("off the axis"), std::string::npos);
}

TEST(NumberFormat, IsTheSameInEveryLocale) {
    const struct {
        std::string written;
        std::string expected;
    } cases[] = {
        {format_count(0), "0"},
        {format_count(999), "999"},
        {format_count(1000), "1,000"},
        {format_count(1234567), "1,234,567"},
        {format_fixed(3512.404, 2), "3,512.40"},
        {format_fixed(-1234.5, 1), "-1,234.5"},
        {format_fixed(0.004, 2), "0.00"},
        {format_plain(3512.404, 2), "3512.40"},
        {format_shortest(2.117283), "2.117283"},
        {format_shortest(0.1), "0.1"},
        {format_counted(1, "log", "logs"), "1 log"},
        {format_counted(1084, "log", "logs"), "1,084 logs"},
        {format_hours(35100), "9.75 h"},
        {format_hours_or_dash(std::nullopt), "-"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.written, c.expected);
    }
}

} // namespace
} // namespace wutally::report
