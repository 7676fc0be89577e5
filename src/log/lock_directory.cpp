#include "log/lock_directory.hpp"

#include "log/lock_record.hpp"
#include "log/share_clock.hpp"
#include "log/small_file.hpp"

namespace wutally::log {

using platform::FileError;

namespace {

std::string in(const std::string& directory, std::string_view name) {
    return directory + platform::directory_separator + std::string(name);
}

// A run of an earlier version on this machine and boot, whose process has
// ended.
bool earlier_run_ended(const std::optional<LockRecord>& record, const platform::ProcessIdentity& me,
                       platform::Machine& machine) {
    return record && !record->holder.boot.empty() && record->holder.boot == me.boot &&
           record->holder.host == me.host &&
           machine.state_of(record->holder) == platform::ProcessState::ended;
}

} // namespace

LockDirectory::LockDirectory(const LockServices& services, const std::string& log_path,
                             LockEvents& events)
    : services_(services), events_(events), log_(log_path), directory_(log_path + ".lock"),
      earlier_pending_(log_path + ".pending"), process_(services.machine.this_process()),
      me_(holder_of(process_, services.machine.random_token())),
      judgment_(services, me_, log_path + ".lock." + me_.token + ".now") {
    prepared_ = directory_ + "." + me_.token;
}

LockDirectory::~LockDirectory() {
    remove_prepared();
}

std::string LockDirectory::holder_path(std::uint64_t generation) const {
    Holder named = me_;
    named.generation = generation;
    return in(directory_, holder_name(named));
}

std::string LockDirectory::journal_path() const {
    return in(directory_, journal_name(me_.token));
}

Attempt LockDirectory::take(TakenLog& /*log*/) {
    if (held_ || unavailable_) {
        return Attempt::held();
    }
    const auto names = services_.files.list_directory(directory_);
    if (!names) {
        return look_at_entry(names.error());
    }
    std::optional<Holder> holder;
    journals_.clear();
    bool strange = false;
    for (const std::string& name : *names) {
        if (auto named = parse_holder_name(name)) {
            holder = std::move(named);
        } else if (is_journal_name(name)) {
            journals_.push_back(in(directory_, name));
        } else {
            strange = true;
        }
    }
    if (holder) {
        return take_from(*holder);
    }
    if (!journals_.empty()) {
        // Journals with no holder were made by runs that had already lost
        // the lease, and so never wrote their rows: a holder leaves none
        // behind that it has not dealt with.
        for (const std::string& journal : journals_) {
            (void)services_.files.remove(journal);
        }
        journals_.clear();
        return Attempt::again();
    }
    if (strange) {
        // Files of another program's: the lease is not this program's to
        // take over.
        return report_unremovable(UnremovableLock::What::remove, directory_);
    }
    // An empty lease is nobody's: on POSIX systems this run's own replaces
    // it; elsewhere it is removed first.
    Attempt taken = take_free();
    if (taken.outcome == Attempt::Outcome::again) {
        if (const auto removed = services_.files.remove_directory(directory_);
            !removed && removed.error() == FileError::no_access) {
            return report_unremovable(UnremovableLock::What::remove, directory_);
        }
    }
    return taken;
}

// The listing failed: there is no lease, or an earlier version's lock file
// stands in its place, or it may not be read.
Attempt LockDirectory::look_at_entry(FileError listing_error) {
    if (listing_error == FileError::no_access) {
        return report_unremovable(UnremovableLock::What::read, directory_);
    }
    const auto state = services_.files.state_of(directory_);
    if (!state) {
        switch (state.error()) {
        case FileError::not_found:
            return take_free();
        case FileError::unreachable:
            return Attempt::busy(WaitingOn::server, "unreachable");
        case FileError::held:
            return Attempt::busy(WaitingOn::holder, "being removed");
        default:
            return Attempt::failed(state.error());
        }
    }
    if (state->kind == platform::FileKind::file) {
        return judge_earlier_version(*state);
    }
    return Attempt::busy(WaitingOn::server, "unlisted");
}

// Renames this run's prepared directory into place: it succeeds only
// where no lease stands, or an empty one.
Attempt LockDirectory::take_free() {
    if (!prepared_made_) {
        // The directory and its holder file bear this run's own token, so
        // where they exist already, this run made them: a call sent again
        // after the share's server came back, which had carried it out.
        if (const auto made = services_.files.make_directory(prepared_);
            !made && made.error() != FileError::exists) {
            if (made.error() == FileError::no_access) {
                unavailable_ = true; // the byte-range lock alone keeps runs apart here
                return Attempt::held();
            }
            return made.error() == FileError::unreachable
                       ? Attempt::busy(WaitingOn::server, "unreachable")
                       : Attempt::failed(made.error());
        }
        prepared_made_ = true;
        prepared_generation_ = next_generation_++;
        Holder named = me_;
        named.generation = prepared_generation_;
        prepared_holder_ = in(prepared_, holder_name(named));
        if (auto file = services_.files.create_new(prepared_holder_);
            !file && file.error() != FileError::exists) {
            remove_prepared();
            return file.error() == FileError::unreachable
                       ? Attempt::busy(WaitingOn::server, "unreachable")
                       : Attempt::failed(file.error());
        }
    }
    const auto renamed = services_.files.rename(prepared_, directory_);
    if (renamed) {
        held_ = true;
        kept_ = false;
        prepared_made_ = false;
        me_.generation = prepared_generation_;
        return Attempt::held();
    }
    // Kept only for the moment of the rename, so that a run that dies
    // while it waits leaves nothing behind.
    remove_prepared();
    switch (renamed.error()) {
    case FileError::unreachable:
        return Attempt::busy(WaitingOn::server, "unreachable");
    case FileError::failed:
    case FileError::unsupported:
    case FileError::is_directory:
        return Attempt::failed(renamed.error());
    default:
        return Attempt::again(); // another run's lease stands there now
    }
}

// What runs that died in the moment they made their directory, or read
// the share's clock, left beside the log: removed where their process is
// known to have ended, or where it has stood for the stale age by the
// share's clock; a run that was only slow then makes its directory again.
void LockDirectory::sweep_litter() {
    const std::size_t slash = log_.find_last_of("/\\");
    const std::string folder = slash == std::string::npos ? "." : log_.substr(0, slash);
    const std::string prefix = directory_.substr(slash == std::string::npos ? 0 : slash + 1) + ".";
    const auto names = services_.files.list_directory(folder);
    if (!names) {
        return;
    }
    std::optional<std::chrono::nanoseconds> share_now;
    for (const std::string& name : *names) {
        const std::string path = slash == std::string::npos ? name : in(folder, name);
        if (!name.starts_with(prefix) || path == prepared_ ||
            name.find(me_.token) != std::string::npos) {
            continue;
        }
        const auto state = services_.files.state_of(path);
        if (!state) {
            continue;
        }
        std::optional<std::string> inside;
        bool ended = false;
        if (state->kind == platform::FileKind::directory) {
            const auto listed = services_.files.list_directory(path);
            if (listed && listed->size() == 1) {
                inside = in(path, listed->front());
                const auto holder = parse_holder_name(listed->front());
                ended = holder && same_boot(*holder, me_) &&
                        services_.machine.state_of(process_of(*holder)) ==
                            platform::ProcessState::ended;
            }
        }
        if (!ended) {
            if (!share_now) {
                const auto read =
                    share_time(services_.files, directory_ + "." + me_.token + ".now");
                if (!read) {
                    return;
                }
                share_now = *read;
            }
            if (*share_now - state->changed < stale_lock_age) {
                continue;
            }
        }
        if (state->kind == platform::FileKind::directory) {
            if (inside) {
                (void)services_.files.remove(*inside);
            }
            (void)services_.files.remove_directory(path);
        } else {
            (void)services_.files.remove(path);
        }
    }
}

Attempt LockDirectory::take_from(const Holder& holder) {
    if (holder.token == me_.token) {
        // This run's own: a renewal whose answer was lost on the way.
        held_ = true;
        me_.generation = holder.generation;
        return Attempt::held();
    }
    const auto verdict = judgment_.judge(holder, directory_);
    if (!verdict) {
        return verdict.error() == FileError::not_found ? Attempt::again()
                                                       : Attempt::busy(WaitingOn::server, "");
    }
    events_.namesake_seen = judgment_.namesake_seen();
    if (!verdict->stale) {
        return Attempt::busy(verdict->waiting_on, holder_name(holder));
    }
    const std::uint64_t generation = next_generation_++;
    const auto claimed =
        services_.files.rename(in(directory_, holder_name(holder)), holder_path(generation));
    if (!claimed) {
        switch (claimed.error()) {
        case FileError::not_found:
            return Attempt::again(); // renewed, released or broken meanwhile
        case FileError::no_access:
            return report_unremovable(UnremovableLock::What::move, directory_);
        default:
            return Attempt::busy(WaitingOn::server, holder_name(holder));
        }
    }
    held_ = true;
    kept_ = false;
    me_.generation = generation;
    events_.broken.push_back({process_of(holder), verdict->made, verdict->reason, verdict->age});
    return Attempt::held();
}

// An earlier version's lock file: broken at once where its process on this
// machine and boot has ended, otherwise once it has stood unchanged for
// the stale age by both clocks; moved aside and checked before it is
// removed, and put back where what was moved is not what was judged.
Attempt LockDirectory::judge_earlier_version(const platform::FileState& state) {
    const auto now = services_.clock.now();
    if (!earlier_ || earlier_->first != state) {
        earlier_.emplace(state, now);
    }
    const auto text = read_small_file(services_.files, directory_);
    const auto record = text ? parse_lock_record(*text) : std::nullopt;
    const auto& me = process_;
    StaleReason reason = StaleReason::process_ended;
    std::chrono::nanoseconds age{0};
    if (!earlier_run_ended(record, me, services_.machine)) {
        if (now - earlier_->second < stale_lock_age) {
            return Attempt::busy(WaitingOn::holder, "earlier version");
        }
        const auto share_now = share_time(services_.files, directory_ + "." + me_.token + ".now");
        if (!share_now || *share_now - state.changed < stale_lock_age) {
            return Attempt::busy(WaitingOn::holder, "earlier version");
        }
        reason = StaleReason::too_old;
        age = *share_now - state.changed;
    }
    const std::string moved = directory_ + "." + me_.token + ".stale";
    if (const auto renamed = services_.files.rename(directory_, moved); !renamed) {
        return renamed.error() == FileError::no_access
                   ? report_unremovable(UnremovableLock::What::move, directory_)
                   : Attempt::again();
    }
    const auto moved_state = services_.files.state_of(moved);
    if (!moved_state || moved_state->identity != state.identity) {
        if (!services_.files.move_no_replace(moved, directory_)) {
            (void)services_.files.remove(moved);
        }
        return Attempt::again();
    }
    (void)services_.files.remove(moved);
    earlier_.reset();
    events_.broken.push_back({record ? std::optional(record->holder) : std::nullopt, state.changed,
                              reason, std::chrono::floor<std::chrono::seconds>(age)});
    return Attempt::again();
}

Attempt LockDirectory::report_unremovable(UnremovableLock::What what, const std::string& path) {
    if (!events_.unremovable) {
        events_.unremovable = UnremovableLock{path, services_.files.owner_of(path), what};
    }
    return Attempt::busy(WaitingOn::unremovable, path);
}

Holding LockDirectory::confirm(TakenLog& /*log*/) {
    if (unavailable_) {
        return Holding::held;
    }
    if (!held_) {
        return Holding::lost;
    }
    const std::uint64_t generation = next_generation_++;
    const auto renewed =
        services_.files.rename(holder_path(me_.generation), holder_path(generation));
    if (renewed) {
        me_.generation = generation;
        return Holding::held;
    }
    if (renewed.error() == FileError::not_found) {
        held_ = false;
        return Holding::lost;
    }
    return Holding::unknown;
}

void LockDirectory::release(TakenLog& /*log*/) {
    // Journals of runs that are gone, not yet dealt with, keep the lease for
    // the next run to break and deal with them.
    if (!held_ || kept_ || !journals_.empty()) {
        held_ = false;
        return;
    }
    (void)services_.files.remove(holder_path(me_.generation));
    // A renewal whose answer was lost may have happened unseen.
    if (next_generation_ - 1 != me_.generation) {
        (void)services_.files.remove(holder_path(next_generation_ - 1));
    }
    (void)services_.files.remove_directory(directory_);
    held_ = false;
}

void LockDirectory::plan_cleanup(platform::TerminationPlan& plan) const {
    if (held_) {
        plan.files.push_back(holder_path(me_.generation));
        plan.files.push_back(holder_path(next_generation_));
        plan.directories.push_back(directory_);
    }
    if (prepared_made_) {
        plan.files.push_back(prepared_holder_);
        plan.directories.push_back(prepared_);
    }
}

void LockDirectory::remove_prepared() {
    if (prepared_made_) {
        (void)services_.files.remove(prepared_holder_);
        (void)services_.files.remove_directory(prepared_);
        prepared_made_ = false;
    }
}

Result<void, FileError> LockDirectory::recover(const platform::File& log) {
    std::vector<std::string> journals = journals_;
    journals.push_back(earlier_pending_);
    TakenLog unused;
    const Fence fence = [&] { return confirm(unused) == Holding::held; };
    for (const std::string& journal : journals) {
        const auto recovered = recover_row(services_.files, log, journal, fence);
        if (!recovered) {
            if (recovered.error() == FileError::not_found) {
                continue;
            }
            return recovered.error();
        }
        if (*recovered) {
            events_.taken_back.push_back(**recovered);
        }
    }
    journals_.clear();
    return {};
}

} // namespace wutally::log
