// Waiting for a log that another run holds, on the in-memory file layer and
// a clock that moves only when the run sleeps.
#include "by_label.hpp"
#include "fake/fake_clock.hpp"
#include "fake/fake_platform.hpp"
#include "log/log_file.hpp"
#include "run/run.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <string>

namespace wutally {
namespace {

using std::chrono::milliseconds;

const std::string log_path = "WUTally.csv";
std::string row_of(const std::string& name) {
    return "\"2026.01.01 00:00:00\",\"" + name + "\"";
}
const std::string earlier_log = "\"date\",\"name\"\r\n" + row_of("unit.0");

struct WaitCase {
    const char* label;
    std::optional<milliseconds> held_for; // none: held for good
    int status;
    milliseconds waited;
};
PRINT_CASE_BY_LABEL(WaitCase)

class LogWait : public testing::TestWithParam<WaitCase> {};

TEST_P(LogWait, WaitsUpToTheBoundThenGoesOnAsIfTheLogWereFree) {
    const WaitCase& test = GetParam();
    fake::reset();
    fake::put_file("state.txt", "cpu=1\n");
    fake::put_file("result.txt", "name=unit.1\n");
    fake::put_file("user_info.txt", "id=1\n");
    fake::put_file(log_path, earlier_log);
    fake::hold(log_path, test.held_for != milliseconds{0});
    fake::FakeClock clock;
    clock.after_sleep = [&](milliseconds elapsed) {
        if (test.held_for && elapsed >= *test.held_for) {
            fake::hold(log_path, false);
        }
    };
    platform::CapturedOutput console;
    const int status = run::run({}, {console, clock});

    EXPECT_EQ(status, test.status);
    EXPECT_EQ(clock.elapsed(), test.waited);
    const std::string log = *fake::file_bytes(log_path);
    if (status == 0) {
        EXPECT_NE(console.text().find("WUTally: work unit saved successfully on "),
                  std::string::npos);
        EXPECT_TRUE(log.starts_with(earlier_log + "\r\n\""));
    } else {
        EXPECT_EQ(console.text(), "WUTally: Could not open WUTally.csv\n");
        EXPECT_EQ(log, earlier_log);
    }
    for (const milliseconds pause : clock.pauses()) {
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
    {"held_for_good", std::nullopt, 1, std::chrono::seconds{10}},
};

INSTANTIATE_TEST_SUITE_P(Cases, LogWait, testing::ValuesIn(wait_cases), testing_support::ByLabel{});

struct BusyCase {
    const char* label;
    milliseconds change_every; // another run appends a row this often
    milliseconds changing_for; // and stops after this long
    std::optional<milliseconds> replaced_at;
    milliseconds waited_at_least;
};
PRINT_CASE_BY_LABEL(BusyCase)

class BusyLog : public testing::TestWithParam<BusyCase> {};

// A log that keeps changing is busy, not stuck: the run waits on, and gives
// up only once it has stayed unchanged for the bound.
TEST_P(BusyLog, IsWaitedForUntilItStaysUnchangedForTheBound) {
    const BusyCase& test = GetParam();
    fake::reset();
    fake::put_file(log_path, earlier_log);
    fake::hold(log_path);
    fake::FakeClock clock;
    milliseconds changed{0};
    clock.after_sleep = [&](milliseconds elapsed) {
        if (test.replaced_at && elapsed >= *test.replaced_at && changed < *test.replaced_at) {
            fake::put_file(log_path, earlier_log);
            fake::hold(log_path);
            changed = elapsed;
        } else if (elapsed <= test.changing_for && elapsed - changed >= test.change_every) {
            fake::rewrite_file(log_path, *fake::file_bytes(log_path) + "\r\n" + row_of("other"));
            changed = elapsed;
        }
    };
    EXPECT_EQ(log::open_log(log_path, clock), std::nullopt);
    EXPECT_EQ(clock.elapsed(), changed + log::log_wait_bound);
    EXPECT_GE(clock.elapsed(), test.waited_at_least);
}

const BusyCase busy_cases[] = {
    {"unchanged", milliseconds{20000}, milliseconds{0}, std::nullopt, milliseconds{10000}},
    {"growing_for_thirty_seconds", milliseconds{500}, milliseconds{30000}, std::nullopt,
     milliseconds{39500}},
    {"growing_slower_than_the_bound", milliseconds{11000}, milliseconds{30000}, std::nullopt,
     milliseconds{10000}},
    {"replaced_after_nine_seconds", milliseconds{20000}, milliseconds{0}, milliseconds{9000},
     milliseconds{19000}},
};

INSTANTIATE_TEST_SUITE_P(Cases, BusyLog, testing::ValuesIn(busy_cases), testing_support::ByLabel{});

// On a share, where each try is a request to its server, the pauses grow
// further; the bound is the same.
TEST(LogWait, OnAShareTriesLessOften) {
    fake::reset();
    fake::put_file(log_path, earlier_log);
    fake::hold(log_path, true, true);
    fake::FakeClock clock;
    EXPECT_EQ(log::open_log(log_path, clock), std::nullopt);
    EXPECT_EQ(clock.elapsed(), log::log_wait_bound);
    EXPECT_EQ(*std::max_element(clock.pauses().begin(), clock.pauses().end()),
              log::longest_share_wait_pause);
    EXPECT_LT(clock.pauses().size(), 60U) << "some 400 tries a run at 25 ms";
}

TEST(LogWait, OtherOpenFailuresAreNotWaitedFor) {
    fake::reset();
    fake::put_directory(log_path);
    fake::FakeClock clock;
    EXPECT_EQ(log::open_log(log_path, clock), std::nullopt);
    EXPECT_TRUE(clock.pauses().empty());
}

} // namespace
} // namespace wutally
