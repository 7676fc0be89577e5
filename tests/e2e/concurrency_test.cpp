// Runs on one log at the same moment: each waits its turn, so every work unit
// is saved once and no row is lost, doubled or mixed.
#include "client_fixture.hpp"
#include "harness.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <thread>

namespace wutally::e2e {
namespace {

namespace fs = std::filesystem;

constexpr int runs = 16;

std::string unit_name(int run) {
    return "unit." + std::to_string(run);
}

struct Race {
    ScratchDirectory root;
    std::vector<fs::path> clients;
    std::string log_before;
    std::vector<RunResult> results;

    // One client directory a run, each naming its work unit, all logging
    // into ../log, which holds `log_before` at the start.
    Race(const std::function<std::string(int)>& name_of_run, std::string before)
        : log_before(std::move(before)) {
        fs::create_directory(root / "log");
        if (!log_before.empty()) {
            write_file(log_path(), log_before);
        }
        for (int run = 0; run < runs; ++run) {
            ClientFiles files;
            ClientFiles::set(files.result, "name", name_of_run(run));
            clients.push_back(root / ("client" + std::to_string(run)));
            fs::create_directory(clients.back());
            files.write_to(clients.back());
        }
        results = run_programs_at_once(clients, {native("/P..|log")});
    }

    [[nodiscard]] fs::path log_path() const { return root / "log" / "WUTally.csv"; }
    [[nodiscard]] std::string log() const { return read_file(log_path()); }

    // How many saved, and how long the runs took from start to exit.
    void report(const char* what) const {
        std::vector<double> seconds;
        for (const RunResult& result : results) {
            seconds.push_back(result.elapsed.count());
        }
        std::sort(seconds.begin(), seconds.end());
        const auto saved =
            std::count_if(results.begin(), results.end(),
                          [](const RunResult& result) { return result.status == 0; });
        std::cout << what << ": " << saved << " of " << runs << " saved; runs took "
                  << seconds.front() << " s to " << seconds.back() << " s (median "
                  << seconds[seconds.size() / 2] << " s)\n";
    }
};

const std::string path_line = "WUTally: Path to WUTally.csv set to: ..|log|\n";

// The names in the rows after `before`, in order, checking that each row is
// whole.
std::vector<std::string> logged_names(const std::string& log, const std::string& before) {
    std::vector<std::string> names;
    EXPECT_TRUE(log.starts_with(before));
    std::size_t at = before.size();
    while (at < log.size()) {
        const std::size_t next = log.find("\r\n", at + 2);
        const std::string row =
            masked(log.substr(at, next == std::string::npos ? next : next - at));
        const std::size_t name_at = row.find(",\"unit.");
        const std::size_t name_end = row.find('"', name_at + 2);
        names.push_back(row.substr(name_at + 2, name_end - name_at - 2));
        EXPECT_EQ(row, masked_row_named("\"" + names.back() + "\""));
        at = next == std::string::npos ? log.size() : next;
    }
    return names;
}

// A log of many rows written by earlier runs, with no work unit of the race.
std::string log_of_rows(int rows) {
    std::string log = header_row;
    for (int row = 0; row < rows; ++row) {
        std::string line = masked_row_named("\"earlier." + std::to_string(row) + "\"");
        log += line.replace(line.find("YYYY.MM.DD hh:mm:ss"), 19, "2026.01.01 00:00:00");
    }
    return log;
}

void expect_every_unit_saved_once(const Race& race) {
    for (const RunResult& result : race.results) {
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(masked(result.output), console_text(native(path_line) + saved_line));
    }
    const std::string before = race.log_before.empty() ? header_row : race.log_before;
    std::vector<std::string> logged = logged_names(race.log(), before);
    std::vector<std::string> expected;
    for (int run = 0; run < runs; ++run) {
        expected.push_back(unit_name(run));
    }
    std::sort(logged.begin(), logged.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(logged, expected);
}

TEST(Concurrency, DifferentWorkUnitsAllSaveTheirRows) {
    const Race race(unit_name, "");
    race.report("16 runs on a new log");
    expect_every_unit_saved_once(race);
}

TEST(Concurrency, DifferentWorkUnitsAllSaveTheirRowsBehindManyRows) {
    const Race race(unit_name, log_of_rows(20000));
    race.report("16 runs on a log of 20,000 rows");
    expect_every_unit_saved_once(race);
}

TEST(Concurrency, SameWorkUnitIsLoggedOnceAndRefusedFifteenTimes) {
    const Race race([](int) { return std::string("unit.same"); }, "");
    race.report("16 runs of one work unit");
    int saved = 0;
    for (const RunResult& result : race.results) {
        if (result.status == 0) {
            ++saved;
            EXPECT_EQ(masked(result.output), console_text(native(path_line) + saved_line));
        } else {
            EXPECT_EQ(result.status, 2);
            EXPECT_EQ(result.output,
                      console_text(native(path_line) +
                                   "WUTally: Work Unit unit.same has already been logged.\n"));
        }
    }
    EXPECT_EQ(saved, 1);
    EXPECT_EQ(logged_names(race.log(), header_row), std::vector<std::string>{"unit.same"});
}

TEST(Concurrency, LogHeldForASecondIsWaitedFor) {
    ScratchDirectory dir;
    const std::string before = log_an_earlier_work_unit(dir.path());
    HeldOpen holder(dir.path(), "WUTally.csv");
    ASSERT_TRUE(holder.held());
    StartedRun run(dir.path(), program_command({}));
    std::this_thread::sleep_for(std::chrono::seconds{1});
    EXPECT_FALSE(run.exited()) << "the run should still be waiting";
    holder.release();
    const RunResult result = run.finish();
    EXPECT_EQ(masked(result.output), console_text(saved_line));
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(masked(read_file(dir / "WUTally.csv")), masked(before) + masked_row());
}

} // namespace
} // namespace wutally::e2e
