// This process and the machine it runs on: who holds a lock, whether a
// process that held one still runs, and what is cleaned up when a signal
// ends the run.
#pragma once

#include "platform/file_system.hpp"

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace wutally::platform {

// A process, told apart from every other on every machine: the machine's
// name; an identity that outlives reboots where the system keeps one (its
// machine id), none otherwise; one that is new on every boot, and differs
// between containers that share a kernel, where the system has one; the
// process id and when it started.
struct ProcessIdentity {
    std::string host;
    std::string machine;
    std::string boot;
    std::uint64_t pid = 0;
    std::uint64_t start = 0;
    bool operator==(const ProcessIdentity&) const = default;
};

// A process that has exited but is not yet reaped counts as ended.
enum class ProcessState { running, ended, unknown };

// What a signal (or, on Windows, a console event) that ends the run must
// undo, in this order: cut the log back to the size it had where the run
// was writing its row; then, only where there was nothing to cut or the
// cut succeeded, remove the journal, the files, and the directories where
// they are empty. A cut that fails leaves all of them, for the next run to
// take the row back.
struct TerminationPlan {
    const File* log = nullptr; // none: nothing to cut
    std::uint64_t cut_to = 0;
    std::string journal;
    std::vector<std::string> files;
    std::vector<std::string> directories;
};

class Machine {
  public:
    Machine() = default;
    Machine(const Machine&) = delete;
    Machine& operator=(const Machine&) = delete;
    virtual ~Machine() = default;

    virtual ProcessIdentity this_process() = 0;
    // Whether a process of this machine and boot still runs.
    virtual ProcessState state_of(const ProcessIdentity& process) = 0;
    // 32 hex digits no other run will draw.
    virtual std::string random_token() = 0;
    // How long the machine has run since it booted, suspended time included.
    virtual std::chrono::nanoseconds uptime() = 0;

    // From now on, a signal that ends the run carries out the plan before
    // the run ends as the signal would have; SIGPIPE does not end it. An
    // empty plan undoes nothing, and the signals end the run as before.
    virtual void on_termination(const TerminationPlan& plan) = 0;
    // Until allow_termination, a signal that would end the run waits: the
    // row is saved and its success line not yet printed.
    virtual void defer_termination() = 0;
    virtual void allow_termination() = 0;
};

// 64 bits drawn from the system's source of randomness, mixed with the time.
std::uint64_t random_word();
// 32 hex digits so drawn.
std::string draw_random_token();

} // namespace wutally::platform
