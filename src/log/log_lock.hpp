// Holding the log, so that one run at a time appends to it, whether runs
// reach it on this machine's own disk, over NFS or over SMB. The guards are
// chosen once, from what the log's file system supports:
//
//   the lease (lock_directory)       wherever a directory can be made
//                                    beside the log;
//   the log opened for nobody else   on Windows, on the machine's own disk;
//   the byte-range lock              on POSIX systems, but not on SMB
//                                    shares, whose client may keep such
//                                    locks to itself under a lease; alone
//                                    where no lease can be made.
//
// A run waits while another holds the log, within bounds, and takes back
// the rows that runs which are gone left half-written.
#pragma once

#include "log/byte_range_lock.hpp"
#include "log/guard.hpp"
#include "log/holder_judgment.hpp"
#include "log/lock_directory.hpp"
#include "log/lock_events.hpp"
#include "log/log_opening.hpp"
#include "platform/clock.hpp"
#include "platform/result.hpp"

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace wutally::log {

// How long a run waits for a log that another holds while nothing it sees
// changes: another program (a spreadsheet) that holds the log on this
// machine's own disk; a run elsewhere, or any holder over a share, long
// enough for a stale lease to be broken and a dead NFS client's lease to
// run out (90 s on a Linux server). A live run of this machine is waited
// for while it lives. Whatever happens, never past the outer bound.
inline constexpr std::chrono::seconds program_wait_bound{10};
inline constexpr std::chrono::seconds share_wait_bound{120};
inline constexpr std::chrono::seconds outer_wait_bound{300};

// The pauses between tries grow from the first to the longest: a short
// hold costs little delay, a long one little polling. On a share, where
// every try is a request to its server, fewer tries leave the server free
// for the run that holds the log.
inline constexpr std::chrono::milliseconds first_wait_pause{1};
inline constexpr std::chrono::milliseconds longest_wait_pause{25};
inline constexpr std::chrono::milliseconds longest_share_wait_pause{200};

enum class TakeFailure {
    no_folder,       // the log's folder does not exist
    no_permission,   // the log, or its folder, may not be written
    held_too_long,   // held by another past the bounds
    recovery_failed, // a dead run's half-written row could not be taken back
    failed,          // anything else
};

class LogLock {
  public:
    LogLock(const LockServices& services, const std::string& path);
    ~LogLock();
    LogLock(const LogLock&) = delete;
    LogLock& operator=(const LogLock&) = delete;

    // Waits until this run holds the log, and has taken back what rows of
    // runs that are gone were left half-written, or gives up.
    Result<void, TakeFailure> take(platform::Clock::TimePoint deadline);
    // Whether this run still holds the log, proved where the file system
    // lets it be by a call only it decides: the fence.
    Holding confirm();
    void release();
    // Releases the log but leaves the lease for the next run to break: a
    // row this run could not take back stays in its journal beside it.
    void release_keeping_the_journal() {
        lease_.keep();
        release();
    }

    [[nodiscard]] const platform::File& log() const { return *taken_.file; }
    [[nodiscard]] const LockEvents& events() const { return events_; }
    // What tells this run's lease and journal from every other run's.
    [[nodiscard]] const std::string& token() const { return lease_.token(); }
    [[nodiscard]] const platform::ProcessIdentity& process() const { return lease_.process(); }
    // Where this run's row journal goes; none where no lease can be made.
    [[nodiscard]] std::optional<std::string> journal_path() const;
    // Tells the machine what a signal that ends the run must undo: the
    // guards, and the row being written (from `cut_to`) with its journal.
    void plan_cleanup(std::optional<std::uint64_t> cut_to, const std::string& journal);
    // The same, with the row as last planned.
    void plan_cleanup();

  private:
    Attempt attempt();
    Result<void, TakeFailure> fail(const Attempt& attempt);
    [[nodiscard]] std::chrono::seconds bound_for(WaitingOn waiting_on) const;
    void keep_lease_alive();

    LockServices services_;
    std::string path_; // the log itself, wherever links lead
    platform::ShareKind share_;
    LockEvents events_;
    LockDirectory lease_;
    LogOpening opening_;
    std::optional<ByteRangeLock> byte_range_;
    TakenLog taken_;
    bool held_ = false;
    platform::Clock::TimePoint lease_renewed_{};
    // The row being written, for the plan kept while the lease is renewed.
    std::optional<std::uint64_t> cut_to_;
    std::string journal_;
};

} // namespace wutally::log
