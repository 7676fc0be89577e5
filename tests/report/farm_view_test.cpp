// What a farm's keeper reads off the report: silent logs, the range asked
// for, and the metrics file.
#include "by_label.hpp"
#include "platform/concat.hpp"
#include "report/log_paths.hpp"
#include "report/rendering/metrics_report.hpp"
#include "report/report_logs.hpp"

#include <gtest/gtest.h>

#include <sstream>

namespace wutally::report {
namespace {

struct SilentCase {
    const char* label;
    std::vector<std::string> last_days; // one log each, its last work unit's day; "" for none
    std::vector<std::string> options;
    std::string silent; // the labels marked, in order, parted by ","
};
PRINT_CASE_BY_LABEL(SilentCase)

class SilentLogs : public testing::TestWithParam<SilentCase> {};

TEST_P(SilentLogs, AreMarkedInTheSummaryThePageAndTheJson) {
    Logs logs;
    std::vector<std::string> arguments = GetParam().options;
    for (std::size_t at = 0; at < GetParam().last_days.size(); ++at) {
        const std::string& day = GetParam().last_days[at];
        const std::string name = concat("m", std::to_string(at));
        std::string log = header + row("2026.01.01 10:00:00", name + ".a", "3600");
        if (!day.empty()) {
            log += row(day + " 10:00:00", name + ".b", "3600");
        } else {
            log = header;
        }
        arguments.push_back(logs.add(name + "/WUTally.csv", log));
    }
    const ReportRun text = logs.report(arguments);
    arguments.insert(arguments.end(), {"--json", "--html", "page.html"});
    const ReportRun json = logs.report(arguments);
    ASSERT_EQ(text.status, 0) << text.errors;
    const std::string page = logs.files().file_bytes("page.html").value_or("");
    std::string silent;
    for (std::size_t at = 0; at < GetParam().last_days.size(); ++at) {
        const std::string name = concat("m", std::to_string(at));
        const std::size_t entry = json.out.find("\"label\": \"" + name + "\"");
        if (json.out.compare(json.out.find("\"silent\": ", entry) + 10, 4, "true") == 0) {
            silent += (silent.empty() ? "" : ",") + name;
        }
    }
    EXPECT_EQ(silent, GetParam().silent) << json.out;
    const bool any = !GetParam().silent.empty();
    EXPECT_EQ(text.out.find("(--silent-after): " + GetParam().silent.substr(0, 2)) !=
                  std::string::npos,
              any)
        << text.out;
    EXPECT_EQ(page.find("<tr class=\"silent\">") != std::string::npos, any);
    EXPECT_EQ(page.find(", silent</title>") != std::string::npos, any) << "the per-log chart";
}

const SilentCase silent_cases[] = {
    {"one_log_is_never_silent", {"2026.01.01"}, {}, ""},
    {"within_the_default", {"2026.03.10", "2026.03.07"}, {}, ""},
    {"past_the_default", {"2026.03.10", "2026.03.06", "2026.03.09"}, {}, "m1"},
    {"days_given", {"2026.03.10", "2026.03.06"}, {"--silent-after", "5"}, ""},
    {"days_given_after_equals", {"2026.03.10", "2026.03.08"}, {"--silent-after=1"}, "m1"},
    {"a_log_with_no_work_unit", {"2026.03.10", ""}, {}, "m1"},
};

INSTANTIATE_TEST_SUITE_P(Cases, SilentLogs, testing::ValuesIn(silent_cases),
                         testing_support::ByLabel{});

struct FarmCase {
    const char* label;
    std::vector<std::string> arguments;
    int status;
    std::string logs;   // the labels reported, parted by ","
    std::string silent; // of them, the silent ones
    std::string errors; // what standard error holds
};
PRINT_CASE_BY_LABEL(FarmCase)

class FarmFolders : public testing::TestWithParam<FarmCase> {};

// A farm's folder, one folder per machine, one of which has not logged yet.
TEST_P(FarmFolders, ReportEveryMachineAndCountANewOneAsSilent) {
    Logs logs;
    logs.add("farm/m0/WUTally.csv", header + row("2026.03.10 10:00:00", "a", "3600"));
    logs.add("farm/m1/WUTally.csv", header + row("2026.03.09 10:00:00", "b", "3600"));
    logs.add_directory("farm/new");
    logs.add("one/WUTally.csv", header + row("2026.03.10 10:00:00", "c", "3600"));
    logs.add_directory("one/old");
    std::vector<std::string> arguments = GetParam().arguments;
    arguments.emplace_back("--json");
    const ReportRun run = logs.report(arguments);
    EXPECT_EQ(run.status, GetParam().status) << run.errors;
    EXPECT_EQ(run.errors, GetParam().errors);
    std::string reported;
    std::string silent;
    for (std::size_t at = run.out.find("\"label\": \""); at != std::string::npos;
         at = run.out.find("\"label\": \"", at + 1)) {
        const std::string label = run.out.substr(at + 10, run.out.find('"', at + 10) - at - 10);
        reported += (reported.empty() ? "" : ",") + label;
        if (run.out.compare(run.out.find("\"silent\": ", at) + 10, 4, "true") == 0) {
            silent += (silent.empty() ? "" : ",") + label;
        }
    }
    EXPECT_EQ(reported, GetParam().logs) << run.out;
    EXPECT_EQ(silent, GetParam().silent);
}

const std::string no_log_yet = ": no WUTally.csv yet: counted as a log with no work units\n";
const FarmCase farm_cases[] = {
    {"a_folder_of_machines",
     {"farm"},
     0,
     "m0,m1,new",
     "new",
     "wutally-report: farm/new" + no_log_yet},
    {"several_paths_one_without_a_log",
     {"farm/m0", "farm/new"},
     0,
     "m0,new",
     "new",
     "wutally-report: farm/new" + no_log_yet},
    {"one_path_without_a_log",
     {"farm/new"},
     1,
     "",
     "",
     "wutally-report: farm/new: no WUTally.csv in this directory\n"},
    {"a_folder_with_a_log_of_its_own", {"one"}, 0, "one", "", ""},
};

INSTANTIATE_TEST_SUITE_P(Cases, FarmFolders, testing::ValuesIn(farm_cases),
                         testing_support::ByLabel{});

struct WildcardCase {
    const char* label;
    std::string pattern;
    std::string name;
    bool matches;
};
PRINT_CASE_BY_LABEL(WildcardCase)

class Wildcards : public testing::TestWithParam<WildcardCase> {};

// As the Windows Command Prompt leaves them to the program.
TEST_P(Wildcards, MatchAsTheCommandPromptWould) {
    EXPECT_EQ(matches(GetParam().name, GetParam().pattern, true), GetParam().matches);
}

const WildcardCase wildcard_cases[] = {
    {"star_matches_all", "*", "desktop", true},
    {"star_matches_nothing_too", "m*", "m", true},
    {"question_mark_one_character", "m?", "m1", true},
    {"question_mark_not_none", "m?", "m", false},
    {"letters_in_either_case", "DESK*", "desktop", true},
    {"stars_in_the_middle", "*o*p", "desktop", true},
    {"no_match", "lap*", "desktop", false},
    {"backtracking", "*a*b", "aaab", true},
};

INSTANTIATE_TEST_SUITE_P(Cases, Wildcards, testing::ValuesIn(wildcard_cases),
                         testing_support::ByLabel{});

TEST(Wildcards, AreExpandedInThePathsLastPartWhereAsked) {
    Logs logs;
    logs.add("farm/m0/WUTally.csv", header);
    logs.add("farm/m1/WUTally.csv", header);
    logs.add_directory("farm/.hidden");
    const auto expanded = log_paths(logs.files(), {"farm/*", "farm/x*"}, true);
    EXPECT_EQ(expanded.paths, (std::vector<std::string>{"farm/m0", "farm/m1", "farm/x*"}));
    EXPECT_EQ(log_paths(logs.files(), {"farm/*"}, false).paths, std::vector<std::string>{"farm/*"});
}

TEST(DateRange, IsStatedWhereverTheFiguresAreShown) {
    Logs logs;
    const std::string log = logs.add("log.csv", header + row("2026.01.05 07:03:09", "a", "3600"));
    const ReportRun text = logs.report({"--since", "2026.01.01", "--until", "2026-01-31", log});
    EXPECT_NE(text.out.find("Only the work units of 2026.01.01 to 2026.01.31 are counted"),
              std::string::npos)
        << text.out;
    const ReportRun json =
        logs.report({"--since", "2026-01-06", "--json", "--html", "p.html", log});
    EXPECT_NE(json.out.find("\"since\": \"2026.01.06\",\n  \"until\": null,"), std::string::npos)
        << json.out;
    EXPECT_NE(logs.files().file_bytes("p.html").value_or("").find(
                  "Only the work units of 2026.01.06 and later are counted"),
              std::string::npos);
    EXPECT_EQ(logs.report({log}).out.find("Only the work units"), std::string::npos);
}

TEST(SkippedRows, NoneSkippedIsSaidOnStandardError) {
    Logs logs;
    const std::string log = logs.add("log.csv", header + row("2026.01.05 07:03:09", "a", "3600"));
    const ReportRun run = logs.report({"--skipped", log});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.errors, "wutally-report: nothing skipped\n");
}

std::string metrics_of(Logs& logs, const std::vector<std::string>& paths) {
    std::vector<std::string> arguments{"--metrics", "out/wutally.prom"};
    arguments.insert(arguments.end(), paths.begin(), paths.end());
    const ReportRun run = logs.report(arguments);
    EXPECT_EQ(run.status, 0) << run.errors;
    return logs.files().file_bytes("out/wutally.prom").value_or("");
}

TEST(Metrics, PerLogSamplesAndAllLogsUnderNamesOfTheirOwn) {
    Logs logs;
    logs.add_directory("out");
    const std::string desk =
        logs.add("desk/WUTally.csv", header + row("2025.12.01 07:00:00", "c", "100") +
                                         row("2026.01.05 07:03:09", "a", "3600") +
                                         row("2026.01.05 08:00:00", "a", "3600") + "\r\nbroken");
    const std::string lap =
        logs.add("lap/WUTally.csv", header + row("2026.01.10 07:00:00", "b", "1800"));
    const std::string metrics = metrics_of(logs, {desk, lap});
    for (const std::string_view line : {
             "# HELP wutally_work_units_total ",
             "# TYPE wutally_work_units_total counter\n",
             "\nwutally_work_units_total{log=\"desk\"} 2\n",
             "\nwutally_work_units_total{log=\"lap\"} 1\n",
             "\nwutally_all_logs_work_units_total 3\n",
             "\nwutally_rows_total{log=\"desk\"} 3\n",
             "\nwutally_repeated_rows_total{log=\"desk\"} 1\n",
             "\nwutally_skipped_rows_total{log=\"desk\"} 1\n",
             "\nwutally_all_logs_cpu_seconds_total 5500\n",
             "\nwutally_work_unit_cpu_median_seconds{log=\"desk\"} 1850\n",
             "\nwutally_work_unit_cpu_median_7d_seconds{log=\"desk\"} 3600\n",
             "\nwutally_all_logs_work_unit_cpu_median_7d_seconds 2700\n",
             "# TYPE wutally_last_work_unit_timestamp_seconds gauge\n",
             "\nwutally_last_work_unit_timestamp_seconds{log=\"desk\"} 1767596589\n",
             "\nwutally_all_logs_last_work_unit_timestamp_seconds 1768028400\n",
             "\nwutally_log_silent{log=\"desk\"} 1\n",
             "\nwutally_log_silent{log=\"lap\"} 0\n",
             "\nwutally_silent_after_seconds 259200\n",
             "\nwutally_account_work_units_total{user=\"Ada\"} 7\n",
         }) {
        EXPECT_NE(metrics.find(line), std::string::npos) << line << "\n" << metrics;
    }
    // A sum over a metric's samples never takes in a total.
    std::istringstream lines(metrics);
    for (std::string sample; std::getline(lines, sample);) {
        const bool total = sample.starts_with("wutally_all_logs_") ||
                           sample.starts_with("wutally_account_") ||
                           sample.starts_with("wutally_silent_after_seconds ");
        EXPECT_TRUE(sample.starts_with("#") || total || sample.find("{log=\"") != std::string::npos)
            << sample;
    }
    EXPECT_EQ(metrics.find("wutally_all_logs_log_silent"), std::string::npos)
        << "no total of a mark";
}

TEST(Metrics, LabelValuesAreEscaped) {
    const std::pair<std::string_view, std::string_view> cases[] = {
        {"plain", "plain"},
        {"a\"quote", "a\\\"quote"},
        {"back\\slash", "back\\\\slash"},
        {"line\nbreak", "line\\nbreak"},
        {"bad\xFF", "bad\xEF\xBF\xBD"},
        {"tab\there\r", "tab\xEF\xBF\xBDhere\xEF\xBF\xBD"},
        {"caf\xC3\xA9", "caf\xC3\xA9"},
    };
    for (const auto& [text, written] : cases) {
        EXPECT_EQ(metric_label_value(text), written) << text;
    }
}

struct MetricsFailure {
    const char* label;
    std::string target; // and, after a space, a further path
    int status;
    std::string message; // what standard error ends with
};
PRINT_CASE_BY_LABEL(MetricsFailure)

class MetricsFailures : public testing::TestWithParam<MetricsFailure> {};

// An earlier file stays as it was.
TEST_P(MetricsFailures, WriteNothing) {
    Logs logs;
    logs.add_directory("out");
    logs.add("out/wutally.prom", "earlier\n");
    const std::string log =
        logs.add("out/WUTally.csv", header + row("2026.01.05 07:03:09", "a", "1"));
    std::vector<std::string> arguments{"--metrics", log};
    for (std::size_t space = 0, from = 0; space != std::string::npos; from = space + 1) {
        space = GetParam().target.find(' ', from);
        arguments.push_back(GetParam().target.substr(from, space - from));
    }
    std::swap(arguments[1], arguments[2]); // the target after --metrics
    const ReportRun alone = logs.report(arguments);
    EXPECT_EQ(alone.status, GetParam().status);
    EXPECT_TRUE(alone.errors.ends_with(GetParam().message)) << alone.errors;
    EXPECT_EQ(logs.files().file_bytes("out/wutally.prom"), "earlier\n");
}

const MetricsFailure metrics_failures[] = {
    {"a_log_that_fails", "out/wutally.prom missing.csv", 1, ": no such file or directory\n"},
    {"unwritable_target", "gone/wutally.prom", 1, ": cannot write the metrics\n"},
    {"the_log_itself", "out/WUTally.csv", 2, "; nothing is written\n"},
};

INSTANTIATE_TEST_SUITE_P(Cases, MetricsFailures, testing::ValuesIn(metrics_failures),
                         testing_support::ByLabel{});

} // namespace
} // namespace wutally::report
