// The report over hand-written logs: which rows count, the figures worked
// out from them, and the messages and exit statuses.
#include "by_label.hpp"
#include "report/report_logs.hpp"
#include "report/report_run.hpp"

#include <gtest/gtest.h>
#include <version.hpp>

#include <algorithm>
#include <functional>
#include <vector>

namespace wutally::report {
namespace {

struct FigureCase {
    const char* label;
    std::vector<std::string> logs; // each the bytes of one log, reported in order
    std::function<void(const Figures&)> check;
};
PRINT_CASE_BY_LABEL(FigureCase)

class FigureCases : public testing::TestWithParam<FigureCase> {};

TEST_P(FigureCases, AreWorkedOutFromTheUsedRows) {
    Logs logs;
    std::vector<LogName> names;
    for (std::size_t at = 0; at < GetParam().logs.size(); ++at) {
        const std::string path = logs.add("log" + std::to_string(at) + ".csv", GetParam().logs[at]);
        names.push_back({path, path});
    }
    GetParam().check(scanned_figures(logs.files(), names));
}

const std::string d1 = "2026.01.05 07:03:09";
const std::string d2 = "2026.02.10 12:00:00";
const std::string d3 = "2026.02.11 00:00:00";

Stamp stamp(const std::string& date) {
    return *parse_stamp(date);
}

std::vector<std::string> names(const std::optional<std::vector<BestUnit>>& units) {
    std::vector<std::string> names;
    for (const BestUnit& unit : units.value()) {
        names.push_back(unit.name);
    }
    return names;
}

const FigureCase figure_cases[] = {
    {"counts_and_cpu",
     {header + row(d1, "a", "3600") + row(d2, "b", "7200") + row(d3, "c", "18000")},
     [](const Figures& f) {
         EXPECT_EQ(f.all.rows, 3U);
         EXPECT_EQ(f.all.work_units, 3U);
         EXPECT_EQ(f.all.first, stamp(d1));
         EXPECT_EQ(f.all.last, stamp(d3));
         EXPECT_EQ(f.all.cpu_hours, 8);
         EXPECT_EQ(f.all.cpu_mean_s, 9600);
         EXPECT_EQ(f.all.cpu_median_s, 7200);
         ASSERT_EQ(f.months.size(), 2U);
         EXPECT_EQ(format_month(f.months[0].month), "2026-01");
         EXPECT_EQ(f.months[0].work_units, 1U);
         EXPECT_EQ(f.months[0].cpu_median_s, 3600);
         EXPECT_EQ(format_month(f.months[1].month), "2026-02");
         EXPECT_EQ(f.months[1].work_units, 2U);
         EXPECT_EQ(f.months[1].cpu_median_s, 12600);
     }},
    {"rows_without_a_valid_date_or_name_are_skipped",
     {header + row("2026.02.30 10:00:00", "a", "1") + row("2026.1.05 07:03:09", "b", "1") +
      row("2026.01.05 24:00:00", "c", "1") + row(d1 + " ", "d", "1") + row(d1, "", "1") +
      row("2024.02.29 23:59:59", "leap", "60")},
     [](const Figures& f) {
         EXPECT_EQ(f.all.rows, 1U);
         EXPECT_EQ(f.all.skipped, 5U);
         EXPECT_EQ(f.all.work_units, 1U);
         EXPECT_EQ(f.all.cpu_median_s, 60);
     }},
    {"blank_lines_are_not_rows",
     {header + "\r\n" + row(d1, "a", "1") + "\r\n\r\n" + row(d2, "b", "3") + "\r\n"},
     [](const Figures& f) {
         EXPECT_EQ(f.all.rows, 2U);
         EXPECT_EQ(f.all.skipped, 0U);
         EXPECT_EQ(f.all.cpu_median_s, 2);
     }},
    {"repeated_names_stand_for_their_first_row",
     {header + row(d1, "a", "100") + row(d2, "a", "900"),
      header + row(d3, "a", "500") + row(d3, "b", "300")},
     [](const Figures& f) {
         EXPECT_EQ(f.all.rows, 4U);
         EXPECT_EQ(f.all.repeated, 2U);
         EXPECT_EQ(f.all.work_units, 2U);
         EXPECT_EQ(f.all.cpu_median_s, 200);
         ASSERT_EQ(f.logs.size(), 2U);
         EXPECT_EQ(f.logs[0].rows, 2U);
         EXPECT_EQ(f.logs[0].repeated, 1U);
         EXPECT_EQ(f.logs[0].work_units, 1U);
         EXPECT_EQ(f.logs[0].cpu_median_s, 100);
         EXPECT_EQ(f.logs[1].rows, 2U);
         EXPECT_EQ(f.logs[1].repeated, 1U);
         EXPECT_EQ(f.logs[1].work_units, 1U);
         EXPECT_EQ(f.logs[1].cpu_median_s, 300);
         EXPECT_EQ(f.logs[1].first, stamp(d3));
     }},
    {"fields_that_are_not_numbers_are_left_out",
     {header + row(d1, "a", "3600") + row(d2, "b", "\"n/a\"") + row(d3, "c", "inf") +
      row(d3, "d", "1.8e+03") + row(d3, "e", "12 ")},
     [](const Figures& f) {
         EXPECT_EQ(f.all.work_units, 5U);
         EXPECT_EQ(f.all.cpu_mean_s, 2700);
         EXPECT_EQ(f.all.cpu_median_s, 2700);
         ASSERT_EQ(f.months.size(), 2U);
         EXPECT_EQ(f.months[0].cpu_median_s, 3600);
         EXPECT_EQ(f.months[1].work_units, 4U);
         EXPECT_EQ(f.months[1].cpu_median_s, 1800);
     }},
    {"lf_and_cr_line_ends_read_the_same",
     {"\"date\",\"name\",\"cpu\"\n\"" + d1 + "\",\"a\",10\n\"" + d2 + "\",\"b\",20\n",
      "\"date\",\"name\",\"cpu\"\r\"" + d3 + "\",\"c\",30"},
     [](const Figures& f) {
         EXPECT_EQ(f.all.rows, 3U);
         EXPECT_EQ(f.all.work_units, 3U);
         EXPECT_EQ(f.all.cpu_median_s, 20);
     }},
    {"missing_columns_give_none",
     {"\"name\",\"date\"\r\na,\"" + d1 + "\""},
     [](const Figures& f) {
         EXPECT_EQ(f.all.work_units, 1U);
         EXPECT_EQ(f.all.cpu_hours, std::nullopt);
         EXPECT_EQ(f.all.cpu_median_s, std::nullopt);
         EXPECT_EQ(f.versions, std::nullopt);
         EXPECT_EQ(f.best_gaussians, std::nullopt);
         EXPECT_EQ(f.best_spikes, std::nullopt);
         ASSERT_TRUE(f.account.has_value());
         EXPECT_EQ(f.account->user_name, std::nullopt);
         EXPECT_EQ(f.account->nwus, std::nullopt);
         EXPECT_EQ(f.account->nresults, std::nullopt);
         EXPECT_EQ(f.account->total_cpu, std::nullopt);
     }},
    {"versions_by_work_units_then_text",
     {header + row(d1, "a", "10", "\"4.2\"") + row(d1, "b", "20", "\"4.12\"") +
      row(d2, "c", "30", "\"4.3\"") + row(d2, "d", "40", "\"4.3\"")},
     [](const Figures& f) {
         const auto& versions = f.versions.value();
         ASSERT_EQ(versions.size(), 3U);
         EXPECT_EQ(versions[0].version, "4.3");
         EXPECT_EQ(versions[0].work_units, 2U);
         EXPECT_EQ(versions[0].cpu_median_s, 35);
         EXPECT_EQ(versions[1].version, "4.12");
         EXPECT_EQ(versions[1].work_units, 1U);
         EXPECT_EQ(versions[2].version, "4.2");
         EXPECT_EQ(versions[2].work_units, 1U);
     }},
    {"best_by_score_then_earlier_date_then_name",
     {header + row(d2, "b", "1", "\"v\",2.5,1,0.9,10,1.5,\"u\",1") +
      row(d1, "c", "1", "\"v\",2.5,2,0.8,8,\"x\",\"u\",1") +
      row(d2, "a", "1", "\"v\",2.5,3,0.7,\"x\",1,\"u\",1") +
      row(d3, "d", "1", "\"v\",3,4,0.6,9,2,\"u\",1") +
      row(d3, "e", "1", "\"v\",1,5,0.5,7,3,\"u\",1") +
      row(d3, "f", "1", "\"v\",0.5,6,0.4,6,4,\"u\",1") +
      row(d3, "g", "1", "\"v\",\"x\",7,0.3,5,5,\"u\",1")},
     [](const Figures& f) {
         EXPECT_EQ(names(f.best_gaussians), (std::vector<std::string>{"d", "c", "a", "b", "e"}));
         const auto& gaussians = f.best_gaussians.value();
         EXPECT_EQ(gaussians[0].score, 3);
         EXPECT_EQ(gaussians[1].date, stamp(d1));
         EXPECT_EQ(gaussians[3].power, 1);
         EXPECT_EQ(gaussians[3].chisq, 0.9);
         EXPECT_EQ(names(f.best_spikes), (std::vector<std::string>{"b", "d", "c", "e", "f"}));
         const auto& spikes = f.best_spikes.value();
         EXPECT_EQ(spikes[0].score, 10);
         EXPECT_EQ(spikes[0].power, 1.5);
         EXPECT_EQ(spikes[2].power, std::nullopt);
     }},
    {"account_from_the_latest_row_the_last_read_of_equal_dates",
     {header + row(d3, "a", "1", "\"v\",1,1,1,1,1,\"Early\",10"),
      header + row(d3, "b", "1", "\"v\",1,1,1,1,1,\"Late\",12") +
          row(d1, "c", "1", "\"v\",1,1,1,1,1,\"Old\",3")},
     [](const Figures& f) {
         ASSERT_TRUE(f.account.has_value());
         EXPECT_EQ(f.account->user_name, "Late");
         EXPECT_EQ(f.account->nwus, 12);
     }},
};

INSTANTIATE_TEST_SUITE_P(Cases, FigureCases, testing::ValuesIn(figure_cases),
                         testing_support::ByLabel{});

struct ErrorCase {
    const char* label;
    std::vector<std::string> arguments; // "@NAME" for a log of the scratch directory
    int status;
    const char* message; // what standard error starts with, "@" for the log's path
};
PRINT_CASE_BY_LABEL(ErrorCase)

class Errors : public testing::TestWithParam<ErrorCase> {};

TEST_P(Errors, NameThePathAndTheReason) {
    Logs logs;
    logs.add("good.csv", header + row(d1, "a", "1"));
    logs.add("empty.csv", "");
    logs.add("no_name.csv", "\"date\",\"cpu\"\r\n\"" + d1 + "\",1");
    logs.add("no_date.csv", "\"name\",\"cpu\"\r\na,1");
    logs.add_directory("no_log_here");
    std::vector<std::string> arguments;
    std::string path;
    for (const std::string& argument : GetParam().arguments) {
        arguments.push_back(argument.starts_with('@') ? argument.substr(1) : argument);
        if (argument.starts_with('@') && argument != "@good.csv") {
            path = arguments.back();
        }
    }
    const ReportRun result = logs.report(arguments);
    std::string message = GetParam().message;
    if (const auto at = message.find('@'); at != std::string::npos) {
        message.replace(at, 1, path);
    }
    EXPECT_EQ(result.status, GetParam().status);
    EXPECT_TRUE(result.errors.starts_with(message)) << result.errors;
    EXPECT_EQ(result.out, "");
}

const ErrorCase error_cases[] = {
    {"missing_file",
     {"@good.csv", "@missing.csv"},
     1,
     "wutally-report: @: no such file or directory\n"},
    {"directory_without_log",
     {"@no_log_here"},
     1,
     "wutally-report: @: no WUTally.csv in this directory\n"},
    {"empty_log", {"@empty.csv"}, 1, "wutally-report: @: the log is empty: it has no header row\n"},
    {"no_name_column",
     {"@no_name.csv"},
     1,
     "wutally-report: @: no \"name\" column in the header row\n"},
    {"no_date_column",
     {"@no_date.csv"},
     1,
     "wutally-report: @: no \"date\" column in the header row\n"},
    {"unknown_option",
     {"--jsn", "@good.csv"},
     2,
     "wutally-report: unknown option --jsn\nTry 'wutally-report --help' for the options.\n"},
    {"html_without_a_file",
     {"@good.csv", "--html"},
     2,
     "wutally-report: --html needs a file name\nTry 'wutally-report --help' for the options.\n"},
    // Options that would each drop what another asked for.
    {"skipped_with_json",
     {"--skipped", "--json", "@good.csv"},
     2,
     "wutally-report: --skipped lists rows alone; it takes no --json, --html, --metrics, "
     "--since or --until\n"},
    {"skipped_with_page",
     {"--skipped", "--html", "x.html", "@good.csv"},
     2,
     "wutally-report: --skipped"},
    {"metrics_with_range",
     {"--metrics", "x.prom", "--since", "2026-01-01", "@good.csv"},
     2,
     "wutally-report: --metrics counts whole logs; it takes no --since or --until\n"},
    {"silent_after_zero",
     {"--silent-after", "0", "@good.csv"},
     2,
     "wutally-report: --silent-after"},
};

INSTANTIATE_TEST_SUITE_P(Cases, Errors, testing::ValuesIn(error_cases), testing_support::ByLabel{});

TEST(Options, HelpAndVersionGoToStandardOutput) {
    Logs logs;
    for (const char* help : {"--help", "/?"}) {
        const ReportRun result = logs.report({help});
        EXPECT_EQ(result.status, 0);
        EXPECT_TRUE(result.out.starts_with("usage: wutally-report [--json] [--html FILE]"));
    }
    EXPECT_EQ(logs.report({"--version"}).out, "wutally-report " + std::string(version) + "\n");
}

TEST(Options, ADirectoryStandsForItsLogAndThePageIsWritten) {
    Logs logs;
    logs.add("machine/WUTally.csv", header + row(d1, "a", "3600"));
    const ReportRun result = logs.report({"machine", "--html", "page.html"});
    ASSERT_EQ(result.status, 0) << result.errors;
    EXPECT_TRUE(result.out.find("\nmachine ") != std::string::npos) << "labelled by its directory";
    EXPECT_GT(logs.files().file_bytes("page.html").value_or("").size(), 1000U);
}

TEST(Options, APageThatCannotBeWrittenFailsAfterTheSummary) {
    Logs logs;
    const std::string log = logs.add("log.csv", header + row(d1, "a", "3600"));
    const ReportRun result = logs.report({log, "--html", "missing/page.html"});
    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(result.errors.ends_with(": cannot write the page\n")) << result.errors;
}

struct SkippedCase {
    const char* label;
    std::string log;
    std::string listing; // "@" for the log's path
};
PRINT_CASE_BY_LABEL(SkippedCase)

class SkippedRows : public testing::TestWithParam<SkippedCase> {};

TEST_P(SkippedRows, AreListedWithTheirLinesAndReasons) {
    Logs logs;
    const std::string path = logs.add("log.csv", GetParam().log);
    const ReportRun result = logs.report({"--skipped", path});
    std::string listing = GetParam().listing;
    for (std::size_t at = 0; (at = listing.find('@', at)) != std::string::npos;) {
        listing.replace(at, 1, path);
    }
    EXPECT_EQ(result.status, 0) << result.errors;
    EXPECT_EQ(result.out, listing);
}

const std::string bad_date = "\"2026.02.30 10:00:00\",\"x\",1";
const std::string no_name = "\"2026.01.05 07:03:09\",\"\",1";
const std::string good = "\"2026.01.05 07:03:09\",\"a\",1";
const std::string short_header = "\"date\",\"name\",\"cpu\"";
const std::string date_reason = ": the date is not a date and time\n";
const std::string name_reason = ": the name is empty\n";

const SkippedCase skipped_cases[] = {
    {"none", short_header + "\r\n" + good, ""},
    {"crlf", short_header + "\r\n" + good + "\r\n" + bad_date + "\r\n" + no_name,
     "@:3" + date_reason + "@:4" + name_reason},
    {"lf", short_header + "\n" + bad_date + "\n" + good + "\n" + no_name + "\n",
     "@:2" + date_reason + "@:4" + name_reason},
    {"cr", short_header + "\r" + good + "\r" + good + "\r" + bad_date, "@:4" + date_reason},
    {"blank_lines_count", short_header + "\r\n\r\n" + good + "\r\n\r\n\r\n" + no_name,
     "@:6" + name_reason},
    {"byte_order_mark", "\xEF\xBB\xBF" + short_header + "\r\n" + no_name, "@:2" + name_reason},
    {"short_row", short_header + "\r\n\"2026.01.05 07:03:09\"", "@:2" + name_reason},
};

INSTANTIATE_TEST_SUITE_P(Cases, SkippedRows, testing::ValuesIn(skipped_cases),
                         testing_support::ByLabel{});

TEST(SkippedRows, TheSummarySaysHowToListThem) {
    Logs logs;
    const std::string path = logs.add("log.csv", short_header + "\r\n" + good + "\r\n" + no_name);
    EXPECT_NE(logs.report({path}).out.find("1 row was skipped; wutally-report --skipped"),
              std::string::npos);
}

struct RangeCase {
    const char* label;
    std::vector<std::string> options;
    int status;
    std::vector<std::string> names; // of the work units counted, or the message
};
PRINT_CASE_BY_LABEL(RangeCase)

class DateRange : public testing::TestWithParam<RangeCase> {};

TEST_P(DateRange, RestrictsEveryFigure) {
    Logs logs;
    const std::string path = logs.add("log.csv", header + row("2026.01.31 23:59:59", "jan", "1") +
                                                     row("2026.02.01 00:00:00", "feb.first", "2") +
                                                     row("2026.02.28 23:59:60", "feb.last", "3") +
                                                     row("2026.03.01 00:00:00", "mar", "4"));
    std::vector<std::string> arguments = GetParam().options;
    arguments.insert(arguments.end(), {"--json", path});
    const ReportRun result = logs.report(arguments);
    ASSERT_EQ(result.status, GetParam().status) << result.errors;
    if (result.status != 0) {
        EXPECT_TRUE(result.errors.starts_with(GetParam().names.at(0))) << result.errors;
        return;
    }
    EXPECT_NE(result.out.find("\"work_units\": " + std::to_string(GetParam().names.size()) +
                              ",\n  \"first\""),
              std::string::npos)
        << result.out;
    for (const std::string_view name : {"jan", "feb.first", "feb.last", "mar"}) {
        const bool counted = std::find(GetParam().names.begin(), GetParam().names.end(), name) !=
                             GetParam().names.end();
        EXPECT_EQ(result.out.find("\"" + std::string(name) + "\"") != std::string::npos, counted)
            << name;
    }
}

const RangeCase range_cases[] = {
    {"no_range", {}, 0, {"jan", "feb.first", "feb.last", "mar"}},
    {"february", {"--since", "2026-02-01", "--until", "2026-02-28"}, 0, {"feb.first", "feb.last"}},
    {"since_alone", {"--since=2026-02-28"}, 0, {"feb.last", "mar"}},
    {"until_alone", {"--until=2026-01-31"}, 0, {"jan"}},
    {"one_day", {"--since", "2026-03-01", "--until", "2026-03-01"}, 0, {"mar"}},
    {"empty_range", {"--since", "2026-03-02"}, 0, {}},
    {"not_a_day",
     {"--since", "2026-02-30"},
     2,
     {"wutally-report: --since needs a day as YYYY-MM-DD"}},
    {"as_printed", {"--since", "2026.02.28", "--until=2026.03.01"}, 0, {"feb.last", "mar"}},
    {"mixed", {"--until", "2026.02-01"}, 2, {"wutally-report: --until needs a day as YYYY-MM-DD"}},
    {"ends_before_it_starts",
     {"--since", "2026-03-01", "--until", "2026-02-28"},
     2,
     {"wutally-report: --until is a day before --since"}},
    {"missing", {"--until"}, 2, {"wutally-report: --until needs a day as YYYY-MM-DD"}},
};

INSTANTIATE_TEST_SUITE_P(Cases, DateRange, testing::ValuesIn(range_cases),
                         testing_support::ByLabel{});

} // namespace
} // namespace wutally::report
