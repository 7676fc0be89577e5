#include "sim/world.hpp"

#include "log/columns.hpp"
#include "log/holder_judgment.hpp"
#include "log/holder_name.hpp"
#include "log/lock_record.hpp"
#include "log/log_lock.hpp"
#include "log/row_format.hpp"
#include "log/row_journal.hpp"
#include "run/run.hpp"

#include <algorithm>
#include <array>
#include <set>
#include <string_view>

namespace wutally::sim {

namespace {

// 2026-12-09 12:00:00 UTC, where the in-memory files count from.
constexpr seconds epoch{1796817600};
// A server keeps a dead NFS client's locks this long (a Linux server's
// lease).
constexpr seconds nfs_lease{90};
constexpr std::chrono::minutes smb_dead_connection{15};
constexpr std::string_view success = "WUTally: work unit saved successfully on ";

bool over_a_share(Reach reach) {
    return reach != Reach::server_disk && reach != Reach::windows_server_disk;
}

bool windows(Reach reach) {
    return reach == Reach::windows_smb || reach == Reach::windows_server_disk;
}

platform::ShareKind share_kind(Reach reach) {
    switch (reach) {
    case Reach::server_disk:
    case Reach::windows_server_disk:
        return platform::ShareKind::local;
    case Reach::smb:
    case Reach::windows_smb:
        return platform::ShareKind::smb;
    case Reach::nfs:
    case Reach::nfs_local_lock:
        break;
    }
    return platform::ShareKind::network;
}

// The time a run's own clocks tell.
class RunClock final : public platform::Clock {
  public:
    RunClock(World& world, Run& run) : world_(world), run_(run) {}

    TimePoint now() override {
        const Nanos since_boot = world_.now() - run_.machine->booted_at + own_;
        return TimePoint(std::chrono::duration_cast<TimePoint::duration>(since_boot));
    }
    void sleep_for(milliseconds duration) override {
        if (run_.dead) {
            own_ += duration; // a process that unwinds after its end waits for nobody
            return;
        }
        world_.sleep(run_, duration);
    }
    std::chrono::system_clock::time_point wall_now() override {
        return std::chrono::system_clock::time_point(
            std::chrono::duration_cast<std::chrono::system_clock::duration>(
                epoch + world_.now() + run_.machine->setup.wall_offset + own_));
    }

  private:
    World& world_;
    Run& run_;
    Nanos own_{0};
};

std::string header_line() {
    return log::header_row();
}

} // namespace

bool Run::saved() const {
    return output.find(success) != std::string::npos;
}

bool Verdict::lost_to_a_late_holder() const {
    return !violations.empty() && longest_fence_gap >= log::stale_lock_age;
}

World::World(std::uint64_t seed)
    : random_(seed),
      store_(std::make_shared<fake::FakeStore>([this] { return epoch + server_time(); })),
      share_view_(std::make_unique<fake::FakeFileSystem>(store_, fake::ViewOptions{})) {
    share_view_->put_directory("/share");
}

World::~World() = default;

Machine& World::add_machine(const MachineSetup& setup) {
    auto machine = std::make_unique<Machine>();
    machine->setup = setup;
    machine->boot = setup.host + "-boot-" + std::to_string(machines_.size());
    machine->booted_at = now_ - setup.uptime;
    machines_.push_back(std::move(machine));
    return *machines_.back();
}

Run& World::add_run(Machine& machine, const std::string& unit, Nanos start_at) {
    auto run = std::make_unique<Run>();
    run->world = this;
    run->machine = &machine;
    run->unit = unit;
    run->start_at = start_at;
    const auto number = static_cast<std::size_t>(
        std::find_if(machines_.begin(), machines_.end(),
                     [&](const auto& each) { return each.get() == &machine; }) -
        machines_.begin());
    run->label = "m";
    run->label.append(std::to_string(number + 1))
        .append("r")
        .append(std::to_string(machine.runs.size()));
    const std::string client = "/clients/" + run->label;
    if (!share_view_->exists("/clients")) {
        share_view_->put_directory("/clients");
    }
    share_view_->put_directory(client);
    // Every key found, so that a run prints only its outcome.
    std::map<log::Source, std::string> texts;
    for (const log::ColumnList* list : log::column_lists) {
        for (const std::string_view key : list->keys) {
            texts[list->source] += std::string(key) + "=" + (key == "name" ? "" : "1") + "\n";
        }
    }
    texts[log::Source::result] = "name=" + unit + "\n" + texts[log::Source::result];
    texts[log::Source::user_info] = "name=tester\n" + texts[log::Source::user_info];
    share_view_->put_file(client + "/state.txt", texts[log::Source::state]);
    share_view_->put_file(client + "/result.txt", texts[log::Source::result]);
    share_view_->put_file(client + "/user_info.txt", texts[log::Source::user_info]);
    machine.runs.push_back(run.get());
    runs_.push_back(std::move(run));
    return *runs_.back();
}

std::string World::put_lease(const platform::ProcessIdentity& holder, const std::string& token,
                             Nanos age) {
    if (!share_view_->exists(lease_path())) {
        share_view_->put_directory(lease_path());
    }
    const std::string path = lease_path() + "/" + log::holder_name(log::holder_of(holder, token));
    share_view_->put_file(path, "");
    share_view_->age(lease_path(), std::chrono::duration_cast<seconds>(age));
    return path;
}

void World::put_journal(const platform::ProcessIdentity& holder, const std::string& token,
                        std::uint64_t start, const std::string& row) {
    const Nanos age = server_time() + epoch - share_view_->state_of(lease_path())->changed;
    share_view_->put_file(lease_path() + "/" + log::journal_name(token),
                          log::format_lock_record(holder, token) +
                              log::format_pending_row({start, row}));
    share_view_->age(lease_path(), std::chrono::duration_cast<seconds>(age));
}

void World::at_step(std::size_t step, Action action) {
    at_steps_.emplace(step, std::move(action));
}

void World::before(Run& run, fake::Operation operation, const std::string& holding, int nth,
                   Action action) {
    triggers_.push_back({&run, operation, holding, nth, 0, std::move(action)});
}

void World::after_time(Nanos at, Action action) {
    at_times_.emplace(at, std::move(action));
}

void World::note(const std::string& line) {
    if (trace != nullptr) {
        trace->push_back(std::to_string(std::chrono::duration<double>(now_).count()) + " " + line);
    }
}

Nanos World::latency(const Run& run) {
    std::uniform_int_distribution<std::int64_t> pick(0, 999);
    const std::int64_t draw = pick(random_);
    if (draw < 10 && slow_answers) {
        return milliseconds{20 + draw * 30}; // a slow answer now and then
    }
    return over_a_share(run.machine->setup.reach) ? std::chrono::microseconds{300 + draw * 3}
                                                  : std::chrono::microseconds{10 + draw / 5};
}

void World::start(Run& run) {
    Machine& machine = *run.machine;
    run.started = true;
    run.started_true = now_;
    run.ready_at = now_;
    if (!machine.powered) {
        run.finished = true; // its machine was off when it would have started
        run.dead = true;
        run.ended_true = now_;
        return;
    }
    run.pid = machine.next_pid++;
    const auto start_ticks =
        static_cast<std::uint64_t>((now_ - machine.booted_at).count() / 10000000);
    machine.processes[run.pid] = start_ticks;
    fake::ViewOptions options;
    options.share = share_kind(machine.setup.reach);
    options.lock_scope = machine.setup.reach == Reach::nfs_local_lock ||
                                 machine.setup.reach == Reach::smb ||
                                 machine.setup.reach == Reach::windows_smb
                             ? "machine:" + machine.setup.host + "/" + machine.boot
                             : "server";
    options.working_directory = "/clients/" + run.label;
    options.opens_exclusively = windows(machine.setup.reach);
    run.files = std::make_unique<fake::FakeFileSystem>(store_, options);
    run.files->before_operation = [this, &run](const fake::FailedOperation& call) {
        before_call(run, call);
    };
    run.files->on_write = [this, &run](const std::string& path, std::uint64_t offset,
                                       std::string_view bytes, std::size_t stored) {
        if (path != log_path()) {
            return;
        }
        std::string_view row = bytes;
        if (offset == 0 && row.starts_with("\"date\"")) {
            row.remove_prefix(std::min(row.size(), row.find("\r\n")));
        }
        if (row.starts_with("\r\n")) {
            row.remove_prefix(2);
        }
        run.rows.emplace_back(row);
        if (run.last_renewal) {
            run.longest_fence_gap = std::max(run.longest_fence_gap, now_ - *run.last_renewal);
        }
        note(run.label + " wrote " + std::to_string(stored) + " of " +
             std::to_string(bytes.size()) + " bytes at " + std::to_string(offset));
    };
    run.process = std::make_unique<fake::FakeMachine>(*run.files);
    run.process->me = {machine.setup.host, machine.setup.machine_id, machine.boot, run.pid,
                       start_ticks};
    run.process->token_prefix = "tk" + run.label + "-";
    run.process->process_table = [&machine](const platform::ProcessIdentity& process) {
        const auto found = machine.processes.find(process.pid);
        return found != machine.processes.end() && found->second == process.start
                   ? platform::ProcessState::running
                   : platform::ProcessState::ended;
    };
    run.process->machine_uptime = [this, &machine] { return now_ - machine.booted_at; };
    run.clock = std::make_unique<RunClock>(*this, run);
    run.coroutine = std::make_unique<Coroutine>([&run] {
        const std::vector<std::string_view> arguments{"/P", "/share"};
        run.status =
            run::run(arguments, {run.console, run.errors, *run.clock, *run.files, *run.process});
    });
    note(run.label + " starts, unit " + run.unit);
}

void World::finish(Run& run) {
    run.finished = true;
    if (!run.dead) {
        run.output = run.console.text();
        run.ended_true = now_;
        run.machine->processes.erase(run.pid);
        note(run.label + " ends: " + std::to_string(run.status) + " " + run.output);
    }
}

void World::resume(Run& run) {
    Run* const previous = current_;
    current_ = &run;
    run.coroutine->resume();
    current_ = previous;
    if (run.coroutine->done()) {
        finish(run);
    }
}

void World::before_call(Run& run, const fake::FailedOperation& call) {
    if (run.dead || run.in_handler) {
        return;
    }
    for (Trigger& trigger : triggers_) {
        const bool matches = trigger.holding.starts_with('=')
                                 ? call.path == trigger.holding.substr(1)
                                 : call.path.find(trigger.holding) != std::string::npos;
        if (trigger.run == &run && trigger.operation == call.operation && matches &&
            ++trigger.seen == trigger.nth) {
            calling_ = call.path;
            trigger.action(*this);
        }
    }
    ++steps_;
    const auto [first, last] = at_steps_.equal_range(steps_);
    for (auto action = first; action != last && !run.dead; ++action) {
        ++faults_;
        action->second(*this);
    }
    if (run.dead) {
        return;
    }
    run.ready_at = std::max(run.ready_at, now_) + latency(run);
    run.coroutine->yield();
    if (trace != nullptr && trace_calls) {
        constexpr std::array names{"open_read", "open_log", "create", "size", "read",  "write",
                                   "seek_end",  "truncate", "sync",   "lock", "state", "rename",
                                   "remove",    "mkdir",    "rmdir",  "list"};
        note(run.label + " " + names.at(static_cast<std::size_t>(call.operation)) + " " +
             call.path);
    }
    if (call.operation == fake::Operation::rename &&
        call.path.find("WUTally.csv.lock/h") != std::string::npos &&
        call.path.find("tk" + run.label + "-") != std::string::npos) {
        run.last_renewal = now_;
    }
    // A cut is a write as much as the row is.
    if (call.operation == fake::Operation::truncate && call.path == log_path() &&
        run.last_renewal) {
        run.longest_fence_gap = std::max(run.longest_fence_gap, now_ - *run.last_renewal);
    }
}

void World::sleep(Run& run, Nanos duration) {
    note(run.label + " sleeps " + std::to_string(std::chrono::duration<double>(duration).count()));
    run.ready_at = now_ + duration;
    run.coroutine->yield();
}

void World::end_from_outside(Run& run) {
    if (run.dead || run.finished) {
        return;
    }
    run.dead = true;
    run.output = run.console.text();
    run.ended_true = now_;
    run.files->end();
    run.machine->processes.erase(run.pid);
    note(run.label + " ended from outside");
}

void World::kill(Run& run) {
    note(run.label + " killed");
    end_from_outside(run);
}

void World::terminate(Run& run) {
    if (run.dead || run.finished || !run.started) {
        return;
    }
    if (run.process->deferred()) {
        note(run.label + " terminated once its success line is out");
        return; // it ends once it has said the row is saved
    }
    note(run.label + " terminated");
    run.in_handler = true;
    run.process->end_by_signal();
    run.in_handler = false;
    end_from_outside(run);
}

void World::power_off(Machine& machine) {
    if (!machine.powered) {
        return;
    }
    note(machine.setup.host + " powered off");
    machine.powered = false;
    for (Run* run : machine.runs) {
        if (run->started && !run->finished && !run->dead) {
            fake::FakeFileSystem* view = run->files.get();
            if (machine.setup.reach == Reach::nfs) {
                // The server keeps the dead client's locks until its lease
                // runs out.
                store_->keep_locks_of(view);
                after_time(now_ + nfs_lease, [this, view](World&) { store_->drop_locks_of(view); });
            }
            if (machine.setup.reach == Reach::smb || machine.setup.reach == Reach::windows_smb) {
                // An SMB server keeps a dead client's handles open until it
                // notices the connection is gone: with no keepalive, the
                // minutes its TCP takes to give up.
                store_->keep_handles_of(view);
                after_time(now_ + smb_dead_connection,
                           [this, view](World&) { store_->drop_handles_of(view); });
            }
            end_from_outside(*run);
        }
    }
}

void World::power_on(Machine& machine) {
    if (machine.powered) {
        return;
    }
    machine.powered = true;
    machine.boot += "+";
    machine.booted_at = now_;
    machine.processes.clear();
    note(machine.setup.host + " powered on");
}

void World::stall(Run& run, Nanos duration) {
    if (run.dead || run.finished) {
        return;
    }
    run.ready_at = std::max(run.ready_at, now_) + duration;
    run.stalled += duration;
    note(run.label + " stalled " + std::to_string(std::chrono::duration<double>(duration).count()) +
         " s");
}

void World::stall_share(Nanos duration) {
    note("share stalled");
    for (const auto& run : runs_) {
        if (run->started && !run->finished && over_a_share(run->machine->setup.reach)) {
            stall(*run, duration);
        }
    }
}

void World::step_server_clock(Nanos by) {
    server_offset_ += by;
    note("server clock stepped");
}

void World::fail_call(Run& run) {
    if (!run.dead && run.files) {
        run.files->fail_this_call();
        note(run.label + " call fails");
    }
}

void World::tear_write(Run& run, std::size_t kept, bool by_signal) {
    if (run.dead || !run.files) {
        return;
    }
    run.files->fail_this_call(kept);
    auto& observed = run.files->on_write;
    observed = [this, &run, by_signal,
                earlier = observed](const std::string& path, std::uint64_t offset,
                                    std::string_view bytes, std::size_t stored) {
        earlier(path, offset, bytes, stored);
        if (by_signal) {
            terminate(run);
        } else {
            kill(run); // the machine dies in the middle of the write
        }
    };
    note(run.label + " write torn");
}

Verdict World::run_to_end() {
    constexpr std::array reaches{"server disk",          "NFS",
                                 "NFS with local locks", "SMB",
                                 "Windows over SMB",     "Windows server disk"};
    for (const auto& machine : machines_) {
        note(machine->setup.host + " (" + machine->setup.machine_id + ", " + machine->boot +
             ") reaches the share by " +
             reaches.at(static_cast<std::size_t>(machine->setup.reach)));
    }
    bool swept = false;
    for (;;) {
        // Runs that were ended from outside unwind at once, doing nothing.
        for (const auto& run : runs_) {
            if (run->dead && run->started && !run->finished && run->coroutine) {
                resume(*run);
            }
        }
        while (!at_times_.empty() && at_times_.begin()->first <= now_) {
            const Action action = at_times_.begin()->second;
            at_times_.erase(at_times_.begin());
            action(*this);
        }
        std::vector<Run*> ready;
        std::optional<Nanos> next;
        for (const auto& run : runs_) {
            if (run->finished) {
                continue;
            }
            const Nanos due = run->started ? run->ready_at : run->start_at;
            if (due <= now_ + jitter_) {
                ready.push_back(run.get());
            } else {
                next = std::min(next.value_or(due), due);
            }
        }
        if (!at_times_.empty()) {
            next = std::min(next.value_or(at_times_.begin()->first), at_times_.begin()->first);
        }
        if (ready.empty()) {
            if (next) {
                now_ = *next;
                continue;
            }
            if (swept) {
                break;
            }
            // Long after the last run, one more on the server's disk: it must
            // save its row and leave the folder clean. Long after by the
            // share's clock too, which may have been set back: what dead runs
            // left is swept by its age on that clock.
            now_ += std::chrono::hours{1} + seconds{61} + std::max(Nanos{0}, -server_offset_);
            at_steps_.clear(); // no fault strikes it
            triggers_.clear();
            add_sweeper();
            swept = true;
            continue;
        }
        Run& run = *ready[std::uniform_int_distribution<std::size_t>(0, ready.size() - 1)(random_)];
        if (!run.started) {
            now_ = std::max(now_, run.start_at);
            start(run);
            if (run.finished) {
                continue;
            }
        }
        now_ = std::max(now_, run.ready_at);
        resume(run);
        if (now_ > std::chrono::hours{6}) {
            Verdict stuck;
            stuck.violations.push_back("the schedule did not end within six hours");
            return stuck;
        }
    }
    return check();
}

Run& World::add_sweeper() {
    Machine& sweeper =
        add_machine({"sweeper", "id-sweeper", Reach::server_disk, Nanos{0}, std::chrono::hours{1}});
    return add_run(sweeper, "unit.sweeper", now_);
}

Verdict World::check() {
    Verdict verdict;
    verdict.steps = steps_;
    verdict.faults = faults_;
    verdict.duration = now_;
    auto& problems = verdict.violations;
    const std::string log = share_view_->file_bytes(log_path()).value_or("");
    // Every row is one a run meant to write, whole, or one that was there.
    std::map<std::string, int> count;
    std::size_t at = log.find("\r\n");
    const std::string header = log.substr(0, at);
    if (!log.empty() && header != header_line() && !header.starts_with("\"date\"")) {
        problems.push_back("the log's first line is no header: " + header.substr(0, 40));
    }
    std::set<std::string> meant;
    for (const auto& run : runs_) {
        meant.insert(run->rows.begin(), run->rows.end());
    }
    std::map<std::string, int> units;
    while (at != std::string::npos) {
        const std::size_t next = log.find("\r\n", at + 2);
        const std::string row =
            log.substr(at + 2, next == std::string::npos ? std::string::npos : next - at - 2);
        at = next;
        if (row.empty()) {
            continue; // a log saved by a spreadsheet ends in a line break
        }
        ++count[row];
        const std::size_t name = row.find(",\"unit.");
        if (name != std::string::npos) {
            ++units[row.substr(name + 2, row.find('"', name + 2) - name - 2)];
        }
        if (!meant.contains(row) && !row.starts_with("\"2026.01.01")) {
            problems.push_back("a row no run wrote whole: " + row.substr(0, 60));
        }
    }
    for (const auto& [unit, times] : units) {
        if (times > 1) {
            problems.push_back(unit + " is logged " + std::to_string(times) + " times");
        }
    }
    for (const auto& run : runs_) {
        if (run->saved()) {
            const bool kept = std::any_of(run->rows.begin(), run->rows.end(),
                                          [&](auto& row) { return count[row] == 1; });
            if (!kept) {
                problems.push_back(run->label +
                                   " said its row was saved, and it is not in the log");
            }
        }
        verdict.longest_fence_gap = std::max(verdict.longest_fence_gap, run->longest_fence_gap);
    }
    // Bounds, and what is left once every run has ended: never excused.
    std::vector<std::string> others;
    for (const auto& run : runs_) {
        if (run->started && !run->dead && run->elapsed() > log::outer_wait_bound + seconds{5}) {
            others.push_back(run->label + " ran " +
                             std::to_string(std::chrono::duration<double>(run->elapsed()).count()) +
                             " s");
        }
    }
    const Run& sweeper = *runs_.back();
    if (sweeper.status != 0) {
        others.push_back("the last run could not log: " + sweeper.output + sweeper.errors.text());
    }
    for (const std::string& name : store_->children("/share")) {
        if (name != "WUTally.csv") {
            others.push_back("left in the folder: " + name);
        }
    }
    if (!others.empty()) {
        verdict.longest_fence_gap = Nanos{0}; // nothing excuses these
        problems.insert(problems.end(), others.begin(), others.end());
    }
    return verdict;
}

} // namespace wutally::sim
