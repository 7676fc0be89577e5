// Runs started at the same moment on one log: each either saves its row whole
// or says it could not open the log, and no row is lost, doubled or mixed.
#include "client_fixture.hpp"
#include "harness.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace wutally::e2e {
namespace {

namespace fs = std::filesystem;

constexpr int runs = 16;

struct Race {
    ScratchDirectory root;
    std::vector<fs::path> clients;
    std::vector<RunResult> results;

    // One client directory a run, each naming its work unit, all logging
    // into ../log.
    explicit Race(const std::function<std::string(int)>& name_of_run) {
        fs::create_directory(root / "log");
        for (int run = 0; run < runs; ++run) {
            ClientFiles files;
            ClientFiles::set(files.result, "name", name_of_run(run));
            clients.push_back(root / ("client" + std::to_string(run)));
            fs::create_directory(clients.back());
            files.write_to(clients.back());
        }
        results = run_programs_at_once(clients, {native("/P..|log")});
    }

    [[nodiscard]] std::string log() const { return read_file(root / "log" / "WUTally.csv"); }
};

const std::string path_line = "WUTally: Path to WUTally.csv set to: ..|log|\n";

// The names in the log's rows, in order, checking that each row is whole.
std::vector<std::string> logged_names(const std::string& log) {
    std::vector<std::string> names;
    EXPECT_TRUE(log.starts_with(header_row));
    std::size_t at = header_row.size();
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

TEST(Concurrency, DifferentWorkUnitsEachSaveWholeOrSayCouldNotOpen) {
    const Race race([](int run) { return "unit." + std::to_string(run); });
    std::vector<std::string> saved;
    for (int run = 0; run < runs; ++run) {
        const RunResult& result = race.results[static_cast<std::size_t>(run)];
        const std::string output = masked(result.output);
        if (result.status == 0) {
            EXPECT_EQ(output, console_text(native(path_line) + saved_line));
            saved.push_back("unit." + std::to_string(run));
        } else {
            EXPECT_EQ(result.status, 1);
            EXPECT_EQ(output, console_text(native(path_line) + "WUTally: Could not open " +
                                           native("..|log|WUTally.csv\n")));
        }
    }
    ASSERT_FALSE(saved.empty());
    std::vector<std::string> logged = logged_names(race.log());
    std::sort(logged.begin(), logged.end());
    std::sort(saved.begin(), saved.end());
    EXPECT_EQ(logged, saved);
}

TEST(Concurrency, SameWorkUnitIsLoggedAtMostOnce) {
    const Race race([](int) { return std::string("unit.same"); });
    const auto saved = std::count_if(race.results.begin(), race.results.end(),
                                     [](const RunResult& result) { return result.status == 0; });
    EXPECT_EQ(saved, 1);
    for (const RunResult& result : race.results) {
        EXPECT_TRUE(result.status == 0 || result.status == 1 || result.status == 2);
    }
    EXPECT_EQ(logged_names(race.log()), std::vector<std::string>{"unit.same"});
}

} // namespace
} // namespace wutally::e2e
