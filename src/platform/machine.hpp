// This process and the machine it runs on: who holds a lock, whether a
// process that held one still runs, and what is cleaned up when a signal
// ends the run.
#pragma once

#include "platform/file_system.hpp"

#include <cstdint>
#include <string>
#include <string_view>

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

enum class ProcessState { running, ended, unknown };

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

    // Until release_on_termination: where SIGTERM, SIGINT or SIGHUP end the
    // run, the lock file at the path is removed if it still holds the
    // token, and SIGPIPE does not end it.
    virtual void remove_on_termination(const std::string& lock_path, std::string_view token) = 0;
    // While a row is written: such a signal first cuts the log back to the
    // size it had.
    virtual void cut_on_termination(const File& log, std::uint64_t size) = 0;
    virtual void written() = 0;
    virtual void release_on_termination() = 0;
};

// 64 bits drawn from the system's source of randomness, mixed with the time.
std::uint64_t random_word();
// 32 hex digits so drawn.
std::string draw_random_token();

} // namespace wutally::platform
