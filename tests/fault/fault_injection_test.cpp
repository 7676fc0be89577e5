// Makes every operation of a run fail in turn, on an in-memory file layer,
// and checks that each failure is reported as such and leaves the log as it
// was.
#include "by_label.hpp"
#include "fake/fake_run.hpp"
#include "log/columns.hpp"
#include "run/run.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

namespace wutally {
namespace {

const std::string log_path = "WUTally.csv";
const std::string lock_path = "WUTally.csv.lock";

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
void put_client_files(fake::FakeFileSystem& files) {
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
    files.put_file("state.txt", state);
    files.put_file("result.txt", result);
    files.put_file("user_info.txt", user_info);
}

struct Outcome {
    std::string output;
    int status = -1;
    std::optional<std::string> log;
    std::optional<fake::FailedOperation> failed;
    std::size_t operations = 0;
    bool lock_left = false;
    std::optional<std::size_t> hold_starts;      // the call that opens the log to hold it
    std::optional<std::size_t> read_before_hold; // the first read of the log before that
};

Outcome run_once(const Scenario& scenario, std::size_t failing_operation, bool onward = false) {
    fake::FakeRun runs;
    put_client_files(runs.files);
    if (scenario.log) {
        runs.files.put_file(log_path, *scenario.log);
    }
    if (onward) {
        runs.files.fail_operations_from(failing_operation);
    } else {
        runs.files.fail_operation(failing_operation);
    }
    Outcome outcome;
    outcome.status = runs.run(scenario.arguments);
    outcome.output = runs.console.text();
    outcome.log = runs.files.file_bytes(log_path);
    outcome.failed = runs.files.failed_operation();
    outcome.operations = runs.files.operations();
    const std::vector<std::string> names = runs.files.names();
    outcome.lock_left = std::any_of(names.begin(), names.end(), [](const std::string& name) {
        return name.starts_with(lock_path);
    });
    outcome.hold_starts = runs.files.first_operation(fake::Operation::list, lock_path);
    outcome.read_before_hold = runs.files.first_operation(fake::Operation::open_read, log_path);
    return outcome;
}

const std::string could_not_open = "WUTally: Could not open ";
const std::string error_reading = "WUTally: Error reading ";
const std::string error_writing = "WUTally: Error writing ";

// The lines a run may end with when the call fails: a failing call on the
// log itself has one; one on the files that keep runs apart fails the run
// as the log could not be had, read or written.
std::vector<std::string> failure_lines(const fake::FailedOperation& failed) {
    using fake::Operation;
    const std::string& path = failed.path;
    if (path != log_path && path.starts_with(log_path)) {
        return {could_not_open + log_path + "\n", error_reading + log_path + "\n",
                error_writing + log_path + "\n"};
    }
    switch (failed.operation) {
    case Operation::open_read:
    case Operation::open_log:
    case Operation::create:
    case Operation::lock:
    case Operation::state:
    case Operation::list:
    case Operation::make_directory:
        return {could_not_open + path + "\n"};
    case Operation::size:
    case Operation::read:
        return {error_reading + path + "\n"};
    case Operation::write:
    case Operation::seek_end:
    case Operation::truncate:
    case Operation::sync:
    case Operation::rename:
    case Operation::remove:
    case Operation::remove_directory:
        break;
    }
    return {error_writing + path + "\n"};
}

class FaultInjection : public testing::TestWithParam<Scenario> {};

// Each call of a run is made to fail in turn. The run either still saves
// its row once, where the failure costs it nothing (a read before the log
// is held, a lock the lock file already gives), or says why it failed and
// leaves the log as it was; either way it leaves no lock behind.
TEST_P(FaultInjection, EveryFailingOperationLeavesTheLogAsItWas) {
    const Scenario& scenario = GetParam();
    const Outcome clean = run_once(scenario, 0);
    ASSERT_EQ(clean.status, 0) << clean.output;
    ASSERT_GT(clean.operations, 8U);
    ASSERT_TRUE(clean.hold_starts && clean.read_before_hold);

    std::size_t failures = 0;
    for (std::size_t nth = 1; nth <= clean.operations; ++nth) {
        SCOPED_TRACE("failing call " + std::to_string(nth) + " of " +
                     std::to_string(clean.operations));
        const Outcome outcome = run_once(scenario, nth);
        ASSERT_TRUE(outcome.failed.has_value());
        const bool before_hold = nth >= *clean.read_before_hold && nth < *clean.hold_starts;
        if (outcome.status == 0) {
            EXPECT_TRUE(outcome.output.ends_with("\r\n")) << outcome.output;
            EXPECT_EQ(outcome.log->size(), clean.log->size());
        } else {
            ++failures;
            EXPECT_FALSE(before_hold) << "a failed read before the hold costs nothing";
            const auto lines = failure_lines(*outcome.failed);
            EXPECT_NE(std::find(lines.begin(), lines.end(), outcome.output), lines.end())
                << outcome.output << " after failing call " << nth << " on "
                << outcome.failed->path;
            EXPECT_EQ(outcome.status, 1);
            // A log this run made and could not fill is left empty, and
            // none is made before the client files are loaded; a run that
            // cannot prove its hold once its row is written leaves the row.
            const bool unproven = outcome.failed->operation == fake::Operation::rename &&
                                  outcome.output.starts_with(error_writing) &&
                                  outcome.log->size() == clean.log->size();
            EXPECT_TRUE(outcome.log == scenario.log || (!scenario.log && outcome.log == "") ||
                        (!scenario.log && !outcome.log) || unproven)
                << outcome.log.value_or("(none)");
        }
        // Only a removal that failed leaves what it would have removed, and
        // a journal that could not be read leaves the lease for the next run
        // to deal with it; it finds this run's process ended and does.
        const fake::Operation failed = outcome.failed->operation;
        const bool removal_failed =
            (failed == fake::Operation::remove || failed == fake::Operation::remove_directory) &&
            outcome.failed->path.starts_with(lock_path);
        const bool journal_unread =
            outcome.failed->path.ends_with(".pending") || outcome.failed->path.ends_with(".row");
        EXPECT_TRUE(!outcome.lock_left || removal_failed || journal_unread)
            << "a lock was left after failing " << static_cast<int>(failed) << " on "
            << outcome.failed->path << ": " << outcome.output;
    }
    EXPECT_GT(failures, 10U);
}

const Scenario scenarios[] = {
    {"new_log", std::nullopt, {}},
    {"empty_log", "", {}},
    {"log_with_rows", earlier_rows, {}},
};

INSTANTIATE_TEST_SUITE_P(Cases, FaultInjection, testing::ValuesIn(scenarios),
                         testing_support::ByLabel{});

// When the file layer breaks down for good, the roll-back may fail too, but
// the run never claims success for a row it did not save.
TEST_P(FaultInjection, LastingBreakdownIsNeverReportedAsSuccess) {
    const Scenario& scenario = GetParam();
    const Outcome clean = run_once(scenario, 0);
    for (std::size_t nth = 1; nth <= clean.operations; ++nth) {
        SCOPED_TRACE("failing from call " + std::to_string(nth));
        const Outcome outcome = run_once(scenario, nth, true);
        ASSERT_TRUE(outcome.failed.has_value());
        if (outcome.status == 0) {
            EXPECT_EQ(outcome.log->size(), clean.log->size()) << "saved means in the log";
        } else {
            EXPECT_EQ(outcome.status, 1);
            EXPECT_TRUE(outcome.output.starts_with("WUTally: ") &&
                        outcome.output.find('\n') == outcome.output.size() - 1)
                << outcome.output;
        }
    }
}

} // namespace
} // namespace wutally
