// Locks whose holders are gone, rows they left half-written, and holds lost
// while a run was away: on the in-memory file layer, a clock that moves
// only when a run sleeps, and a machine whose processes the test decides.
#include "by_label.hpp"
#include "fake/fake_run.hpp"
#include "log/lock_record.hpp"
#include "log/log_hold.hpp"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <optional>
#include <string>
#include <tuple>
#include <utility>

namespace wutally {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

const std::string log_path = "WUTally.csv";
const std::string lock_path = "WUTally.csv.lock";
const std::string pending_path = "WUTally.csv.pending";

std::string row_of(const std::string& name) {
    return "\"2026.01.01 00:00:00\",\"" + name + "\"";
}
const std::string earlier_log = "\"date\",\"name\"\r\n" + row_of("unit.0");

// Whether the log holds a row of this run's work unit after the earlier one.
bool holds_the_unit(const std::string& log) {
    return log.find(",\"unit.1\",") != std::string::npos;
}

const platform::ProcessIdentity dead_here{"here", "machine-here", "boot-1", 200, 5};
const platform::ProcessIdentity live_here{"here", "machine-here", "boot-1", 201, 5};
const platform::ProcessIdentity restarted_here{"here", "machine-here", "boot-0", 100, 7};
const platform::ProcessIdentity elsewhere{"there", "machine-there", "boot-x", 300, 9};
// Another machine that happens to have the same name.
const platform::ProcessIdentity namesake{"here", "machine-other", "boot-9", 100, 7};

std::string lock_of(const platform::ProcessIdentity& holder) {
    return log::format_lock_record(holder, "token-of-" + std::to_string(holder.pid));
}

struct LockCase {
    const char* label;
    std::optional<std::string> lock; // the lock file found, none for no file
    seconds age;                     // of the lock file
    std::optional<milliseconds> released_after;
    int status;
    milliseconds waited_at_least;
    milliseconds waited_at_most;
    const char* told; // the start of what standard error says, or ""
};
PRINT_CASE_BY_LABEL(LockCase)

// Every case on this machine's own disk, on an NFS share and on an SMB
// share, where no byte-range lock is taken: the lock file alone decides.
class StaleLock : public testing::TestWithParam<std::tuple<LockCase, platform::ShareKind>> {};

TEST_P(StaleLock, IsBrokenOnceItsHolderIsKnownToBeGone) {
    const LockCase& test = std::get<0>(GetParam());
    fake::FakeRun runs;
    runs.machine.running.insert(live_here.pid);
    runs.files.put_file("state.txt", "cpu=1\n");
    runs.files.put_file("result.txt", "name=unit.1\n");
    runs.files.put_file("user_info.txt", "id=1\n");
    runs.files.put_file(log_path, earlier_log);
    runs.files.set_share(std::get<1>(GetParam()));
    if (test.lock) {
        runs.files.put_file(lock_path, *test.lock);
        runs.files.age(lock_path, test.age);
    }
    runs.clock.after_sleep = [&](milliseconds elapsed) {
        if (test.released_after && elapsed >= *test.released_after) {
            (void)runs.files.remove(lock_path);
        }
    };
    EXPECT_EQ(runs.run(), test.status) << runs.console.text();
    // On SMB a lock file is read once it has stood a while.
    const milliseconds read_later =
        std::get<1>(GetParam()) == platform::ShareKind::smb ? log::read_on_smb_after : seconds{0};
    EXPECT_GE(runs.clock.elapsed(), test.waited_at_least);
    EXPECT_LE(runs.clock.elapsed(), std::max(test.waited_at_most, read_later + milliseconds{200}));
    EXPECT_TRUE(runs.errors.text().starts_with(test.told)) << runs.errors.text();
    const std::string log = *runs.files.file_bytes(log_path);
    EXPECT_EQ(log.starts_with(earlier_log + "\r\n\"") && holds_the_unit(log), test.status == 0);
    // Nothing of this run's is left; a lock it could not break stays.
    EXPECT_EQ(runs.files.exists(lock_path), test.status != 0);
    EXPECT_EQ(runs.files.names().size(), test.status != 0 ? 5U : 4U);
}

const LockCase lock_cases[] = {
    {"process_here_ended", lock_of(dead_here), seconds{0}, std::nullopt, 0, milliseconds{0},
     milliseconds{0}, "WUTally: broke the stale lock of process 200 on here, made "},
    {"machine_restarted", lock_of(restarted_here), seconds{0}, std::nullopt, 0, milliseconds{0},
     milliseconds{0}, "WUTally: broke the stale lock of process 100 on here"},
    {"process_here_holds_it_briefly", lock_of(live_here), seconds{0}, milliseconds{2000}, 0,
     milliseconds{2000}, milliseconds{2200}, ""},
    {"elsewhere_just_taken", lock_of(elsewhere), seconds{0}, std::nullopt, 0, log::stale_lock_age,
     log::stale_lock_age + seconds{1}, "WUTally: broke the stale lock of process 300 on there"},
    {"elsewhere_taken_long_ago", lock_of(elsewhere), seconds{3600}, std::nullopt, 0, seconds{5},
     seconds{6}, "WUTally: broke the stale lock of process 300 on there"},
    {"elsewhere_held_briefly", lock_of(elsewhere), seconds{0}, milliseconds{30000}, 0, seconds{30},
     seconds{31}, ""},
    {"namesake_is_not_taken_for_this_machine", lock_of(namesake), seconds{0}, std::nullopt, 0,
     log::stale_lock_age, log::stale_lock_age + seconds{1},
     "WUTally: broke the stale lock of process 100 on here"},
    {"of_an_earlier_version_long_ago", std::string(), seconds{3600}, std::nullopt, 0, seconds{5},
     seconds{6}, "WUTally: broke the stale lock of a run that did not say whose it was"},
};

std::string stale_lock_case_name(const testing::TestParamInfo<StaleLock::ParamType>& info) {
    constexpr std::array<const char*, 3> shares{"on_own_disk", "on_smb", "on_nfs"};
    return std::string(std::get<0>(info.param).label) + "_" +
           shares.at(static_cast<std::size_t>(std::get<1>(info.param)));
}

INSTANTIATE_TEST_SUITE_P(Cases, StaleLock,
                         testing::Combine(testing::ValuesIn(lock_cases),
                                          testing::Values(platform::ShareKind::local,
                                                          platform::ShareKind::network,
                                                          platform::ShareKind::smb)),
                         stale_lock_case_name);

// A live holder on this machine that never lets go is waited for as long
// as the log's place allows: over a share its run waits on the server too.
TEST(StaleLock, ALiveHolderHereIsWaitedForByWhereTheLogLies) {
    const std::array<std::pair<platform::ShareKind, seconds>, 3> bounds{{
        {platform::ShareKind::local, log::log_wait_bound},
        {platform::ShareKind::network, log::share_wait_bound},
        {platform::ShareKind::smb, log::share_wait_bound},
    }};
    for (const auto& [share, bound] : bounds) {
        fake::FakeRun runs;
        runs.machine.running.insert(live_here.pid);
        runs.files.set_share(share);
        runs.files.put_file(log_path, earlier_log);
        runs.files.put_file(lock_path, lock_of(live_here));
        const auto deadline = runs.clock.now() + log::outer_wait_bound;
        EXPECT_FALSE(log::LogHold::take(log_path, runs.hold_services(), deadline).has_value());
        EXPECT_EQ(runs.clock.elapsed(), bound) << static_cast<int>(share);
        EXPECT_TRUE(runs.files.exists(lock_path));
    }
}

// The row a dead run was writing, as its pending file tells it.
const std::string dead_row = "\r\n" + row_of("unit.1") + ",\"x\"";

struct PendingCase {
    const char* label;
    std::string written; // what the dead run left of its row at the log's end
    std::string kept;    // of that, what stays
    int status;
    const char* told;
};
PRINT_CASE_BY_LABEL(PendingCase)

class PendingRow : public testing::TestWithParam<PendingCase> {};

TEST_P(PendingRow, IsTakenBackOnlyWhereItIsTheStartOfThatRow) {
    const PendingCase& test = GetParam();
    fake::FakeRun runs;
    runs.files.put_file("state.txt", "cpu=1\n");
    runs.files.put_file("result.txt", "name=unit.1\n");
    runs.files.put_file("user_info.txt", "id=1\n");
    runs.files.put_file(log_path, earlier_log + test.written);
    runs.files.put_file(lock_path, lock_of(dead_here));
    runs.files.put_file(pending_path, lock_of(dead_here) +
                                          log::format_pending_row({earlier_log.size(), dead_row}));
    // The dead run logged this run's work unit: a torn row of it must not be
    // taken for it, a whole one must.
    EXPECT_EQ(runs.run(), test.status) << runs.console.text();
    const std::string log = *runs.files.file_bytes(log_path);
    ASSERT_TRUE(log.starts_with(earlier_log + test.kept)) << log;
    const std::string added = log.substr(earlier_log.size() + test.kept.size());
    if (test.status == 0) {
        EXPECT_TRUE(added.starts_with("\r\n\"")) << log;
        EXPECT_EQ(added.find("\r\n", 2), std::string::npos) << "one row: " << log;
    } else {
        EXPECT_EQ(added, "");
    }
    EXPECT_NE(runs.errors.text().find(test.told), std::string::npos) << runs.errors.text();
    EXPECT_FALSE(runs.files.exists(pending_path));
}

const PendingCase pending_cases[] = {
    {"cut_after_the_name", dead_row.substr(0, 33), "", 0,
     "WUTally: took back 33 bytes of a row that process 200 on here left unfinished\n"},
    {"cut_inside_a_quoted_field", dead_row.substr(0, 30), "", 0, "took back 30 bytes"},
    {"whole", dead_row, dead_row, 2, "broke the stale lock"},
    {"not_its_bytes", "\r\nsomething else", "\r\nsomething else", 0, "broke the stale lock"},
    {"nothing_written", "", "", 0, "broke the stale lock"},
};

INSTANTIATE_TEST_SUITE_P(Cases, PendingRow, testing::ValuesIn(pending_cases),
                         testing_support::ByLabel{});

// One machine's runs over one log, the client files in place.
struct OneLog : fake::FakeRun {
    OneLog() {
        files.put_file("state.txt", "cpu=1\n");
        files.put_file("result.txt", "name=unit.1\n");
        files.put_file("user_info.txt", "id=1\n");
        files.put_file(log_path, earlier_log);
    }
    // Once, before the nth call of the kind on the path, does what another
    // run does at that moment.
    void at(fake::Operation operation, const std::string& path, int nth,
            std::function<void()> act) {
        files.before_operation = [=, seen = 0](const fake::FailedOperation& call) mutable {
            if (call.operation == operation && call.path == path && ++seen == nth) {
                act();
            }
        };
    }
};

// A lock taken afresh by another run while this one breaks the stale one is
// put back, and waited for.
TEST(BreakingALock, NeverRemovesAFreshLockTakenInBetween) {
    OneLog runs;
    runs.machine.running.insert(live_here.pid);
    runs.files.put_file(lock_path, lock_of(dead_here));
    runs.at(fake::Operation::rename, lock_path, 1, [&] {
        runs.files.put_file(lock_path, lock_of(live_here));
        runs.clock.after_sleep = [&](milliseconds elapsed) {
            if (elapsed >= milliseconds{500} &&
                runs.files.file_bytes(lock_path) == lock_of(live_here)) {
                (void)runs.files.remove(lock_path);
            }
        };
    });
    EXPECT_EQ(runs.run(), 0);
    EXPECT_EQ(runs.errors.text(), "") << "the lock it moved was not the stale one";
    EXPECT_GE(runs.clock.elapsed(), milliseconds{500}) << "it waited for the fresh lock";
}

// A run stopped for longer than a stale lock's age, its lock broken and a
// row written meanwhile, takes the log again rather than write over it.
TEST(LostHold, BeforeTheRowIsWrittenTheLogIsTakenAgain) {
    OneLog runs;
    const std::string other = earlier_log + "\r\n" + row_of("unit.other");
    // The second look at the log's size is the first under the hold.
    runs.at(fake::Operation::size, log_path, 2, [&] {
        runs.clock.sleep_for(seconds{70});
        (void)runs.files.rename(lock_path, "elsewhere");
        runs.files.put_file(lock_path, lock_of(elsewhere));
        runs.files.rewrite_file(log_path, other);
        runs.clock.after_sleep = [&](milliseconds) { (void)runs.files.remove(lock_path); };
    });
    EXPECT_EQ(runs.run(), 0) << runs.console.text();
    const std::string log = *runs.files.file_bytes(log_path);
    EXPECT_TRUE(log.starts_with(other + "\r\n\"")) << log;
    EXPECT_TRUE(holds_the_unit(log.substr(other.size())));
}

// Where the lock file turns out another's once the row is written, the run
// was stopped in between. On an SMB share, where the lock file alone keeps
// runs apart, the row is taken back if nothing follows it and the run
// fails; elsewhere the log's own lock, still held, kept other runs out.
TEST(LostHold, AfterTheRowIsWrittenOnSmbTheRunFailsAndTakesItBack) {
    for (const auto share : {platform::ShareKind::smb, platform::ShareKind::network}) {
        OneLog runs;
        runs.files.set_share(share);
        runs.at(fake::Operation::sync, log_path, 1,
                [&] { runs.files.put_file(lock_path, lock_of(elsewhere)); });
        const bool on_smb = share == platform::ShareKind::smb;
        EXPECT_EQ(runs.run(), on_smb ? 1 : 0);
        EXPECT_EQ(runs.console.text().ends_with("\nWUTally: Error writing WUTally.csv\n"), on_smb);
        EXPECT_EQ(runs.files.file_bytes(log_path) == earlier_log, on_smb);
        EXPECT_EQ(runs.files.file_bytes(lock_path), lock_of(elsewhere)) << "not this run's";
    }
}

// What a signal that ends the run leaves: the lock file gone, the log cut
// back to where it was, whatever the run had written of its row.
TEST(EndedBySignal, WhileWritingTheRowLeavesNothingBehind) {
    OneLog runs;
    runs.at(fake::Operation::sync, log_path, 1, [&] {
        ASSERT_GT(runs.files.file_bytes(log_path)->size(), earlier_log.size());
        runs.machine.end_by_signal();
        EXPECT_FALSE(runs.files.exists(lock_path));
        EXPECT_EQ(runs.files.file_bytes(log_path), earlier_log);
    });
    (void)runs.run();
}

TEST(EndedBySignal, LeavesAnotherRunsLockAlone) {
    OneLog runs;
    runs.at(fake::Operation::sync, log_path, 1, [&] {
        runs.files.put_file(lock_path, lock_of(elsewhere));
        runs.machine.end_by_signal();
        EXPECT_EQ(runs.files.file_bytes(lock_path), lock_of(elsewhere));
    });
    (void)runs.run();
}

struct RecordCase {
    const char* label;
    std::string text;
    bool whole;
    std::optional<std::uint64_t> row_start;
};
PRINT_CASE_BY_LABEL(RecordCase)

class LockRecords : public testing::TestWithParam<RecordCase> {};

TEST_P(LockRecords, ReadBackOnlyWhenWhole) {
    const auto record = log::parse_lock_record(GetParam().text);
    ASSERT_EQ(record.has_value(), GetParam().whole);
    if (record) {
        EXPECT_EQ(record->holder, elsewhere);
        EXPECT_EQ(record->row ? std::optional(record->row->start) : std::nullopt,
                  GetParam().row_start);
    }
}

const std::string record = lock_of(elsewhere);
const RecordCase record_cases[] = {
    {"holder", record, true, std::nullopt},
    {"with_its_row", record + log::format_pending_row({42, "a\nrow=1 1\nb"}), true, 42},
    {"a_later_row_stands",
     record + log::format_pending_row({1, "x"}) + log::format_pending_row({2, "y"}), true, 2},
    {"row_cut_short", record + log::format_pending_row({42, "abc"}).substr(0, 11), true,
     std::nullopt},
    {"being_written", record.substr(0, record.size() / 2), false, std::nullopt},
    {"empty", "", false, std::nullopt},
    {"another_programs_file", "pid=300\nstart=9\ntoken=x\n", false, std::nullopt},
};

INSTANTIATE_TEST_SUITE_P(Cases, LockRecords, testing::ValuesIn(record_cases),
                         testing_support::ByLabel{});

} // namespace
} // namespace wutally
