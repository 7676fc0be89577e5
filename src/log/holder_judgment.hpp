// Judging whether the run that holds the log is gone. A holder is known gone
// at once only where it ran on this machine in this very boot and its
// process has ended; any other is taken for gone only once its lock has
// stood unchanged for the stale age both by the clock of the machine that
// keeps the log and by this run's own steady clock, so that neither a
// server's clock that is set nor one machine's clock alone can make a live
// lock look old. (A lock changed after now by the share's clock, which
// must have been set back, is judged by the steady clock alone: a live
// holder renews its lock before it writes, so a lock broken wrongly costs
// its holder a retake, never a row.)
#pragma once

#include "log/guard.hpp"
#include "log/holder_name.hpp"
#include "log/lock_events.hpp"
#include "platform/clock.hpp"
#include "platform/file_system.hpp"
#include "platform/machine.hpp"
#include "platform/result.hpp"

#include <chrono>
#include <optional>
#include <string>

namespace wutally::log {

// A lock that has stood unchanged this long belongs to a holder that is
// gone; a live holder renews its lock at every fence, so it is never
// taken for a dead one.
inline constexpr std::chrono::seconds stale_lock_age{60};

struct LockServices {
    platform::FileSystem& files;
    platform::Machine& machine;
    platform::Clock& clock;
};

struct Verdict {
    bool stale = false;
    WaitingOn waiting_on = WaitingOn::holder; // when not stale
    StaleReason reason = StaleReason::too_old;
    std::chrono::nanoseconds made{0}; // when stale
    std::chrono::seconds age{0};      // when stale by age
};

class HolderJudgment {
  public:
    // `probe` names a file this run may make and remove beside the log to
    // read the share's clock.
    HolderJudgment(const LockServices& services, Holder me, std::string probe);

    // The holder named in the lock directory at the path, whose last change
    // is the directory's; `again` where it is gone meanwhile.
    Result<Verdict, platform::FileError> judge(const Holder& holder, const std::string& lock);
    [[nodiscard]] bool namesake_seen() const { return namesake_seen_; }

  private:
    struct Watch {
        std::string name;
        platform::Clock::TimePoint since{};
        platform::Clock::TimePoint measure_at{};
        std::optional<bool> namesake; // of this machine, once told apart from a restart
    };

    [[nodiscard]] bool may_be_namesake(const Holder& holder) const;
    void tell_namesake(std::chrono::nanoseconds changed);

    LockServices services_;
    Holder me_;
    std::string probe_;
    std::optional<Watch> watch_;
    bool namesake_seen_ = false;
};

} // namespace wutally::log
