// The report never harms a log, never shows a made-up number, and reads
// what real logs hold: each case runs the report of the build under test
// through a shell, which pipes, redirects and limits it as a user would.
#include "by_label.hpp"
#include "client_fixture.hpp"
#include "harness.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace wutally::e2e {
namespace {

namespace fs = std::filesystem;

const std::string header = "\"date\",\"name\",\"cpu\"";

// The sanitizer preset's tests run with its options set.
bool under_address_sanitizer() {
    return std::getenv("ASAN_OPTIONS") != nullptr;
}
const std::string two_rows =
    header + "\r\n\"2026.01.05 07:03:09\",\"a\",3600\r\n\"2026.02.10 12:00:00\",\"b\",7200";

struct SafetyCase {
    const char* label;
    std::string script; // "$@" is the report's command
    int status;
    std::string shown;          // what the output must hold
    std::string not_shown = {}; // what it must not hold
    bool posix_only = false;    // pipes and limits of a POSIX process
    RunOptions options = {};
};
PRINT_CASE_BY_LABEL(SafetyCase)

class ReportSafety : public testing::TestWithParam<SafetyCase> {};

TEST_P(ReportSafety, RunsAsAUserWouldExpect) {
    const SafetyCase& test = GetParam();
    if (test.posix_only && !program_under_test().posix) {
        GTEST_SKIP() << "a POSIX case";
    }
    if (test.options.memory_limit && under_address_sanitizer()) {
        GTEST_SKIP() << "AddressSanitizer reserves more address space than the limit";
    }
    ScratchDirectory dir;
    write_file(dir / "WUTally.csv", two_rows);
    fs::create_directory(dir / "d");
    write_file(dir / "d" / "WUTally.csv", two_rows);
    write_file(dir / "page.html", "an earlier page");
    write_file(dir / "bom.csv", "\xEF\xBB\xBF" + two_rows);
    write_file(dir / "huge.csv", header +
                                     "\r\n\"2026.01.05 07:03:09\",\"a\",1.7976931348623157e308" +
                                     "\r\n\"2026.01.05 08:00:00\",\"b\",1.7976931348623157e308");
    write_file(dir / "header.csv", header);
    write_file(dir / "one.csv", header + "\r\n\"2026.01.05 07:03:09\",\"a\",3600");
    const RunResult run = run_report_in_shell(dir.path(), test.script, test.options);
    const std::string shown = run.output.substr(0, 2000);
    EXPECT_EQ(run.status, test.status) << shown;
    EXPECT_NE(run.output.find(test.shown), std::string::npos) << shown;
    if (!test.not_shown.empty()) {
        EXPECT_EQ(run.output.find(test.not_shown), std::string::npos) << shown;
    }
    // The logs are never written, and a page that failed keeps the last one.
    EXPECT_TRUE(read_file(dir / "WUTally.csv") == two_rows);
    EXPECT_TRUE(read_file(dir / "d" / "WUTally.csv") == two_rows);
    if (test.status != 0) {
        EXPECT_EQ(read_file(dir / "page.html"), "an earlier page");
    }
}

const std::string over_log = "would be written over the log";

const SafetyCase safety_cases[] = {
    {"page_over_the_log_it_reads", R"("$@" --html WUTally.csv)", 2, over_log},
    {"page_over_a_log_given_twice", R"("$@" --html d/WUTally.csv d d/WUTally.csv)", 2, over_log},
    {"page_over_a_directorys_log", R"("$@" --html d/WUTally.csv d)", 2, over_log},
    {"page_over_a_link", R"(ln -s WUTally.csv link.csv && "$@" --html link.csv WUTally.csv)", 2,
     over_log, "", true},
    {"page_that_cannot_be_written",
     R"("$@" --html page.html one.csv)",
     1,
     "page.html: cannot write the page",
     "",
     true,
     {.file_size_limit = 100}},
    {"byte_order_mark", R"("$@" --json bom.csv)", 0, "\"work_units\": 2"},
    {"huge_cpu_times_are_no_times", R"("$@" --json huge.csv)", 0, "\"cpu_hours\": null"},
    {"huge_cpu_times_in_the_text", R"("$@" huge.csv)", 0, "Work units per month", "inf"},
    {"huge_cpu_times_on_the_page", R"("$@" --html new.html huge.csv >/dev/null && cat new.html)", 0,
     "<svg", "nan"},
    {"no_used_rows_in_the_text", R"("$@" header.csv)", 0, "no work units yet"},
    {"no_used_rows_on_the_page", R"("$@" --html new.html header.csv >/dev/null && cat new.html)", 0,
     "no work units yet", "<svg"},
    {"one_of_each", R"("$@" --html new.html one.csv >/dev/null && cat new.html)", 0,
     "1 work unit from 1 log", "1 work units"},
    {"standard_input", R"(cat WUTally.csv | "$@" --json -)", 0, "\"work_units\": 2"},
    {"fifo", R"(mkfifo fifo && { cat WUTally.csv >fifo & } && "$@" --json fifo)", 0,
     "\"work_units\": 2", "", true},
    {"endless_input",
     R"("$@" /dev/zero)",
     1,
     "/dev/zero: not a log: the first line does not end",
     "",
     true,
     {.memory_limit = 256LL << 20}},
    {"standard_output_full", R"("$@" --json WUTally.csv >/dev/full)", 1,
     "cannot write to standard output", "", true},
    {"out_of_memory",
     R"(cat header.csv one.csv >long.csv && head -c 60000000 /dev/zero | tr '\0' x >>long.csv &&
        "$@" long.csv)",
     1,
     "wutally-report: out of memory",
     "",
     true,
     {.memory_limit = 100LL << 20}},
};

INSTANTIATE_TEST_SUITE_P(Cases, ReportSafety, testing::ValuesIn(safety_cases),
                         testing_support::ByLabel{});

// The logger, too, says when it runs out of memory, and leaves the log as
// it was.
TEST(OutOfMemory, TheLoggerSaysSoAndLeavesTheLog) {
    if (!program_under_test().posix || under_address_sanitizer()) {
        GTEST_SKIP() << "a POSIX limit of the address space, which AddressSanitizer exceeds";
    }
    ScratchDirectory dir;
    ClientFiles{}.write_to(dir.path());
    // A line that holds the work unit's name is read whole.
    const std::string log =
        header_row + "\r\n" + std::string(60'000'000, 'x') + ",14fe06ac.27316.8322.42";
    write_file(dir / "WUTally.csv", log);
    const RunResult run = run_program(dir.path(), {}, {.memory_limit = 48LL << 20});
    EXPECT_EQ(run.output, console_text("WUTally: Out of memory\n"));
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(read_file(dir / "WUTally.csv") == log);
}

} // namespace
} // namespace wutally::e2e
