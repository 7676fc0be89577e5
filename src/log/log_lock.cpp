#include "log/log_lock.hpp"

#include <algorithm>

namespace wutally::log {

using platform::FileError;
using TimePoint = platform::Clock::TimePoint;

namespace {

// A lease kept while the run waits for the log itself is renewed this
// often, so that waiting runs see it alive.
constexpr std::chrono::seconds lease_renewal{5};

TakeFailure failure_of(FileError error) {
    switch (error) {
    case FileError::not_found:
        return TakeFailure::no_folder;
    case FileError::no_access:
        return TakeFailure::no_permission;
    default:
        return TakeFailure::failed;
    }
}

// The log a path names through links: where a link cannot be followed, the
// path itself, whose opening then meets what stood in the way.
std::string log_behind_links(platform::FileSystem& files, const std::string& path) {
    auto target = files.link_target(path);
    return target ? *std::move(target) : path;
}

// Where a folder's kind cannot be told, it is taken for a share, whose
// bounds are the longer.
platform::ShareKind share_kind(platform::FileSystem& files, const std::string& path) {
    const auto share = files.share_of(path);
    return share ? *share : platform::ShareKind::network;
}

} // namespace

LogLock::LogLock(const LockServices& services, const std::string& path)
    : services_(services), path_(log_behind_links(services.files, path)),
      share_(share_kind(services.files, path_)), lease_(services, path_, events_),
      opening_(services.files, path_,
               services.files.opens_exclusively() && share_ == platform::ShareKind::local
                   ? platform::LogSharing::exclusive
                   : platform::LogSharing::shared) {
    if (!services.files.opens_exclusively() && share_ != platform::ShareKind::smb) {
        byte_range_.emplace();
    }
}

LogLock::~LogLock() {
    release();
}

// The guards in order, each kept while a later one is waited for: the
// lease first, so that while another run holds it the log is not opened at
// all (on an SMB share each open of the log makes the server recall the
// holder's lease, which slows the holder).
Attempt LogLock::attempt() {
    Attempt lease = lease_.take(taken_);
    if (lease.outcome != Attempt::Outcome::held) {
        return lease;
    }
    if (lease_.unavailable()) {
        // Without a lease, the log is never opened so that nothing keeps
        // other runs out.
        opening_.share(platform::LogSharing::exclusive);
    }
    if (Attempt opened = opening_.take(taken_); opened.outcome != Attempt::Outcome::held) {
        return opened;
    }
    if (byte_range_) {
        Attempt locked = byte_range_->take(taken_);
        const bool needed = lease_.unavailable() || locked.outcome != Attempt::Outcome::failed;
        if (locked.outcome != Attempt::Outcome::held && needed) {
            return locked;
        }
    } else if (lease_.unavailable() && !services_.files.opens_exclusively()) {
        return Attempt::failed(FileError::no_access); // nothing would keep runs apart
    }
    return Attempt::held();
}

std::chrono::seconds LogLock::bound_for(WaitingOn waiting_on) const {
    const bool local = share_ == platform::ShareKind::local;
    switch (waiting_on) {
    case WaitingOn::live_here:
        return outer_wait_bound;
    case WaitingOn::program:
    case WaitingOn::unremovable:
        return local ? program_wait_bound : share_wait_bound;
    case WaitingOn::holder:
    case WaitingOn::server:
        break;
    }
    return share_wait_bound;
}

Result<void, TakeFailure> LogLock::take(TimePoint deadline) {
    std::chrono::milliseconds pause = first_wait_pause;
    TimePoint unchanged_since = services_.clock.now();
    std::optional<std::string> last_seen;
    int quick_tries = 0;
    for (;;) {
        const Attempt tried = attempt();
        if (tried.outcome == Attempt::Outcome::held) {
            if (const auto recovered = lease_.recover(*taken_.file); !recovered) {
                if (recovered.error() == FileError::held) {
                    release(); // lost while it took a row back: taken again
                    continue;
                }
                lease_.keep();
                release();
                return TakeFailure::recovery_failed;
            }
            held_ = true;
            lease_renewed_ = services_.clock.now();
            plan_cleanup();
            if (!lease_.unavailable()) {
                lease_.sweep_litter();
            }
            return {};
        }
        if (tried.outcome == Attempt::Outcome::failed) {
            release();
            return failure_of(tried.error);
        }
        plan_cleanup();
        const TimePoint now = services_.clock.now();
        const bool quick = tried.outcome != Attempt::Outcome::busy;
        // What was seen changed: another run has come or gone, and the log
        // is busy, not stuck; the bound starts again.
        std::string seen = tried.sighting;
        if (tried.waiting_on == WaitingOn::program) {
            const auto state = services_.files.state_of(path_);
            seen += state ? std::to_string(state->size) + "/" +
                                std::to_string(state->changed.count()) + "/" +
                                std::to_string(state->identity.index)
                          : "-";
        }
        if (!quick && seen != last_seen) {
            last_seen = seen;
            unchanged_since = now;
        }
        const TimePoint give_up =
            std::min(deadline, quick ? deadline : unchanged_since + bound_for(tried.waiting_on));
        if (now >= give_up) {
            release();
            return TakeFailure::held_too_long;
        }
        if (quick && ++quick_tries < 3) {
            continue;
        }
        quick_tries = 0;
        keep_lease_alive();
        services_.clock.sleep_for(
            std::min(pause, std::chrono::ceil<std::chrono::milliseconds>(give_up - now)));
        const bool far =
            share_ != platform::ShareKind::local || tried.waiting_on != WaitingOn::live_here;
        pause = std::min(pause * 2, far ? longest_share_wait_pause : longest_wait_pause);
    }
}

// While this run holds the lease and waits for the log itself, others
// watching the lease must see it renewed.
void LogLock::keep_lease_alive() {
    if (services_.clock.now() - lease_renewed_ >= lease_renewal &&
        lease_.confirm(taken_) == Holding::held) {
        lease_renewed_ = services_.clock.now();
    }
}

Holding LogLock::confirm() {
    if (!held_) {
        return Holding::lost;
    }
    const Holding holding = lease_.confirm(taken_);
    if (holding != Holding::held) {
        // A run that no longer holds the log must not cut it.
        cut_to_.reset();
        journal_.clear();
    }
    plan_cleanup();
    return holding;
}

void LogLock::release() {
    if (byte_range_) {
        byte_range_->release(taken_);
    }
    opening_.release(taken_);
    lease_.release(taken_);
    held_ = false;
    cut_to_.reset();
    journal_.clear();
    services_.machine.on_termination({});
}

std::optional<std::string> LogLock::journal_path() const {
    if (lease_.unavailable()) {
        return std::nullopt;
    }
    return lease_.journal_path();
}

void LogLock::plan_cleanup(std::optional<std::uint64_t> cut_to, const std::string& journal) {
    cut_to_ = cut_to;
    journal_ = journal;
    plan_cleanup();
}

void LogLock::plan_cleanup() {
    platform::TerminationPlan plan;
    if (cut_to_ && taken_.file) {
        plan.log = taken_.file.get();
        plan.cut_to = *cut_to_;
    }
    plan.journal = journal_;
    lease_.plan_cleanup(plan);
    services_.machine.on_termination(plan);
}

} // namespace wutally::log
