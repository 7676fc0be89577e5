// What keeps two runs from writing the log at once. A guard is taken
// without waiting, confirmed just before and just after the row is written,
// and released; the log's lock (log_lock) takes the guards chosen for the
// log's file system in order and does the waiting.
#pragma once

#include "platform/file_system.hpp"
#include "platform/machine.hpp"

#include <memory>
#include <string>

namespace wutally::log {

// The log as the guards have taken it: opened by the guard that opens it.
struct TakenLog {
    std::unique_ptr<platform::File> file;
};

// Whom a busy guard waits for, which sets how long the wait may last.
enum class WaitingOn {
    live_here,   // a run of this machine whose process still runs
    holder,      // a run elsewhere, or one that cannot be judged
    program,     // another program (or an earlier version's run) holds the log
    server,      // the share's server does not answer
    unremovable, // a lock that this run may not read, move or remove
};

struct Attempt {
    enum class Outcome { held, busy, again, failed };
    Outcome outcome = Outcome::held;
    WaitingOn waiting_on = WaitingOn::holder;
    // What the busy guard saw: while it stays the same, the wait counts
    // towards its bound.
    std::string sighting;
    platform::FileError error = platform::FileError::failed; // with failed

    static Attempt held() { return {}; }
    static Attempt again() { return {Outcome::again, WaitingOn::holder, {}, {}}; }
    static Attempt busy(WaitingOn on, std::string sighting) {
        return {Outcome::busy, on, std::move(sighting), {}};
    }
    static Attempt failed(platform::FileError error) {
        return {Outcome::failed, WaitingOn::holder, {}, error};
    }
};

enum class Holding { held, lost, unknown };

class Guard {
  public:
    Guard() = default;
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;
    virtual ~Guard() = default;

    // One try; a guard already held is held.
    virtual Attempt take(TakenLog& log) = 0;
    // Whether it is still held. Where this is the fence before the write,
    // it proves the hold by a call the file system decides alone.
    virtual Holding confirm(TakenLog& /*log*/) { return Holding::held; }
    virtual void release(TakenLog& log) = 0;
    // Adds what a signal that ends the run must undo of this guard.
    virtual void plan_cleanup(platform::TerminationPlan& /*plan*/) const {}
};

} // namespace wutally::log
