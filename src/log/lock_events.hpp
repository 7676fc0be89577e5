// What a run did about other runs while it took the log, for its caller to
// tell the user: the log's lock module itself prints nothing.
#pragma once

#include "log/row_journal.hpp"
#include "platform/machine.hpp"

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace wutally::log {

enum class StaleReason { process_ended, machine_restarted, too_old };

// A lock whose holder was found gone, and broken.
struct BrokenLock {
    std::optional<platform::ProcessIdentity> holder; // none where its lock named none
    // When its holder last renewed it, since the epoch, by the clock of the
    // machine that keeps the log.
    std::chrono::nanoseconds made{0};
    StaleReason reason = StaleReason::too_old;
    std::chrono::seconds age{0};
};

// A lock this run may not read, move or remove.
struct UnremovableLock {
    enum class What { read, move, remove };
    std::string path;
    std::string owner; // empty where it cannot be told
    What what = What::read;
};

struct LockEvents {
    std::vector<BrokenLock> broken;
    std::vector<TakenBackRow> taken_back;
    // Another machine has this machine's name and machine id: its locks
    // cannot be told from this machine's by process.
    bool namesake_seen = false;
    std::optional<UnremovableLock> unremovable;
};

} // namespace wutally::log
