// Holding the log, so that one run at a time appends to it, whether runs
// reach it on this machine's own disk, over NFS or over SMB.
//
// A run holds the log by making "WUTally.csv.lock" beside it, exclusively,
// naming itself in it, and, where byte-range locks are reliable (everywhere
// but on SMB shares), also by a write lock on the log. Before it writes its
// row it leaves where the row starts and its bytes in "WUTally.csv.pending",
// so that whoever holds the log next can take back a row that a dead run
// left half-written. A lock whose holder is gone is broken by a waiting run.
#pragma once

#include "log/lock_record.hpp"
#include "platform/clock.hpp"
#include "platform/file_system.hpp"
#include "platform/machine.hpp"

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace wutally::log {

// How long a run waits for a log that another run holds while neither the
// log nor its holder changes: where the holder runs on this machine, and
// where it runs elsewhere or the log lies on a network share, long enough
// for a stale lock to be broken and for a dead NFS client's lease to run out
// (90 s on a Linux server). A log that grows or changes hands is busy, not
// stuck, and the wait goes on, but never past the outer bound.
inline constexpr std::chrono::seconds log_wait_bound{10};
inline constexpr std::chrono::seconds share_wait_bound{120};
inline constexpr std::chrono::seconds outer_wait_bound{300};

// A lock file this much older than a file just made beside it, by the clock
// of the machine that keeps both, belongs to a holder that is gone.
inline constexpr std::chrono::seconds stale_lock_age{60};
// A holder writes only within this time of making its lock file, far from
// the age at which others would break it.
inline constexpr std::chrono::seconds hold_bound{20};
// A lock is measured only once it has been seen for this long: holds are
// short, and each measurement costs a share's server three requests.
inline constexpr std::chrono::seconds measure_after{5};
// On an SMB share a lock file is read only once it has stood this long:
// a file another machine has just written is cached there under a lease,
// which the server must recall for each machine that opens it, and the
// Linux client was seen to wait for ever on such an open.
inline constexpr std::chrono::seconds read_on_smb_after{2};

// The pauses between attempts while waiting grow from the first to the
// longest: a short hold costs little delay, a long one little polling. On a
// share, where every try is a request to its server, fewer tries leave the
// server free for the run that holds the log.
inline constexpr std::chrono::milliseconds first_wait_pause{1};
inline constexpr std::chrono::milliseconds longest_wait_pause{25};
inline constexpr std::chrono::milliseconds longest_share_wait_pause{200};

struct HoldServices {
    platform::FileSystem& files;
    platform::Machine& machine;
    platform::Clock& clock;
};

enum class StaleReason { process_ended, machine_restarted, too_old };

// A stale lock this run broke.
struct BrokenLock {
    std::optional<platform::ProcessIdentity> holder; // none where its file named none
    std::chrono::nanoseconds made{0}; // since the epoch, by the clock that keeps the file
    StaleReason reason = StaleReason::too_old;
    std::chrono::seconds age{0}; // with too_old
};

// The part of its row that a run which did not finish had written, taken
// back from the end of the log.
struct TakenBackRow {
    std::optional<platform::ProcessIdentity> holder;
    std::uint64_t bytes = 0;
};

enum class HoldFailure {
    cannot_open, // the log could not be had, at once or within the bounds
    read_error,  // the record of a dead run's row could not be read
};

enum class AppendFailure {
    lost,   // the hold was lost before anything was written: take it again
    failed, // writing failed, or the hold was lost while writing; the row is not in the log
};

struct HoldState;

class LogHold {
  public:
    // Waits until this run holds the log at the path, made if missing, and
    // has taken back any row a dead run left half-written; gives up once
    // the wait is bounded as above, or at the deadline.
    static Result<LogHold, HoldFailure> take(const std::string& path, const HoldServices& services,
                                             platform::Clock::TimePoint deadline);

    LogHold(LogHold&& other) noexcept;
    LogHold& operator=(LogHold&& other) noexcept;
    LogHold(const LogHold&) = delete;
    LogHold& operator=(const LogHold&) = delete;
    ~LogHold();

    [[nodiscard]] const platform::File& log() const;
    [[nodiscard]] const std::vector<BrokenLock>& broken_locks() const;
    [[nodiscard]] const std::vector<TakenBackRow>& taken_back() const;

    // Appends the bytes to the log, which holds `size_before` bytes, and
    // flushes them to the disk; checks first and after that the lock is
    // still this run's. On failure the log is cut back to `size_before`.
    Result<void, AppendFailure> append(std::uint64_t size_before, std::string_view bytes);

    // Lets the log go: removes the lock file if it is still this run's.
    void release();

  private:
    explicit LogHold(std::unique_ptr<HoldState> state);
    void release_quietly() noexcept;
    std::unique_ptr<HoldState> state_;
};

} // namespace wutally::log
