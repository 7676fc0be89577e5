// Every file call of a report made to fail in turn: each run gives its
// message and status, and every file it writes is either as it was or
// whole, with nothing half-written left beside it.
#include "report/report_logs.hpp"

#include <gtest/gtest.h>

namespace wutally::report {
namespace {

const std::vector<std::string> arguments{"--html",           "out/page.html",    "--metrics",
                                         "out/wutally.prom", "desk/WUTally.csv", "lap"};

void add_logs(Logs& logs) {
    logs.add("desk/WUTally.csv", header + row("2026.01.05 07:03:09", "a", "3600") +
                                     row("2026.01.06 07:03:09", "b", "1800"));
    logs.add("lap/WUTally.csv", header + row("2026.01.07 07:03:09", "c", "7200"));
    logs.add("out/page.html", "earlier page");
    logs.add("out/wutally.prom", "earlier metrics");
}

TEST(ReportFaults, EveryFailingFileCallIsReportedAndLeavesNoHalfFile) {
    Logs clean;
    add_logs(clean);
    const std::size_t before = clean.files().operations();
    const ReportRun whole = clean.report(arguments);
    ASSERT_EQ(whole.status, 0) << whole.errors;
    const std::size_t calls = clean.files().operations() - before;
    const auto page = clean.files().file_bytes("out/page.html");
    const auto metrics = clean.files().file_bytes("out/wutally.prom");
    ASSERT_GT(calls, 10U);
    for (std::size_t nth = 1; nth <= calls; ++nth) {
        Logs logs;
        add_logs(logs);
        logs.files().fail_operation(nth);
        const ReportRun run = logs.report(arguments);
        const auto failed = logs.files().failed_operation();
        SCOPED_TRACE("call " + std::to_string(nth) + " on " + (failed ? failed->path : "?"));
        if (run.status == 0) {
            EXPECT_EQ(run.out, whole.out) << "a failure that costs nothing is passed over";
        } else {
            EXPECT_EQ(run.status, 1);
            EXPECT_TRUE(run.errors.starts_with("wutally-report: ")) << run.errors;
        }
        const auto page_now = logs.files().file_bytes("out/page.html");
        const auto metrics_now = logs.files().file_bytes("out/wutally.prom");
        EXPECT_TRUE(page_now == "earlier page" || page_now == page);
        EXPECT_TRUE(metrics_now == "earlier metrics" || metrics_now == metrics);
        if (run.status == 0) {
            EXPECT_EQ(page_now, page);
            EXPECT_EQ(metrics_now, metrics);
        }
        for (const std::string& name : logs.files().names()) {
            EXPECT_EQ(name.find(".partial"), std::string::npos) << name;
        }
    }
}

} // namespace
} // namespace wutally::report
