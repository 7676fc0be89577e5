#include "log/holder_judgment.hpp"

#include "log/share_clock.hpp"

namespace wutally::log {

HolderJudgment::HolderJudgment(const LockServices& services, Holder me, std::string probe)
    : services_(services), me_(std::move(me)), probe_(std::move(probe)) {}

Result<Verdict, platform::FileError> HolderJudgment::judge(const Holder& holder,
                                                           const std::string& lock_path) {
    std::optional<platform::FileState> state;
    const auto lock = [&]() -> Result<platform::FileState, platform::FileError> {
        if (!state) {
            auto read = services_.files.state_of(lock_path);
            if (!read) {
                return read.error();
            }
            state = *read;
        }
        return *state;
    };
    if (same_boot(holder, me_)) {
        switch (services_.machine.state_of(process_of(holder))) {
        case platform::ProcessState::ended: {
            const auto found = lock();
            if (!found) {
                return found.error();
            }
            return Verdict{true, WaitingOn::holder, StaleReason::process_ended, found->changed, {}};
        }
        case platform::ProcessState::running:
            return Verdict{false, WaitingOn::live_here, {}, {}, {}};
        case platform::ProcessState::unknown:
            break;
        }
    }
    const auto now = services_.clock.now();
    const std::string name = holder_name(holder);
    if (!watch_ || watch_->name != name) {
        watch_ = Watch{name, now, now + stale_lock_age, std::nullopt};
    }
    if (!watch_->namesake && may_be_namesake(holder)) {
        const auto found = lock();
        if (!found) {
            return found.error();
        }
        tell_namesake(found->changed);
    }
    if (now < watch_->measure_at) {
        return Verdict{};
    }
    const auto found = lock();
    if (!found) {
        return found.error();
    }
    const auto share_now = share_time(services_.files, probe_);
    if (!share_now) {
        return Verdict{};
    }
    auto age = *share_now - found->changed;
    if (age < std::chrono::nanoseconds{0}) {
        // Changed after now by the share's clock: that clock has been set
        // back since, and only this run's own watch tells the age.
        age = now - watch_->since;
    }
    if (age < stale_lock_age) {
        // The share's clock finds it younger than this run has watched it:
        // measured again once it would be old enough by that clock.
        watch_->measure_at =
            now + std::chrono::ceil<std::chrono::milliseconds>(stale_lock_age - age);
        return Verdict{};
    }
    const bool restart = may_be_namesake(holder) && !watch_->namesake.value_or(false);
    return Verdict{true, WaitingOn::holder,
                   restart ? StaleReason::machine_restarted : StaleReason::too_old, found->changed,
                   std::chrono::floor<std::chrono::seconds>(age)};
}

// Another boot of this machine's name and machine id.
bool HolderJudgment::may_be_namesake(const Holder& holder) const {
    return !me_.machine.empty() && holder.host == me_.host && holder.machine == me_.machine &&
           holder.boot != me_.boot;
}

// It is a restart only where its lock was made before this machine booted,
// by the share's clock; otherwise it is another machine that shares both,
// as machines made from one disk image do.
void HolderJudgment::tell_namesake(std::chrono::nanoseconds changed) {
    const auto share_now = share_time(services_.files, probe_);
    if (!share_now) {
        return;
    }
    // Read after the probe, so that a pause in between makes the boot look
    // earlier and the lock, if anything, a namesake's.
    const auto booted = *share_now - services_.machine.uptime();
    watch_->namesake = changed >= booted;
    namesake_seen_ = namesake_seen_ || *watch_->namesake;
}

} // namespace wutally::log
