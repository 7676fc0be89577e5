// The lock under every interleaving a farm can produce: seeded schedules of
// several real runs over one share, faults struck at any step, and after
// each the checks that every row reported saved is in the log, whole and
// once, that no partial or fused row is left, that no run waits past its
// bound and that nothing of the lock is left once all runs have ended.
//
//   WUTALLY_SIM_SCHEDULES=N  how many schedules (default 1000)
//   WUTALLY_SIM_FIRST=S      the first seed (default 1)
//   WUTALLY_SIM_SEED=S       one schedule, replayed with its trace
//   WUTALLY_SIM_CALLS=1      the trace shows every call
#include "sim/world.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <iostream>
#include <string>

namespace wutally::sim {
namespace {

std::uint64_t setting(const char* name, std::uint64_t otherwise) {
    const char* value = std::getenv(name); // NOLINT(concurrency-mt-unsafe): read before any thread
    return value != nullptr ? std::stoull(value) : otherwise;
}

std::string replay_command(std::uint64_t seed) {
    return "WUTALLY_SIM_SEED=" + std::to_string(seed) +
           " build/default/tests/lock_simulation --gtest_filter='LockSimulation.RandomSchedules'";
}

double in_seconds(Nanos time) {
    return std::chrono::duration<double>(time).count();
}

TEST(LockSimulation, RandomSchedules) {
    if (const char* one = std::getenv("WUTALLY_SIM_SEED")) { // NOLINT(concurrency-mt-unsafe)
        const std::uint64_t seed = std::stoull(one);
        std::vector<std::string> trace;
        auto world = random_world(seed);
        world->trace = &trace;
        world->trace_calls = std::getenv("WUTALLY_SIM_CALLS") != nullptr; // NOLINT
        const Verdict verdict = world->run_to_end();
        for (const std::string& line : trace) {
            std::cout << line << "\n";
        }
        for (const std::string& violation : verdict.violations) {
            std::cout << "violation: " << violation << "\n";
        }
        if (verdict.lost_to_a_late_holder()) {
            std::cout << "the one loss no lease prevents: a holder stalled "
                      << in_seconds(verdict.longest_fence_gap)
                      << " s between its fence and its write\n";
            return;
        }
        EXPECT_TRUE(verdict.violations.empty());
        return;
    }
    const std::uint64_t first = setting("WUTALLY_SIM_FIRST", 1);
    const std::uint64_t schedules = setting("WUTALLY_SIM_SCHEDULES", 1000);
    std::size_t faults = 0;
    std::size_t steps = 0;
    std::size_t late_losses = 0;
    Nanos shortest_late_gap = std::chrono::hours{24};
    std::size_t failures = 0;
    for (std::uint64_t seed = first; seed < first + schedules; ++seed) {
        auto world = random_world(seed);
        const Verdict verdict = world->run_to_end();
        faults += verdict.faults;
        steps += verdict.steps;
        if (verdict.violations.empty()) {
            continue;
        }
        if (verdict.lost_to_a_late_holder()) {
            if (late_losses < 3) {
                std::cout << "seed " << seed << ": " << verdict.violations.front()
                          << ", behind a holder stalled " << in_seconds(verdict.longest_fence_gap)
                          << " s between its fence and its write\n";
            }
            ++late_losses;
            shortest_late_gap = std::min(shortest_late_gap, verdict.longest_fence_gap);
            continue;
        }
        ADD_FAILURE() << "seed " << seed << ": " << verdict.violations.front()
                      << "\n  replay: " << replay_command(seed);
        if (++failures == 10) {
            break;
        }
    }
    std::cout << "lock simulation: " << schedules << " schedules from seed " << first << ", "
              << steps << " file-layer calls interleaved, " << faults << " faults struck, "
              << failures << " violations, " << late_losses
              << " rows lost to a holder stalled between its fence and its write";
    if (late_losses > 0) {
        std::cout << " (the shortest such stall " << in_seconds(shortest_late_gap) << " s)";
    }
    std::cout << "\n";
}

} // namespace
} // namespace wutally::sim
