// A run that a signal ends, or that is killed, while it holds the log: no
// lock is left for other runs to wait on, and no part of its row for the
// next one to be written behind.
#include "client_fixture.hpp"
#include "harness.hpp"

#include "by_label.hpp"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <thread>

namespace wutally::e2e {
namespace {

namespace fs = std::filesystem;

class HeldLogFaults : public testing::Test {
  protected:
    void SetUp() override {
        if (!program_under_test().posix || program_under_test().paused.empty()) {
            GTEST_SKIP() << "POSIX build with the pausing program only";
        }
        before = log_an_earlier_work_unit(dir.path());
    }

    // Starts the pausing program, and waits until it has paused at the point.
    StartedRun start_paused(const std::string& at) {
        StartedRun run(dir.path(),
                       {"env", "WUTALLY_PAUSE_AT=" + at, "WUTALLY_PAUSE_MARK=" + mark().string(),
                        program_under_test().paused},
                       RunOptions{.with_errors = true});
        for (int waited = 0; waited < 500 && !fs::exists(mark()); ++waited) {
            std::this_thread::sleep_for(std::chrono::milliseconds{20});
        }
        EXPECT_TRUE(fs::exists(mark())) << "the run did not pause";
        return run;
    }

    [[nodiscard]] fs::path mark() const { return dir / "paused"; }
    [[nodiscard]] fs::path log() const { return dir / "WUTally.csv"; }
    [[nodiscard]] bool lock_left() const { return fs::exists(dir / "WUTally.csv.lock"); }

    ScratchDirectory dir;
    std::string before;
};

struct SignalCase {
    const char* label;
    int number;
};
PRINT_CASE_BY_LABEL(SignalCase)

class EndedBySignal : public HeldLogFaults, public testing::WithParamInterface<SignalCase> {};

TEST_P(EndedBySignal, HalfWayThroughItsRowLeavesTheLogAndNoLock) {
    StartedRun paused = start_paused("row");
    ASSERT_GT(read_file(log()).size(), before.size()) << "half the row is written";
    paused.signal(GetParam().number);
    EXPECT_EQ(paused.finish().status, 128 + GetParam().number);
    EXPECT_EQ(read_file(log()), before);
    EXPECT_FALSE(lock_left());
    const RunResult next = run_program(dir.path());
    EXPECT_EQ(masked(next.output), console_text(saved_line));
    EXPECT_LT(next.elapsed.count(), 2.0) << "nothing to wait for";
    EXPECT_EQ(masked(read_file(log())), masked(before) + masked_row());
}

const SignalCase signal_cases[] = {
    {"terminated", SIGTERM},
    {"interrupted", SIGINT},
    {"hung_up", SIGHUP},
};

INSTANTIATE_TEST_SUITE_P(Cases, EndedBySignal, testing::ValuesIn(signal_cases),
                         testing_support::ByLabel{});

// As a machine that loses power: the next run on the machine finds the
// holder's process gone, breaks its lock at once and takes its half row
// back.
TEST_F(HeldLogFaults, KilledHalfWayThroughItsRowLeavesNothingForTheNextRun) {
    StartedRun paused = start_paused("row");
    paused.signal(SIGKILL);
    EXPECT_EQ(paused.finish().status, 128 + SIGKILL);
    ASSERT_TRUE(lock_left());
    const RunResult next = run_program(dir.path(), {}, RunOptions{.with_errors = true});
    EXPECT_NE(next.output.find("WUTally: broke the stale lock of process "), std::string::npos)
        << next.output;
    EXPECT_NE(next.output.find(": its process has ended\n"), std::string::npos);
    EXPECT_NE(next.output.find(" bytes of a row that process "), std::string::npos);
    EXPECT_TRUE(masked(next.output).ends_with(saved_line));
    EXPECT_LT(next.elapsed.count(), 2.0);
    EXPECT_EQ(masked(read_file(log())), masked(before) + masked_row());
    EXPECT_FALSE(lock_left());
    EXPECT_FALSE(fs::exists(dir / "WUTally.csv.pending"));
}

// A log reached through a link to a file not yet made is held beside the
// file the link leads to, where runs through other links meet.
TEST_F(HeldLogFaults, ALinkToALogNotYetMadeIsHeldWhereItLeads) {
    fs::create_directories(dir / "target");
    fs::create_directories(dir / "link");
    fs::create_symlink("../target/WUTally.csv", dir / "link" / "WUTally.csv");
    StartedRun paused(dir.path(),
                      {"env", "WUTALLY_PAUSE_AT=hold", "WUTALLY_PAUSE_MARK=" + mark().string(),
                       program_under_test().paused, "/P" + (dir / "link").string()});
    for (int waited = 0; waited < 500 && !fs::exists(mark()); ++waited) {
        std::this_thread::sleep_for(std::chrono::milliseconds{20});
    }
    ASSERT_TRUE(fs::exists(mark())) << "the run did not pause";
    EXPECT_TRUE(fs::exists(dir / "target" / "WUTally.csv.lock"));
    EXPECT_FALSE(fs::exists(dir / "link" / "WUTally.csv.lock"));
    fs::remove(mark());
    EXPECT_EQ(paused.finish().status, 0);
    EXPECT_FALSE(fs::exists(dir / "target" / "WUTally.csv.lock"));
}

// A holder killed but not yet reaped by its parent is a zombie, which still
// answers a signal: it is taken for ended all the same.
TEST_F(HeldLogFaults, AKilledHolderNotYetReapedIsTakenForEnded) {
    StartedRun paused = start_paused("row");
    paused.signal(SIGKILL);
    std::this_thread::sleep_for(std::chrono::milliseconds{200});
    const RunResult next = run_program(dir.path(), {}, RunOptions{.with_errors = true});
    EXPECT_NE(next.output.find(": its process has ended\n"), std::string::npos) << next.output;
    EXPECT_TRUE(masked(next.output).ends_with(saved_line));
    EXPECT_LT(next.elapsed.count(), 2.0);
    EXPECT_EQ(paused.finish().status, 128 + SIGKILL);
    EXPECT_EQ(masked(read_file(log())), masked(before) + masked_row());
}

// A message printed to a closed pipe while the log is held does not end
// the run with the lock left: the row is saved.
TEST_F(HeldLogFaults, ClosedStandardOutputDoesNotEndTheRunWhileItHoldsTheLog) {
    ClientFiles files;
    ClientFiles::set(files.user_info, "venue", "");
    files.user_info.replace(files.user_info.find("venue="), 7, "");
    files.write_to(dir.path());
    std::vector<std::string> words{"sh", "-c", "\"$@\" | true", "sh"};
    const auto program = program_command({});
    words.insert(words.end(), program.begin(), program.end());
    EXPECT_EQ(StartedRun(dir.path(), words).finish().status, 0);
    const std::string venue = "\"home\"";
    EXPECT_EQ(read_file(log()).size(), before.size() + masked_row().size() - venue.size());
    EXPECT_FALSE(lock_left());
}

// Who a run takes itself to be: the same machine and boot for every run of
// one boot, however far apart, so that a dead run of the machine is known
// dead at once; and a machine id where the system keeps one.
TEST(Identity, IsTheSameForEveryRunOfOneBoot) {
    ScratchDirectory dir;
    const ProgramUnderTest& program = program_under_test();
    const auto who = [&] {
        std::vector<std::string> words = program.runner;
        words.push_back(program.holder);
        words.emplace_back("--who");
        return StartedRun(dir.path(), std::move(words)).finish().output;
    };
    const std::string first = who();
    std::this_thread::sleep_for(std::chrono::milliseconds{1100});
    EXPECT_EQ(who(), first);
    const std::size_t machine = first.find('\n') + 1;
    EXPECT_GT(first.find('\n', machine), machine) << "no machine id: " << first;
}

} // namespace
} // namespace wutally::e2e
