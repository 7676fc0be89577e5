// Makes every operation of a run fail in turn, on an in-memory file layer,
// and checks that each failure is reported as such and leaves the log as it
// was.
#include "by_label.hpp"
#include "fake/fake_clock.hpp"
#include "fake/fake_platform.hpp"
#include "log/columns.hpp"
#include "run/run.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace wutally {
namespace {

const std::string log_path = "WUTally.csv";

struct Scenario {
    const char* label;
    std::optional<std::string> log; // the log before the run, none if missing
    std::vector<std::string_view> arguments;
};
PRINT_CASE_BY_LABEL(Scenario)

// Long enough that the log takes several reads.
const std::string earlier_rows = [] {
    std::string rows = "\"date\",\"name\"";
    for (int row = 0; row < 20; ++row) {
        rows += "\r\n\"2026.01.01 00:00:00\",\"unit." + std::to_string(row) + "\"" +
                std::string(200, ',');
    }
    return rows;
}();

// Client files in which every key is found, so a run prints only its outcome.
void put_client_files() {
    std::string state;
    std::string result = "name=unit.new\n";
    std::string user_info;
    for (const log::ColumnList* list : log::column_lists) {
        std::string& text = list->source == log::Source::state    ? state
                            : list->source == log::Source::result ? result
                                                                  : user_info;
        for (const std::string_view key : list->keys) {
            text += std::string(key) + "=1\n";
        }
    }
    fake::put_file("state.txt", state);
    fake::put_file("result.txt", result);
    fake::put_file("user_info.txt", user_info);
}

struct Outcome {
    std::string output;
    int status;
};

Outcome run_once(const Scenario& scenario, std::size_t failing_operation, bool onward = false) {
    fake::reset();
    put_client_files();
    if (scenario.log) {
        fake::put_file(log_path, *scenario.log);
    }
    if (onward) {
        fake::fail_operations_from(failing_operation);
    } else {
        fake::fail_operation(failing_operation);
    }
    platform::CapturedOutput console;
    fake::FakeClock clock;
    const int status = run::run(scenario.arguments, {console, clock});
    return {console.text(), status};
}

// The line a run must end with when the given operation fails.
std::string failure_line(const fake::FailedOperation& failed) {
    using fake::Operation;
    switch (failed.operation) {
    case Operation::open_read:
    case Operation::open_exclusive:
        return "WUTally: Could not open " + failed.path + "\n";
    case Operation::size:
    case Operation::read:
        return "WUTally: Error reading " + failed.path + "\n";
    case Operation::write:
    case Operation::seek_end:
    case Operation::truncate:
    case Operation::sync:
        break;
    }
    return "WUTally: Error writing " + failed.path + "\n";
}

class FaultInjection : public testing::TestWithParam<Scenario> {};

// The operations of the clean run that read the log before holding it: a
// failure there only costs the run a longer read under the hold.
struct ReadBeforeHold {
    std::size_t first = 0;
    std::size_t end = 0;

    static ReadBeforeHold of_last_run() {
        const auto read = fake::first_operation(fake::Operation::open_read, log_path);
        const auto hold = fake::first_operation(fake::Operation::open_exclusive, log_path);
        return read && hold && *read < *hold ? ReadBeforeHold{*read, *hold} : ReadBeforeHold{};
    }
    [[nodiscard]] bool holds(std::size_t nth) const { return nth >= first && nth < end; }
};

TEST_P(FaultInjection, EveryFailingOperationLeavesTheLogAsItWas) {
    const Scenario& scenario = GetParam();
    const Outcome clean = run_once(scenario, 0);
    ASSERT_EQ(clean.status, 0) << clean.output;
    const std::size_t total = fake::operations();
    const std::string saved_log = *fake::file_bytes(log_path);
    const ReadBeforeHold before_hold = ReadBeforeHold::of_last_run();
    ASSERT_GT(total, 8U);

    bool log_was_opened = false;
    for (std::size_t nth = 1; nth <= total; ++nth) {
        SCOPED_TRACE("failing operation " + std::to_string(nth) + " of " + std::to_string(total));
        const Outcome outcome = run_once(scenario, nth);
        const auto failed = fake::failed_operation();
        ASSERT_TRUE(failed.has_value());
        if (before_hold.holds(nth)) {
            EXPECT_EQ(outcome.status, 0) << outcome.output;
            EXPECT_EQ(fake::file_bytes(log_path)->size(), saved_log.size());
            continue;
        }
        EXPECT_EQ(outcome.output, failure_line(*failed));
        EXPECT_EQ(outcome.status, 1);
        const auto log = fake::file_bytes(log_path);
        if (scenario.log) {
            EXPECT_EQ(log, scenario.log);
        } else if (log_was_opened) {
            EXPECT_EQ(log, std::optional<std::string>("")) << "a log this run created stays empty";
        } else {
            EXPECT_EQ(log, std::nullopt) << "no log before it is opened";
        }
        log_was_opened = log_was_opened || failed->operation == fake::Operation::open_exclusive;
    }
    EXPECT_TRUE(log_was_opened);
    // With no failure, the same run still saves the same bytes, row and all.
    EXPECT_EQ(run_once(scenario, 0).status, 0);
    EXPECT_EQ(fake::file_bytes(log_path)->size(), saved_log.size());
}

const Scenario scenarios[] = {
    {"new_log", std::nullopt, {}},
    {"empty_log", "", {}},
    {"log_with_rows", earlier_rows, {}},
};

INSTANTIATE_TEST_SUITE_P(Cases, FaultInjection, testing::ValuesIn(scenarios),
                         testing_support::ByLabel{});

// When the file layer breaks down for good, the roll-back may fail too, but
// the run still reports the first failure and never claims success.
TEST_P(FaultInjection, LastingBreakdownIsNeverReportedAsSuccess) {
    const Scenario& scenario = GetParam();
    run_once(scenario, 0);
    const std::size_t total = fake::operations();
    const ReadBeforeHold before_hold = ReadBeforeHold::of_last_run();
    for (std::size_t nth = 1; nth <= total; ++nth) {
        SCOPED_TRACE("failing from operation " + std::to_string(nth));
        const Outcome outcome = run_once(scenario, nth, true);
        ASSERT_TRUE(fake::failed_operation().has_value());
        // A breakdown that starts while the log is read before the hold is
        // first reported when the log cannot be held.
        const std::string expected = before_hold.holds(nth)
                                         ? "WUTally: Could not open " + log_path + "\n"
                                         : failure_line(*fake::failed_operation());
        EXPECT_EQ(outcome.output, expected);
        EXPECT_EQ(outcome.status, 1);
    }
}

} // namespace
} // namespace wutally
