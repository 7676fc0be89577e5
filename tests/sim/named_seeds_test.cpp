// Named seeds: schedules of the lock's simulation set up by hand, for the
// cases a farm meets first and those each mend was made for. Each runs the
// real runs through the same world and checks as the random schedules, and
// checks besides what the runs said and how long they waited.
#include "by_label.hpp"
#include "log/holder_name.hpp"
#include "log/lock_record.hpp"
#include "log/row_format.hpp"
#include "sim/world.hpp"

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <iostream>
#include <string>

namespace wutally::sim {
namespace {

using std::chrono::hours;

// A row of the work unit, as a run of a day in January wrote it.
std::string row_of(const std::string& unit) {
    std::string row = "\"2026.01.01 00:00:00\"";
    for (int column = 1; column < 57; ++column) {
        row += column == 20 ? ",\"" + unit + "\"" : ",1";
    }
    return row;
}
const std::string earlier_log = log::header_row() + "\r\n" + row_of("unit.0");

double in_seconds(Nanos time) {
    return std::chrono::duration<double>(time).count();
}

// "here", whose run is watched, and "there", another machine.
struct Farm {
    World world{7};
    Machine& here;
    Machine& there;
    Run& run;

    explicit Farm(Reach reach)
        : here(world.add_machine({"here", "id-here", reach, Nanos{0}, hours{1}})),
          there(world.add_machine({"there", "id-there", Reach::nfs, hours{2}, hours{9}})),
          run(world.add_run(here, "unit.1")) {
        world.share().put_file(World::log_path(), earlier_log);
        world.slow_answers = false; // so that waits can be told to the millisecond
    }

    [[nodiscard]] platform::ProcessIdentity process_here(std::uint64_t pid) const {
        return {"here", "id-here", here.boot, pid, 5};
    }
    // A holder on this machine that lives until the time, then lets go.
    void live_holder_here(std::optional<Nanos> until) {
        here.processes[201] = 5;
        const std::string holder = world.put_lease(process_here(201), "tklive", Nanos{0});
        if (until) {
            world.after_time(*until, [this, holder](World& w) {
                here.processes.erase(201);
                (void)w.share().remove(holder);
                (void)w.share().remove_directory(World::lease_path());
            });
        }
    }
};

struct Expected {
    int status = 0;
    double waited_at_least = 0; // seconds, by the run's own clock
    double waited_at_most = 1;
    const char* told = ""; // what its standard error holds, or nothing at all
};

struct SeedCase {
    const char* label;
    std::function<void(Farm&)> build;
    Expected expected;
};
PRINT_CASE_BY_LABEL(SeedCase)

const platform::ProcessIdentity elsewhere{"there", "id-there", "there-boot", 300, 9};

const SeedCase lease_cases[] = {
    {"process_here_ended",
     [](Farm& farm) { farm.world.put_lease(farm.process_here(200), "tkdead", Nanos{0}); },
     {0, 0, 1, "WUTally: broke the stale lock of process 200 on here, made "}},
    {"machine_restarted_judged_by_age",
     [](Farm& farm) {
         auto before = farm.process_here(100);
         before.boot = "an earlier boot";
         farm.world.put_lease(before, "tkold", hours{2});
     },
     {0, 60, 61, ": its machine has restarted\n"}},
    {"namesake_of_another_boot_waited_for_and_named",
     [](Farm& farm) {
         auto clone = farm.process_here(100);
         clone.boot = "a clone's boot";
         farm.world.put_lease(clone, "tkclone", Nanos{0});
     },
     {0, 60, 61, "WUTally: another machine has this machine's name and machine id"}},
    {"live_holder_here_held_briefly",
     [](Farm& farm) { farm.live_holder_here(seconds{2}); },
     {0, 2, 2.3, ""}},
    {"live_holder_here_waited_for_while_it_lives",
     [](Farm& farm) { farm.live_holder_here(std::nullopt); },
     {1, 300, 300.3, "WUTally: the log was held too long"}},
    {"elsewhere_just_taken",
     [](Farm& farm) { farm.world.put_lease(elsewhere, "tkthere", Nanos{0}); },
     {0, 60, 61, ": it was held for 60 s\n"}},
    {"elsewhere_taken_long_ago",
     [](Farm& farm) { farm.world.put_lease(elsewhere, "tkthere", hours{1}); },
     {0, 60, 61, ": it was held for 3660 s\n"}},
    {"elsewhere_held_briefly",
     [](Farm& farm) {
         const std::string holder = farm.world.put_lease(elsewhere, "tkthere", Nanos{0});
         farm.world.after_time(seconds{30}, [holder](World& w) {
             (void)w.share().remove(holder);
             (void)w.share().remove_directory(World::lease_path());
         });
     },
     {0, 30, 30.3, ""}},
    {"namesake_without_an_id_is_another_machine",
     [](Farm& farm) {
         farm.world.put_lease({"here", "", "its boot", 100, 7}, "tknamesake", Nanos{0});
     },
     {0, 60, 61, ": it was held for 60 s\n"}},
    {"of_an_earlier_version_long_ago",
     [](Farm& farm) {
         farm.world.share().put_file(World::lease_path(), "");
         farm.world.share().age(World::lease_path(), seconds{3600});
     },
     {0, 60, 61, "WUTally: broke the stale lock of a run that did not say whose it was"}},
    {"of_an_earlier_version_here_ended",
     [](Farm& farm) {
         farm.world.share().put_file(World::lease_path(),
                                     log::format_lock_record(farm.process_here(200), "tk"));
     },
     {0, 0, 1, ": its process has ended\n"}},
    // Whatever the share's clock says, a lock is old only once this run has
    // watched it for the stale age: one set back by an hour is waited out.
    // Another user's lease, in a folder with the sticky bit: named, with its
    // owner, once it would be broken, and waited for within the bounds.
    {"lease_that_cannot_be_moved",
     [](Farm& farm) {
         const std::string holder = farm.world.put_lease(elsewhere, "tkthere", Nanos{0});
         farm.world.share().store().forbidden.insert(holder);
         farm.world.after_time(seconds{600},
                               [holder](World& w) { w.share().store().forbidden.erase(holder); });
     },
     {1, 70, 180.5,
      "WUTally: the lock /share/WUTally.csv.lock (owner: tester) cannot be moved by this user"}},
    {"lease_that_cannot_be_read",
     [](Farm& farm) {
         farm.world.put_lease(elsewhere, "tkthere", Nanos{0});
         farm.world.share().store().forbidden.insert(World::lease_path());
         farm.world.after_time(seconds{600}, [](World& w) {
             w.share().store().forbidden.erase(World::lease_path());
         });
     },
     {1, 10, 120.5, "cannot be read by this user"}},
    // A lease its holder is removing while a handle to it stays open: on
    // Windows its name is kept, and refused, until that handle is closed.
    {"lease_being_deleted",
     [](Farm& farm) {
         farm.world.share().put_directory(World::lease_path());
         farm.world.share().store().deleting.insert(World::lease_path());
         farm.world.after_time(seconds{2}, [](World& w) {
             w.share().store().deleting.erase(World::lease_path());
             (void)w.share().remove_directory(World::lease_path());
         });
     },
     {0, 2, 2.3, ""}},
    {"server_clock_set_forward",
     [](Farm& farm) {
         farm.world.put_lease(elsewhere, "tkthere", Nanos{0});
         farm.world.after_time(seconds{1}, [](World& w) { w.step_server_clock(hours{1}); });
     },
     {0, 60, 61, ": it was held for 3660 s\n"}},
    {"server_clock_set_back",
     [](Farm& farm) {
         farm.world.put_lease(elsewhere, "tkthere", Nanos{0});
         farm.world.after_time(seconds{1}, [](World& w) { w.step_server_clock(-hours{1}); });
     },
     {0, 60, 61, ": it was held for 60 s\n"}},
};

// The row a dead run was writing, as its journal tells it.
const std::string dead_row = "\r\n" + row_of("unit.1");

SeedCase journal_case(const char* label, std::string written, Expected expected) {
    return {label,
            [written](Farm& farm) {
                farm.world.share().rewrite_file(World::log_path(), earlier_log + written);
                farm.world.put_lease(farm.process_here(200), "tkdead", Nanos{0});
                farm.world.put_journal(farm.process_here(200), "tkdead", earlier_log.size(),
                                       dead_row);
            },
            expected};
}

// A torn row of the work unit must not be taken for it; a whole one must.
const SeedCase journal_cases[] = {
    journal_case(
        "journal_cut_after_the_name", dead_row.substr(0, 80),
        {0, 0, 1,
         "WUTally: took back 80 bytes of a row that process 200 on here left unfinished\n"}),
    journal_case("journal_cut_inside_a_quoted_field", dead_row.substr(0, 70),
                 {0, 0, 1, "took back 70 bytes"}),
    journal_case("journal_of_a_whole_row", dead_row, {2, 0, 1, "broke the stale lock"}),
    journal_case("journal_of_other_bytes", "\r\n\"2026.01.01 00:00:00\",1",
                 {0, 0, 1, "broke the stale lock"}),
    journal_case("journal_of_nothing_written", "", {0, 0, 1, "broke the stale lock"}),
    {"pending_row_of_an_earlier_version",
     [](Farm& farm) {
         farm.world.share().rewrite_file(World::log_path(), earlier_log + dead_row.substr(0, 20));
         farm.world.share().put_file(World::log_path() + ".pending",
                                     log::format_lock_record(farm.process_here(200), "tk") +
                                         log::format_pending_row({earlier_log.size(), dead_row}));
     },
     {0, 0, 1, "took back 20 bytes"}},
};

// Another program holds the log itself: an earlier version's run, or a
// spreadsheet.
SeedCase held_log_case(const char* label, Nanos held_for, Expected expected) {
    return {label,
            [held_for](Farm& farm) {
                farm.world.share().hold(World::log_path(), true);
                farm.world.after_time(held_for,
                                      [](World& w) { w.share().hold(World::log_path(), false); });
            },
            expected};
}

// The log held by another program, which adds a row every `every` seconds
// for `growing` seconds, then lets it go after 1000 s.
SeedCase growing_log_case(const char* label, int every, int growing, Expected expected) {
    return {label,
            [every, growing](Farm& farm) {
                farm.world.share().hold(World::log_path(), true);
                for (int second = 1; second <= growing; second += every) {
                    farm.world.after_time(seconds{second}, [second](World& w) {
                        w.share().rewrite_file(World::log_path(),
                                               *w.share().file_bytes(World::log_path()) + "\r\n" +
                                                   row_of("unit.other" + std::to_string(second)));
                    });
                }
                farm.world.after_time(seconds{1000},
                                      [](World& w) { w.share().hold(World::log_path(), false); });
            },
            expected};
}

const SeedCase held_log_cases[] = {
    held_log_case("log_held_briefly", milliseconds{3}, {0, 0.003, 0.05, ""}),
    held_log_case("log_held_a_second", seconds{1}, {0, 1, 1.1, ""}),
    held_log_case("log_released_just_before_the_bound", milliseconds{9980}, {0, 9.98, 10.1, ""}),
    held_log_case("log_held_past_the_bound", seconds{1000},
                  {1, 10, 10.1, "WUTally: the log was held too long"}),
    growing_log_case("log_growing_while_held", 1, 30,
                     {1, 40, 40.1, "WUTally: the log was held too long"}),
    growing_log_case("log_growing_for_ever", 3, 400,
                     {1, 300, 300.1, "WUTally: the log was held too long"}),
};

class NamedSeed : public testing::TestWithParam<std::tuple<SeedCase, Reach>> {};

TEST_P(NamedSeed, EndsAsExpectedAndLeavesAFolderAnyRunCanUse) {
    const auto& [test, reach] = GetParam();
    Farm farm(reach);
    std::vector<std::string> trace;
    farm.world.trace = &trace;
    test.build(farm);
    const Verdict verdict = farm.world.run_to_end();
    const auto show_trace = [&] {
        std::string shown;
        for (const std::string& line : trace) {
            shown += line + "\n";
        }
        return shown;
    };
    for (const std::string& violation : verdict.violations) {
        ADD_FAILURE() << violation;
    }
    const sim::Run& run = farm.run;
    const Expected& expected = test.expected;
    EXPECT_EQ(run.status, expected.status) << run.output;
    EXPECT_GE(in_seconds(run.elapsed()), expected.waited_at_least);
    EXPECT_LE(in_seconds(run.elapsed()), expected.waited_at_most) << show_trace();
    if (*expected.told == '\0') {
        EXPECT_EQ(run.errors.text(), "");
    } else {
        EXPECT_NE(run.errors.text().find(expected.told), std::string::npos) << run.errors.text();
    }
}

std::string seed_name(const testing::TestParamInfo<NamedSeed::ParamType>& info) {
    constexpr std::array<const char*, 6> reaches{
        "server_disk", "nfs", "nfs_local_lock", "smb", "windows_smb", "windows_server_disk"};
    return std::string(std::get<0>(info.param).label) + "_on_" +
           reaches.at(static_cast<std::size_t>(std::get<1>(info.param)));
}

INSTANTIATE_TEST_SUITE_P(Leases, NamedSeed,
                         testing::Combine(testing::ValuesIn(lease_cases),
                                          testing::Values(Reach::server_disk, Reach::nfs,
                                                          Reach::smb, Reach::windows_smb)),
                         seed_name);
INSTANTIATE_TEST_SUITE_P(Journals, NamedSeed,
                         testing::Combine(testing::ValuesIn(journal_cases),
                                          testing::Values(Reach::server_disk, Reach::smb)),
                         seed_name);
INSTANTIATE_TEST_SUITE_P(HeldLogs, NamedSeed,
                         testing::Combine(testing::ValuesIn(held_log_cases),
                                          testing::Values(Reach::server_disk)),
                         seed_name);

// Schedules of several runs, each steered to the moment a mend was made for.
struct Interleaving {
    const char* label;
    std::function<void(Farm&)> build;
    // Checks the runs once all have ended; the world's own checks hold too,
    // unless `lossy` names the one loss no lease prevents.
    std::function<void(Farm&, const Verdict&)> check;
    bool lossy = false;
};
PRINT_CASE_BY_LABEL(Interleaving)

const std::string the_log = "=" + World::log_path();
const std::string holder_files = "WUTally.csv.lock/h";

Run& another_run(Farm& farm, const char* unit, Nanos start) {
    return farm.world.add_run(farm.there, unit, start);
}

// Which runs' rows the log holds, in order.
std::string units_in_log(Farm& farm) {
    const std::string log = farm.world.share().file_bytes(World::log_path()).value_or("");
    std::string units;
    for (std::size_t at = log.find(",\"unit."); at != std::string::npos;
         at = log.find(",\"unit.", at + 1)) {
        units += log.substr(at + 2, log.find('"', at + 2) - at - 2) + " ";
    }
    return units;
}

const Interleaving interleavings[] = {
    // A run slowed between judging a lock stale and breaking it never
    // touches the lock another run took meanwhile.
    {"breaker_slowed_before_it_breaks",
     [](Farm& farm) {
         farm.world.put_lease(elsewhere, "tkthere", Nanos{0});
         another_run(farm, "unit.2", seconds{5});
         farm.world.add_run(farm.there, "unit.3", seconds{100});
         farm.world.before(farm.run, fake::Operation::rename, "tkthere", 1,
                           [&farm](World& w) { w.stall(farm.run, seconds{70}); });
     },
     [](Farm& farm, const Verdict&) {
         for (const auto& run : farm.world.runs()) {
             EXPECT_TRUE(run->saved()) << run->label << ": " << run->output;
         }
         EXPECT_EQ(units_in_log(farm), "unit.0 unit.2 unit.3 unit.1 unit.sweeper ");
     }},
    // A holder stopped before its fence finds its lease broken and takes
    // the log again; the run that broke it has written its row meanwhile.
    {"holder_stalled_before_its_fence",
     [](Farm& farm) {
         another_run(farm, "unit.2", seconds{1});
         farm.world.before(farm.run, fake::Operation::rename, holder_files, 1,
                           [&farm](World& w) { w.stall(farm.run, seconds{70}); });
     },
     [](Farm& farm, const Verdict&) {
         EXPECT_TRUE(farm.run.saved()) << farm.run.output;
         EXPECT_EQ(units_in_log(farm), "unit.0 unit.2 unit.1 unit.sweeper ");
         EXPECT_NE(farm.world.runs()[1]->errors.text().find("broke the stale lock of process"),
                   std::string::npos);
     }},
    // One stopped before it journals its row finds the lease gone, and
    // takes the log again.
    {"holder_stalled_before_its_journal",
     [](Farm& farm) {
         another_run(farm, "unit.2", seconds{1});
         farm.world.before(farm.run, fake::Operation::create, ".row", 1,
                           [&farm](World& w) { w.stall(farm.run, seconds{70}); });
     },
     [](Farm& farm, const Verdict&) {
         EXPECT_TRUE(farm.run.saved()) << farm.run.output;
         EXPECT_EQ(units_in_log(farm), "unit.0 unit.2 unit.1 unit.sweeper ");
     }},
    // The one loss no lease prevents: a holder stopped between its fence and
    // its write for longer than the stale age, where no lock of the file
    // system's own keeps the breaker out. Where one does, the breaker waits;
    // the late holder cannot prove its hold and says so, its row left whole.
    {"holder_stalled_after_its_fence",
     [](Farm& farm) {
         another_run(farm, "unit.2", seconds{1});
         farm.world.before(farm.run, fake::Operation::write, the_log, 1,
                           [&farm](World& w) { w.stall(farm.run, seconds{70}); });
     },
     [](Farm& farm, const Verdict& verdict) {
         const Reach reach = farm.here.setup.reach;
         if (reach == Reach::server_disk || reach == Reach::nfs ||
             reach == Reach::windows_server_disk) {
             EXPECT_TRUE(verdict.violations.empty());
             EXPECT_EQ(farm.run.status, 1);
             EXPECT_EQ(units_in_log(farm), "unit.0 unit.1 unit.2 unit.sweeper ");
         } else {
             EXPECT_TRUE(verdict.lost_to_a_late_holder());
             EXPECT_GE(verdict.longest_fence_gap, seconds{70});
         }
     },
     true},
    {"ended_by_a_signal_half_way_through_its_row",
     [](Farm& farm) {
         farm.world.add_run(farm.here, "unit.2", seconds{5});
         farm.world.before(farm.run, fake::Operation::write, the_log, 1,
                           [&farm](World& w) { w.tear_write(farm.run, 60, true); });
     },
     [](Farm& farm, const Verdict&) {
         const Run& next = *farm.world.runs()[1];
         EXPECT_TRUE(next.saved());
         EXPECT_LT(next.elapsed(), seconds{1}) << "nothing was left to wait for";
         EXPECT_EQ(next.errors.text(), "");
         EXPECT_EQ(units_in_log(farm), "unit.0 unit.2 unit.sweeper ");
     }},
    {"killed_half_way_through_its_row",
     [](Farm& farm) {
         farm.world.add_run(farm.here, "unit.2", seconds{5});
         farm.world.before(farm.run, fake::Operation::write, the_log, 1,
                           [&farm](World& w) { w.tear_write(farm.run, 60); });
     },
     [](Farm& farm, const Verdict&) {
         const Run& next = *farm.world.runs()[1];
         EXPECT_TRUE(next.saved());
         EXPECT_LT(next.elapsed(), seconds{1}) << "its process is known to have ended";
         EXPECT_NE(next.errors.text().find("took back 60 bytes of a row that process"),
                   std::string::npos)
             << next.errors.text();
         EXPECT_EQ(units_in_log(farm), "unit.0 unit.2 unit.sweeper ");
     }},
    // A disk that fails once more as the run takes its half-written row
    // back: the journal stays, and the next run takes the row back.
    {"torn_row_whose_cut_fails",
     [](Farm& farm) {
         farm.world.add_run(farm.here, "unit.2", seconds{5});
         farm.world.before(farm.run, fake::Operation::write, the_log, 1,
                           [&farm](World&) { farm.run.files->fail_this_call(60); });
         farm.world.before(farm.run, fake::Operation::truncate, the_log, 1,
                           [&farm](World& w) { w.fail_call(farm.run); });
     },
     [](Farm& farm, const Verdict&) {
         EXPECT_EQ(farm.run.status, 1);
         EXPECT_TRUE(farm.run.output.ends_with("WUTally: Error writing /share/WUTally.csv\n"));
         const Run& next = *farm.world.runs()[1];
         EXPECT_TRUE(next.saved());
         EXPECT_NE(next.errors.text().find("took back 60 bytes"), std::string::npos);
         EXPECT_EQ(units_in_log(farm), "unit.0 unit.2 unit.sweeper ");
     }},
    // A signal while the run confirms its hold takes the row back; one that
    // comes once the row is known saved waits for the success line.
    {"ended_by_a_signal_while_it_confirms",
     [](Farm& farm) {
         farm.world.before(farm.run, fake::Operation::rename, holder_files, 2,
                           [&farm](World& w) { w.terminate(farm.run); });
     },
     [](Farm& farm, const Verdict&) {
         EXPECT_FALSE(farm.run.saved());
         EXPECT_EQ(units_in_log(farm), "unit.0 unit.sweeper ");
     }},
    {"ended_by_a_signal_once_its_row_is_saved",
     [](Farm& farm) {
         farm.world.before(farm.run, fake::Operation::remove, ".row", 1,
                           [&farm](World& w) { w.terminate(farm.run); });
     },
     [](Farm& farm, const Verdict&) {
         EXPECT_TRUE(farm.run.saved()) << farm.run.output;
         EXPECT_EQ(units_in_log(farm), "unit.0 unit.1 unit.sweeper ");
     }},
    {"journal_that_cannot_be_made",
     [](Farm& farm) {
         farm.world.before(farm.run, fake::Operation::create, ".row", 1,
                           [&farm](World& w) { w.fail_call(farm.run); });
     },
     [](Farm& farm, const Verdict&) {
         EXPECT_EQ(farm.run.status, 1);
         EXPECT_EQ(units_in_log(farm), "unit.0 unit.sweeper ");
     }},
    // A machine that loses power with the log open: its SMB server keeps its
    // handle for minutes. A run on the server's own Windows disk, which
    // opens the log for nobody else, must still log once the lease is
    // broken, and so must every other kind of run.
    {"dead_client_keeps_its_handle",
     [](Farm& farm) {
         Machine& client = farm.world.add_machine(
             {"client", "id-client", Reach::windows_smb, Nanos{0}, hours{3}});
         Run& dying = farm.world.add_run(client, "unit.2", Nanos{0});
         farm.run.start_at = seconds{5};
         farm.world.before(dying, fake::Operation::write, the_log, 1,
                           [&client](World& w) { w.power_off(client); });
     },
     [](Farm& farm, const Verdict&) {
         EXPECT_TRUE(farm.run.saved()) << farm.run.output;
         EXPECT_LT(farm.run.elapsed(), seconds{70});
     }},
    // A share whose server went away and came back: the client sends again
    // the calls it had no answer to, which the server had already carried
    // out, and hears that the run's own directory and holder file exist.
    {"calls_carried_out_before_a_reconnect",
     [](Farm& farm) {
         farm.world.before(farm.run, fake::Operation::make_directory, "WUTally.csv.lock.", 1,
                           [](World& w) { w.share().put_directory(w.calling()); });
         farm.world.before(farm.run, fake::Operation::create, "/h0.", 1,
                           [](World& w) { w.share().put_file(w.calling(), ""); });
     },
     [](Farm& farm, const Verdict&) {
         EXPECT_TRUE(farm.run.saved()) << farm.run.output;
         EXPECT_EQ(units_in_log(farm), "unit.0 unit.1 unit.sweeper ");
     }},
    // Two runs with one work unit: one row.
    {"one_work_unit_twice_at_once", [](Farm& farm) { another_run(farm, "unit.1", Nanos{0}); },
     [](Farm& farm, const Verdict&) {
         const int statuses = farm.run.status + farm.world.runs()[1]->status;
         EXPECT_EQ(statuses, 2) << "one saved, one already logged";
     }},
};

class Interleavings : public testing::TestWithParam<std::tuple<Interleaving, Reach>> {};

TEST_P(Interleavings, KeepEveryRowReportedSaved) {
    const auto& [test, reach] = GetParam();
    Farm farm(reach);
    std::vector<std::string> trace;
    farm.world.trace = &trace;
    test.build(farm);
    const Verdict verdict = farm.world.run_to_end();
    if (!test.lossy) {
        for (const std::string& violation : verdict.violations) {
            ADD_FAILURE() << violation;
        }
    }
    test.check(farm, verdict);
    if (HasFailure()) {
        for (const std::string& line : trace) {
            std::cout << line << "\n";
        }
    }
}

std::string interleaving_name(const testing::TestParamInfo<Interleavings::ParamType>& info) {
    constexpr std::array<const char*, 6> reaches{
        "server_disk", "nfs", "nfs_local_lock", "smb", "windows_smb", "windows_server_disk"};
    return std::string(std::get<0>(info.param).label) + "_on_" +
           reaches.at(static_cast<std::size_t>(std::get<1>(info.param)));
}

INSTANTIATE_TEST_SUITE_P(
    Seeds, Interleavings,
    testing::Combine(testing::ValuesIn(interleavings),
                     testing::Values(Reach::server_disk, Reach::nfs, Reach::nfs_local_lock,
                                     Reach::smb, Reach::windows_smb, Reach::windows_server_disk)),
    interleaving_name);

} // namespace
} // namespace wutally::sim
