// Waiting for a log that another process holds, on the in-memory file layer
// and a clock that moves only when the run sleeps.
#include "by_label.hpp"
#include "fake/fake_run.hpp"
#include "log/log_hold.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <string>

namespace wutally {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

const std::string log_path = "WUTally.csv";
std::string row_of(const std::string& name) {
    return "\"2026.01.01 00:00:00\",\"" + name + "\"";
}
const std::string earlier_log = "\"date\",\"name\"\r\n" + row_of("unit.0");

void put_client_files(fake::FakeFileSystem& files) {
    files.put_file("state.txt", "cpu=1\n");
    files.put_file("result.txt", "name=unit.1\n");
    files.put_file("user_info.txt", "id=1\n");
}

struct WaitCase {
    const char* label;
    std::optional<milliseconds> held_for; // none: held for good
    int status;
    milliseconds waited;
};
PRINT_CASE_BY_LABEL(WaitCase)

class LogWait : public testing::TestWithParam<WaitCase> {};

// A process that holds the log's lock without a lock file: a run of an
// earlier version, or another program.
TEST_P(LogWait, WaitsUpToTheBoundThenGoesOnAsIfTheLogWereFree) {
    const WaitCase& test = GetParam();
    fake::FakeRun runs;
    put_client_files(runs.files);
    runs.files.put_file(log_path, earlier_log);
    runs.files.hold(log_path, test.held_for != milliseconds{0});
    runs.clock.after_sleep = [&](milliseconds elapsed) {
        if (test.held_for && elapsed >= *test.held_for) {
            runs.files.hold(log_path, false);
        }
    };
    const int status = runs.run();

    EXPECT_EQ(status, test.status);
    EXPECT_EQ(runs.clock.elapsed(), test.waited);
    const std::string log = *runs.files.file_bytes(log_path);
    if (status == 0) {
        EXPECT_NE(runs.console.text().find("WUTally: work unit saved successfully on "),
                  std::string::npos);
        EXPECT_TRUE(log.starts_with(earlier_log + "\r\n\""));
    } else {
        EXPECT_EQ(runs.console.text(), "WUTally: Could not open WUTally.csv\n");
        EXPECT_EQ(log, earlier_log);
    }
    EXPECT_FALSE(runs.files.exists(log_path + ".lock")) << "no lock file is left";
    for (const milliseconds pause : runs.clock.pauses()) {
        EXPECT_GT(pause, milliseconds{0}) << "no busy spinning";
        EXPECT_LE(pause, log::longest_wait_pause);
    }
}

// The pauses grow 1, 2, 4, 8, 16 ms, then stay at 25 ms, so a hold is seen
// to end at the first attempt after it.
const WaitCase wait_cases[] = {
    {"free", milliseconds{0}, 0, milliseconds{0}},
    {"held_briefly", milliseconds{3}, 0, milliseconds{3}},
    {"held_a_second", milliseconds{1000}, 0, milliseconds{1006}},
    {"released_just_before_the_bound", milliseconds{9980}, 0, milliseconds{9981}},
    {"held_for_good", std::nullopt, 1, seconds{10}},
};

INSTANTIATE_TEST_SUITE_P(Cases, LogWait, testing::ValuesIn(wait_cases), testing_support::ByLabel{});

struct BusyCase {
    const char* label;
    milliseconds change_every; // another process appends a row this often
    milliseconds changing_for; // and stops after this long
    bool replaced_at_nine_seconds;
    seconds waited; // from the last change, or the outer bound
    bool from_last_change;
};
PRINT_CASE_BY_LABEL(BusyCase)

class BusyLog : public testing::TestWithParam<BusyCase> {};

// A log that keeps changing is busy, not stuck: the run waits on, and gives
// up once it has stayed unchanged for the bound, or at the outer bound.
TEST_P(BusyLog, IsWaitedForUntilItStaysUnchangedForTheBound) {
    const BusyCase& test = GetParam();
    fake::FakeRun runs;
    runs.files.put_file(log_path, earlier_log);
    runs.files.hold(log_path);
    milliseconds changed{0};
    runs.clock.after_sleep = [&](milliseconds elapsed) {
        if (test.replaced_at_nine_seconds && elapsed >= seconds{9} && changed < seconds{9}) {
            runs.files.put_file(log_path, earlier_log);
            runs.files.hold(log_path);
            changed = elapsed;
        } else if (elapsed <= test.changing_for && elapsed - changed >= test.change_every) {
            runs.files.rewrite_file(log_path,
                                    *runs.files.file_bytes(log_path) + "\r\n" + row_of("other"));
            changed = elapsed;
        }
    };
    const auto deadline = runs.clock.now() + log::outer_wait_bound;
    const auto hold = log::LogHold::take(log_path, runs.hold_services(), deadline);
    ASSERT_FALSE(hold.has_value());
    EXPECT_EQ(hold.error(), log::HoldFailure::cannot_open);
    EXPECT_EQ(runs.clock.elapsed(),
              (test.from_last_change ? changed : milliseconds{0}) + milliseconds{test.waited});
}

const BusyCase busy_cases[] = {
    {"unchanged", milliseconds{20000}, milliseconds{0}, false, log::log_wait_bound, true},
    {"growing_for_thirty_seconds", milliseconds{500}, milliseconds{30000}, false,
     log::log_wait_bound, true},
    {"growing_slower_than_the_bound", milliseconds{11000}, milliseconds{30000}, false,
     log::log_wait_bound, true},
    {"replaced_after_nine_seconds", milliseconds{20000}, milliseconds{0}, true, log::log_wait_bound,
     true},
    // The client must not hang for ever, whatever the log does.
    {"growing_for_ever", milliseconds{3000}, milliseconds{1000000}, false, log::outer_wait_bound,
     false},
};

INSTANTIATE_TEST_SUITE_P(Cases, BusyLog, testing::ValuesIn(busy_cases), testing_support::ByLabel{});

// On a network share, a lock can stay with a dead client until its lease
// runs out, and every try is a request to the server: the wait is longer,
// its tries fewer.
TEST(LogWait, OnANetworkShareWaitsOutALeaseTryingLessOften) {
    fake::FakeRun runs;
    runs.files.set_share(platform::ShareKind::network);
    runs.files.put_file(log_path, earlier_log);
    runs.files.hold(log_path);
    const auto deadline = runs.clock.now() + log::outer_wait_bound;
    EXPECT_FALSE(log::LogHold::take(log_path, runs.hold_services(), deadline).has_value());
    EXPECT_EQ(runs.clock.elapsed(), log::share_wait_bound);
    const auto& pauses = runs.clock.pauses();
    EXPECT_EQ(*std::max_element(pauses.begin(), pauses.end()), log::longest_share_wait_pause);
    EXPECT_LT(pauses.size(), 620U);
}

TEST(LogWait, OtherOpenFailuresAreNotWaitedFor) {
    fake::FakeRun runs;
    runs.files.put_directory(log_path);
    const auto deadline = runs.clock.now() + log::outer_wait_bound;
    EXPECT_FALSE(log::LogHold::take(log_path, runs.hold_services(), deadline).has_value());
    EXPECT_TRUE(runs.clock.pauses().empty());
    EXPECT_FALSE(runs.files.exists(log_path + ".lock"));
}

} // namespace
} // namespace wutally
