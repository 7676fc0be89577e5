// A farm in one process: machines that log into one folder on one share,
// each run the program's real run sequence over the in-memory file layer,
// with its own clocks, identity and view of the files, interleaved at every
// file-layer call by a seeded scheduler that strikes faults at any step.
#pragma once

#include "fake/captured_output.hpp"
#include "fake/fake_file_system.hpp"
#include "platform/clock.hpp"
#include "sim/coroutine.hpp"

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace wutally::sim {

using Nanos = std::chrono::nanoseconds;
using std::chrono::milliseconds;
using std::chrono::seconds;

// How a machine reaches the shared folder.
enum class Reach {
    server_disk,         // runs on the share's own server, on its disk
    nfs,                 // byte-range locks passed on to the server
    nfs_local_lock,      // mounted with local_lock=all: locks stay on the machine
    smb,                 // a Linux client
    windows_smb,         // a Windows client
    windows_server_disk, // runs on a Windows server's own disk, which it shares
};

struct MachineSetup {
    std::string host;
    std::string machine_id;
    Reach reach = Reach::nfs;
    Nanos wall_offset{0}; // its time of day against the true one
    Nanos uptime{std::chrono::hours{6}};
};

class World;
struct Machine;

// A fault, or any other thing that happens to the world at a step.
using Action = std::function<void(World&)>;

// One run of the program: a process of its machine.
struct Run {
    World* world = nullptr;
    Machine* machine = nullptr;
    std::string label;
    std::string unit;
    Nanos start_at{0};

    std::unique_ptr<fake::FakeFileSystem> files;
    std::unique_ptr<fake::FakeMachine> process;
    std::unique_ptr<platform::Clock> clock;
    fake::CapturedOutput console;
    fake::CapturedOutput errors;
    std::unique_ptr<Coroutine> coroutine;

    bool started = false;
    bool finished = false;
    bool dead = false;       // ended from outside: its output is no longer taken
    bool in_handler = false; // the signal handler's calls are not interleaved
    int status = -1;
    std::string output; // as it stood when the run ended
    Nanos ready_at{0};
    Nanos started_true{0};
    Nanos ended_true{0};
    Nanos stalled{0}; // stalls struck on it, not counted as its wait
    std::uint64_t pid = 0;

    // What it wrote to the log, and the longest stall between a fence and
    // the write or cut of the log behind it.
    std::vector<std::string> rows;
    std::optional<Nanos> last_renewal;
    Nanos longest_fence_gap{0};

    [[nodiscard]] bool saved() const;
    [[nodiscard]] Nanos elapsed() const { return ended_true - started_true - stalled; }
};

struct Machine {
    MachineSetup setup;
    std::string boot; // changes when it is powered on again
    Nanos booted_at{0};
    bool powered = true;
    std::uint64_t next_pid = 1000;
    std::map<std::uint64_t, std::uint64_t> processes; // running pid -> start
    std::vector<Run*> runs;
};

// What a finished schedule came to.
struct Verdict {
    std::vector<std::string> violations;
    // The holder stalled longest between its fence and its write: where a
    // row is lost, the one loss no lease can prevent on a file system that
    // keeps no lock of its own.
    Nanos longest_fence_gap{0};
    std::size_t steps = 0;
    std::size_t faults = 0;
    Nanos duration{0};
    [[nodiscard]] bool lost_to_a_late_holder() const;
};

class World {
  public:
    explicit World(std::uint64_t seed);
    ~World();
    World(const World&) = delete;
    World& operator=(const World&) = delete;

    // Building it.
    Machine& add_machine(const MachineSetup& setup);
    Run& add_run(Machine& machine, const std::string& unit, Nanos start_at = Nanos{0});
    // Files in the shared folder before the runs start, as the server's own
    // disk sees them.
    fake::FakeFileSystem& share() { return *share_view_; }
    [[nodiscard]] static std::string folder() { return "/share"; }
    [[nodiscard]] static std::string log_path() { return "/share/WUTally.csv"; }
    [[nodiscard]] static std::string lease_path() { return "/share/WUTally.csv.lock"; }
    // A lease left by the holder, last renewed `age` ago by the server's
    // clock; its holder file's path.
    std::string put_lease(const platform::ProcessIdentity& holder, const std::string& token,
                          Nanos age);
    // What the holder's journal says it was writing.
    void put_journal(const platform::ProcessIdentity& holder, const std::string& token,
                     std::uint64_t start, const std::string& row);
    // Does the action once the step comes: the nth call of any run.
    void at_step(std::size_t step, Action action);
    // Does the action before the matching call of the run: its nth call of
    // the operation on a path holding `holding` ("=PATH": on that path).
    void before(Run& run, fake::Operation operation, const std::string& holding, int nth,
                Action action);
    // The path of the call such an action is done before.
    [[nodiscard]] const std::string& calling() const { return calling_; }
    void after_time(Nanos at, Action action);

    // Faults.
    void kill(Run& run);      // SIGKILL: nothing of it runs again
    void terminate(Run& run); // SIGTERM: its handler runs, then it ends
    void power_off(Machine& machine);
    void power_on(Machine& machine);
    void stall(Run& run, Nanos duration);
    void stall_share(Nanos duration); // the share's server stops answering
    void step_server_clock(Nanos by);
    void fail_call(Run& run);
    // The write stores only the first `kept` bytes, and the run ends there:
    // killed, or ended by a signal whose handler runs.
    void tear_write(Run& run, std::size_t kept, bool by_signal = false);

    // Running it: every run to its end, then the checks.
    Verdict run_to_end();
    [[nodiscard]] Nanos now() const { return now_; }
    [[nodiscard]] Nanos server_time() const { return now_ + server_offset_; }
    [[nodiscard]] std::mt19937_64& random() { return random_; }
    [[nodiscard]] const std::vector<std::unique_ptr<Run>>& runs() const { return runs_; }
    [[nodiscard]] Run* current() const { return current_; }
    [[nodiscard]] Machine& machine(std::size_t index) { return *machines_.at(index); }
    // What happened, step by step, where a trace is asked for.
    std::vector<std::string>* trace = nullptr;
    bool trace_calls = false;
    // Now and then a call takes up to a third of a second.
    bool slow_answers = true;

    // From a run's own code.
    void before_call(Run& run, const fake::FailedOperation& call);
    void sleep(Run& run, Nanos duration);

  private:
    void start(Run& run);
    void finish(Run& run);
    void end_from_outside(Run& run);
    void resume(Run& run);
    void note(const std::string& line);
    Nanos latency(const Run& run);
    Verdict check();
    Run& add_sweeper();

    std::mt19937_64 random_;
    Nanos now_{0};
    Nanos server_offset_{0};
    Nanos jitter_{0};
    std::shared_ptr<fake::FakeStore> store_;
    std::unique_ptr<fake::FakeFileSystem> share_view_;
    std::vector<std::unique_ptr<Machine>> machines_;
    std::vector<std::unique_ptr<Run>> runs_;
    std::multimap<std::size_t, Action> at_steps_;
    std::multimap<Nanos, Action> at_times_;
    struct Trigger {
        Run* run;
        fake::Operation operation;
        std::string holding;
        int nth;
        int seen = 0;
        Action action;
    };
    std::vector<Trigger> triggers_;
    std::string calling_;
    Run* current_ = nullptr;
    std::size_t steps_ = 0;
    std::size_t faults_ = 0;
    std::size_t units_ = 0;
};

// A world built at random from the seed: machines of every kind, clones
// among them, runs at once and later, logs new and old, and faults struck
// at random steps.
std::unique_ptr<World> random_world(std::uint64_t seed);

} // namespace wutally::sim
