// What a farm's keeper reads off the report: silent logs, the range asked
// for, and the metrics file.
#include "by_label.hpp"
#include "report/rendering/metrics_report.hpp"
#include "report/report_logs.hpp"

#include <gtest/gtest.h>

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
        std::string name = "m"; // piece by piece: GCC 12 warns wrongly on "m" + text
        name += std::to_string(at);
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
        std::string name = "m"; // piece by piece: GCC 12 warns wrongly on "m" + text
        name += std::to_string(at);
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

TEST(Metrics, OneSampleALogAndTheTotals) {
    Logs logs;
    logs.add_directory("out");
    const std::string desk =
        logs.add("desk/WUTally.csv", header + row("2026.01.05 07:03:09", "a", "3600") +
                                         row("2026.01.05 08:00:00", "a", "3600") + "\r\nbroken");
    const std::string lap =
        logs.add("lap/WUTally.csv", header + row("2026.01.10 07:00:00", "b", "1800"));
    const std::string metrics = metrics_of(logs, {desk, lap});
    for (const std::string_view line : {
             "# HELP wutally_work_units_total ",
             "# TYPE wutally_work_units_total counter\n",
             "\nwutally_work_units_total{log=\"desk\"} 1\n",
             "\nwutally_work_units_total{log=\"lap\"} 1\n",
             "\nwutally_work_units_total 2\n",
             "\nwutally_rows_total{log=\"desk\"} 2\n",
             "\nwutally_repeated_rows_total{log=\"desk\"} 1\n",
             "\nwutally_skipped_rows_total{log=\"desk\"} 1\n",
             "\nwutally_cpu_seconds_total 5400\n",
             "# TYPE wutally_last_work_unit_timestamp_seconds gauge\n",
             "\nwutally_last_work_unit_timestamp_seconds{log=\"desk\"} 1767596589\n",
             "\nwutally_last_work_unit_timestamp_seconds 1768028400\n",
             "\nwutally_log_silent{log=\"desk\"} 1\n",
             "\nwutally_log_silent{log=\"lap\"} 0\n",
             "\nwutally_silent_after_seconds 259200\n",
             "\nwutally_account_work_units_total{user=\"Ada\"} 7\n",
         }) {
        EXPECT_NE(metrics.find(line), std::string::npos) << line << "\n" << metrics;
    }
    EXPECT_EQ(metrics.find("wutally_log_silent 0"), std::string::npos) << "no total of a mark";
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
