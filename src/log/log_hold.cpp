#include "log/log_hold.hpp"

#include <algorithm>
#include <array>

namespace wutally::log {

using platform::FileError;
using platform::FileState;
using TimePoint = platform::Clock::TimePoint;

// Everything a hold keeps, from the first attempt to its release.
struct HoldState {
    HoldState(const std::string& path, const HoldServices& services)
        : files(services.files), machine(services.machine), clock(services.clock),
          target(files.link_target(path)), lock_path(target + ".lock"),
          pending_path(target + ".pending"), share(files.share_of(target)),
          me(machine.this_process()), token(machine.random_token()),
          record(format_lock_record(me, token)) {}

    platform::FileSystem& files;
    platform::Machine& machine;
    platform::Clock& clock;
    // The log itself, wherever links lead: runs that reach it by other
    // paths make their lock file in the same place.
    std::string target;
    std::string lock_path;
    std::string pending_path;
    platform::ShareKind share;
    platform::ProcessIdentity me;
    std::string token;
    std::string record; // the lock file's bytes

    bool use_lock_file = true; // false in a directory where no file can be made
    bool lock_file_made = false;
    bool record_whole = false; // the lock file holds the whole record
    platform::FileIdentity lock_identity;
    TimePoint lock_file_made_at{};
    std::unique_ptr<platform::File> log;
    bool byte_locked = false;
    std::vector<BrokenLock> broken;
    std::vector<TakenBackRow> taken_back;
};

namespace {

// The largest lock or pending file read: a record and one row.
constexpr std::size_t largest_record = std::size_t{1} << 20;

Result<std::string, FileError> read_small_file(platform::FileSystem& files,
                                               const std::string& path) {
    auto file = files.open_read(path);
    if (!file) {
        return file.error();
    }
    std::string text;
    std::array<char, 4096> buffer{};
    while (text.size() < largest_record) {
        const auto count = (*file)->read(buffer);
        if (!count) {
            return count.error();
        }
        if (*count == 0) {
            break;
        }
        text.append(buffer.data(), *count);
    }
    return text;
}

// Makes a file that was not there, with the bytes in it; removes it again
// where they cannot all be written.
Result<void, FileError> make_file(platform::FileSystem& files, const std::string& path,
                                  std::string_view bytes, bool synced) {
    auto file = files.create_new(path);
    if (!file) {
        return file.error();
    }
    const bool written = (*file)->write_all(bytes) && (!synced || (*file)->sync());
    file->reset();
    if (!written) {
        (void)files.remove(path);
        return FileError::failed;
    }
    return {};
}

// A system without a boot identity cannot tell its own processes from
// those of another machine of the same name.
bool same_machine(const platform::ProcessIdentity& holder, const platform::ProcessIdentity& me) {
    return holder.host == me.host && !holder.boot.empty() && holder.boot == me.boot;
}

// Only a machine that keeps its identity across boots can tell that it was
// restarted; two machines may well share a host name.
bool restarted(const platform::ProcessIdentity& holder, const platform::ProcessIdentity& me) {
    return holder.host == me.host && !holder.machine.empty() && holder.machine == me.machine &&
           !holder.boot.empty() && !me.boot.empty() && holder.boot != me.boot;
}

// The bytes of the log from `start`, as many as there are up to `count`.
std::optional<std::string> read_back(const platform::File& log, std::uint64_t start,
                                     std::uint64_t count) {
    std::string bytes(static_cast<std::size_t>(count), '\0');
    std::size_t taken = 0;
    while (taken < bytes.size()) {
        const auto read = log.read_at(start + taken, std::span(bytes).subspan(taken));
        if (!read) {
            return std::nullopt;
        }
        if (*read == 0) {
            break;
        }
        taken += *read;
    }
    bytes.resize(taken);
    return bytes;
}

// Takes back what a run that did not finish had written of its row: only
// bytes that are the start of that row, and only where the row is not whole.
std::optional<std::uint64_t> take_back_row(const platform::File& log, const PendingRow& row) {
    const auto size = log.size();
    const std::uint64_t end = row.start + row.bytes.size();
    if (!size || *size <= row.start || *size >= end) {
        return std::nullopt; // nothing of it, or whole
    }
    const auto found = read_back(log, row.start, *size - row.start);
    if (!found || found->size() != *size - row.start ||
        !std::string_view(row.bytes).starts_with(*found) || !log.truncate(row.start) ||
        !log.sync()) {
        return std::nullopt;
    }
    return found->size();
}

// Cuts this run's own row back off the log, but only where nothing follows
// it.
void take_back_own_row(const platform::File& log, std::uint64_t start, std::string_view bytes) {
    const auto size = log.size();
    if (!size || *size != start + bytes.size()) {
        return;
    }
    if (const auto found = read_back(log, start, bytes.size()); found && *found == bytes) {
        (void)log.truncate(start);
        (void)log.sync();
    }
}

// What a waiting run saw of the log and its lock, to tell whether either
// changed while it waited.
struct Sight {
    std::optional<FileState> lock;
    std::optional<FileState> log;
    bool operator==(const Sight&) const = default;
};

enum class Attempt { held, busy, retry, failed };

// The lock file as last seen, and how old it was found to be.
struct SeenLock {
    FileState state;
    TimePoint first_seen{};
    std::optional<std::string> text; // once read
    std::optional<LockRecord> record;
    std::optional<std::chrono::nanoseconds> age; // by the share's clock, when measured
    TimePoint measured_at{};
};

class Taker {
  public:
    Taker(HoldState& hold, TimePoint deadline) : hold_(hold), deadline_(deadline) {}

    Result<void, HoldFailure> take();

  private:
    Attempt attempt();
    Result<void, FileError> make_lock_file();
    Attempt open_log();
    Attempt watch_lock();
    Attempt judge(SeenLock& seen);
    Attempt break_lock(const SeenLock& seen, StaleReason reason);
    std::optional<std::chrono::nanoseconds> age_of(SeenLock& seen);
    std::optional<std::chrono::nanoseconds> share_clock();
    Result<void, HoldFailure> take_back_pending_row();
    void drop_lock_file();
    [[nodiscard]] Sight sight() const;

    HoldState& hold_;
    TimePoint deadline_;
    std::optional<SeenLock> seen_;
    std::optional<FileState> lock_state_; // another run's lock file, as this attempt found it
    // The holder runs elsewhere, or cannot be told: a longer wait.
    bool elsewhere_ = false;
};

Result<void, HoldFailure> Taker::take() {
    std::chrono::milliseconds pause = first_wait_pause;
    TimePoint unchanged_since = hold_.clock.now();
    std::optional<Sight> last;
    int retries = 0;
    for (;;) {
        const Attempt result = attempt();
        if (result == Attempt::held) {
            return take_back_pending_row();
        }
        if (result == Attempt::failed) {
            return HoldFailure::cannot_open;
        }
        const TimePoint now = hold_.clock.now();
        // A log that grew or changed hands has seen a run finish: the log
        // is busy, not stuck, and the bound starts again.
        if (const Sight seen = sight(); seen != last) {
            last = seen;
            unchanged_since = now;
        }
        // Over a share even a holder on this machine waits on the server.
        const bool share = hold_.share != platform::ShareKind::local || elsewhere_;
        const TimePoint give_up =
            std::min(deadline_, unchanged_since + (share ? share_wait_bound : log_wait_bound));
        if (now >= give_up) {
            return HoldFailure::cannot_open;
        }
        if (result == Attempt::retry && ++retries < 3) {
            continue;
        }
        retries = 0;
        hold_.clock.sleep_for(
            std::min(pause, std::chrono::ceil<std::chrono::milliseconds>(give_up - now)));
        pause = std::min(pause * 2, share ? longest_share_wait_pause : longest_wait_pause);
    }
}

Sight Taker::sight() const {
    const auto log = hold_.files.state_of(hold_.target);
    return {lock_state_, log ? std::optional(*log) : std::nullopt};
}

// One try: the lock file first, so that while another run holds it the
// log is not opened at all (on an SMB share each open of the log makes the
// server recall the holder's lease, which slows the holder), then the log
// and its byte-range lock.
Attempt Taker::attempt() {
    elsewhere_ = false;
    lock_state_.reset();
    if (hold_.use_lock_file) {
        const auto made = make_lock_file();
        if (made) {
            hold_.lock_file_made = true;
            hold_.lock_file_made_at = hold_.clock.now();
        } else if (made.error() == FileError::exists) {
            return watch_lock();
        } else if (made.error() == FileError::unreachable ||
                   (hold_.share == platform::ShareKind::smb &&
                    (made.error() == FileError::no_access || made.error() == FileError::held))) {
            // A share's server that restarts, or an SMB server that still
            // deletes the last lock, is waited for as a holder is.
            elsewhere_ = true;
            return Attempt::busy;
        } else if (made.error() == FileError::no_access) {
            hold_.use_lock_file = false; // the byte-range lock alone keeps runs apart here
        } else {
            return Attempt::failed;
        }
    }
    return open_log();
}

// Made exclusively, the lock file is this run's whatever it holds: where
// the record cannot be written (a full disk), the file itself still keeps
// other runs out, and it is known by its identity instead.
Result<void, FileError> Taker::make_lock_file() {
    auto file = hold_.files.create_new(hold_.lock_path);
    if (!file) {
        return file.error();
    }
    hold_.record_whole = static_cast<bool>((*file)->write_all(hold_.record));
    const auto identity = (*file)->identity();
    hold_.lock_identity = identity ? *identity : platform::FileIdentity{};
    return {};
}

Attempt Taker::open_log() {
    auto log = hold_.files.open_log(hold_.target);
    if (!log) {
        drop_lock_file();
        elsewhere_ = hold_.share != platform::ShareKind::local;
        return log.error() == FileError::held ? Attempt::busy : Attempt::failed;
    }
    // Byte-range locks over SMB can be lost without a word; there the lock
    // file alone keeps runs apart.
    if (hold_.share != platform::ShareKind::smb) {
        const auto locked = (*log)->lock();
        if (!locked && (locked.error() == FileError::held || !hold_.use_lock_file)) {
            // Held by an earlier version's run, or by a dead NFS client
            // until its lease runs out; and with no lock file to keep runs
            // apart, a share that refuses locks is not written unguarded.
            drop_lock_file();
            elsewhere_ = hold_.share != platform::ShareKind::local;
            return locked.error() == FileError::held ? Attempt::busy : Attempt::failed;
        }
        hold_.byte_locked = locked.has_value();
    }
    hold_.log = std::move(*log);
    // A program that saves the log by writing a new file over it leaves a
    // run holding the old one.
    const auto named = hold_.files.state_of(hold_.target);
    const auto opened = hold_.log->identity();
    if (!named || !opened || named->identity != *opened) {
        if (hold_.byte_locked) {
            hold_.log->unlock();
            hold_.byte_locked = false;
        }
        hold_.log.reset();
        drop_lock_file();
        return Attempt::retry;
    }
    return Attempt::held;
}

void Taker::drop_lock_file() {
    if (hold_.lock_file_made) {
        (void)hold_.files.remove(hold_.lock_path);
        hold_.lock_file_made = false;
    }
}

// Another run's lock file stands: looks at it again where it changed, and
// breaks it where its holder is gone.
Attempt Taker::watch_lock() {
    const auto state = hold_.files.state_of(hold_.lock_path);
    if (!state) {
        elsewhere_ = hold_.share != platform::ShareKind::local;
        return state.error() == FileError::not_found ? Attempt::retry : Attempt::busy;
    }
    lock_state_ = *state;
    const TimePoint now = hold_.clock.now();
    if (!seen_ || seen_->state != *state) {
        seen_ = SeenLock{*state, now, std::nullopt, std::nullopt, std::nullopt, {}};
    }
    if (!seen_->text) {
        if (hold_.share == platform::ShareKind::smb &&
            now - seen_->first_seen < read_on_smb_after) {
            elsewhere_ = true;
            return Attempt::busy;
        }
        const auto text = read_small_file(hold_.files, hold_.lock_path);
        if (!text) {
            return text.error() == FileError::not_found ? Attempt::retry : Attempt::busy;
        }
        seen_->text = *text;
        seen_->record = parse_lock_record(*text);
    }
    return judge(*seen_);
}

Attempt Taker::judge(SeenLock& seen) {
    if (seen.record) {
        const platform::ProcessIdentity& holder = seen.record->holder;
        if (same_machine(holder, hold_.me)) {
            switch (hold_.machine.state_of(holder)) {
            case platform::ProcessState::ended:
                // A holder removes its lock before it ends: only a lock that
                // is still there once the process is seen ended is stale.
                if (const auto again = hold_.files.state_of(hold_.lock_path);
                    !again || *again != seen.state) {
                    return Attempt::retry;
                }
                return break_lock(seen, StaleReason::process_ended);
            case platform::ProcessState::running:
                return Attempt::busy; // the bound for a holder on this machine
            case platform::ProcessState::unknown:
                break;
            }
        } else if (restarted(holder, hold_.me)) {
            return break_lock(seen, StaleReason::machine_restarted);
        }
    }
    elsewhere_ = !seen.record || !same_machine(seen.record->holder, hold_.me);
    const auto age = age_of(seen);
    if (age && *age >= stale_lock_age) {
        return break_lock(seen, StaleReason::too_old);
    }
    return Attempt::busy;
}

// How old the lock file is by the clock of the machine that keeps it: that
// of a file just made beside it, against the lock file's. Measured when the
// lock is first seen, then reckoned on by this run's own clock, and
// measured again before it is called stale.
std::optional<std::chrono::nanoseconds> Taker::age_of(SeenLock& seen) {
    const TimePoint now = hold_.clock.now();
    if (!seen.age && now - seen.first_seen < measure_after) {
        return std::nullopt;
    }
    const bool estimate_stale = seen.age && *seen.age + (now - seen.measured_at) >= stale_lock_age;
    if (!seen.age || (estimate_stale && now != seen.measured_at)) {
        const auto clock = share_clock();
        if (!clock) {
            return std::nullopt;
        }
        seen.age = *clock - seen.state.changed;
        seen.measured_at = now;
    }
    return *seen.age + (now - seen.measured_at);
}

std::optional<std::chrono::nanoseconds> Taker::share_clock() {
    const std::string probe = hold_.lock_path + "." + hold_.token + ".now";
    if (!make_file(hold_.files, probe, {}, false)) {
        return std::nullopt;
    }
    const auto state = hold_.files.state_of(probe);
    (void)hold_.files.remove(probe);
    if (!state) {
        return std::nullopt;
    }
    return state->changed;
}

// Breaks a stale lock without a race: the lock file is moved to a name of
// this run's own, so that of several runs that found it stale only one
// moves it; where what was moved is not the lock judged stale (a fresh one
// taken in between), it is put back.
Attempt Taker::break_lock(const SeenLock& seen, StaleReason reason) {
    const std::string moved_path = hold_.lock_path + "." + hold_.token + ".stale";
    if (const auto moved = hold_.files.rename(hold_.lock_path, moved_path); !moved) {
        return moved.error() == FileError::not_found ? Attempt::retry : Attempt::busy;
    }
    const auto text = read_small_file(hold_.files, moved_path);
    const auto state = hold_.files.state_of(moved_path);
    if (!text || !state || *text != *seen.text || state->identity != seen.state.identity) {
        if (!hold_.files.move_no_replace(moved_path, hold_.lock_path)) {
            // Another lock was taken meanwhile; the moved one's holder
            // finds its lock gone before it writes.
            (void)hold_.files.remove(moved_path);
        }
        seen_.reset();
        return Attempt::retry;
    }
    (void)hold_.files.remove(moved_path);
    BrokenLock broken;
    if (seen.record) {
        broken.holder = seen.record->holder;
    }
    broken.made = seen.state.changed;
    broken.reason = reason;
    if (seen.age) {
        broken.age = std::chrono::floor<std::chrono::seconds>(*seen.age);
    }
    hold_.broken.push_back(std::move(broken));
    seen_.reset();
    return Attempt::retry;
}

// A pending row left by a run that held the log before this one and did not
// finish: the part of it that was written is taken back.
Result<void, HoldFailure> Taker::take_back_pending_row() {
    if (!hold_.use_lock_file) {
        return {};
    }
    const auto text = read_small_file(hold_.files, hold_.pending_path);
    if (!text) {
        return text.error() == FileError::not_found ? Result<void, HoldFailure>()
                                                    : HoldFailure::read_error;
    }
    const auto record = parse_lock_record(*text);
    // A record cut short was being written when its run ended, before its
    // row was begun.
    if (record && record->row) {
        if (const auto bytes = take_back_row(*hold_.log, *record->row)) {
            hold_.taken_back.push_back({record->holder, *bytes});
        }
    }
    if (!hold_.files.remove(hold_.pending_path)) {
        return HoldFailure::read_error;
    }
    return {};
}

enum class Holding { own, lost, unknown };

// Whether the lock file is still the one this run made: a run that was
// stopped for longer than a stale lock's age may find it broken. A read
// that fails is tried once more.
Holding holding(const HoldState& hold) {
    if (!hold.use_lock_file) {
        return Holding::own;
    }
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (hold.record_whole) {
            const auto text = read_small_file(hold.files, hold.lock_path);
            if (text) {
                return *text == hold.record ? Holding::own : Holding::lost;
            }
            if (text.error() == FileError::not_found) {
                return Holding::lost;
            }
        } else {
            const auto state = hold.files.state_of(hold.lock_path);
            if (state) {
                return state->identity == hold.lock_identity ? Holding::own : Holding::lost;
            }
            if (state.error() == FileError::not_found) {
                return Holding::lost;
            }
        }
    }
    return Holding::unknown;
}

} // namespace

Result<LogHold, HoldFailure> LogHold::take(const std::string& path, const HoldServices& services,
                                           TimePoint deadline) {
    auto state = std::make_unique<HoldState>(path, services);
    state->machine.remove_on_termination(state->lock_path, state->token);
    LogHold hold(std::move(state));
    Taker taker(*hold.state_, deadline);
    if (const auto taken = taker.take(); !taken) {
        return taken.error();
    }
    return hold;
}

LogHold::LogHold(std::unique_ptr<HoldState> state) : state_(std::move(state)) {}
LogHold::LogHold(LogHold&& other) noexcept = default;
LogHold& LogHold::operator=(LogHold&& other) noexcept {
    if (this != &other) {
        release_quietly();
        state_ = std::move(other.state_);
    }
    return *this;
}
LogHold::~LogHold() {
    release_quietly();
}

void LogHold::release_quietly() noexcept {
    try {
        release();
    } catch (...) { // NOLINT(bugprone-empty-catch): nothing is left to tell
        // Out of memory while reading the lock file back: it stays, and is
        // broken as stale by the next run.
        state_.reset();
    }
}

const platform::File& LogHold::log() const {
    return *state_->log;
}

const std::vector<BrokenLock>& LogHold::broken_locks() const {
    return state_->broken;
}

const std::vector<TakenBackRow>& LogHold::taken_back() const {
    return state_->taken_back;
}

Result<void, AppendFailure> LogHold::append(std::uint64_t size_before, std::string_view bytes) {
    HoldState& hold = *state_;
    const platform::File& log = *hold.log;
    if (hold.use_lock_file) {
        if (hold.clock.now() - hold.lock_file_made_at >= hold_bound ||
            holding(hold) != Holding::own) {
            return AppendFailure::lost;
        }
        const PendingRow row{size_before, std::string(bytes)};
        const auto pending =
            make_file(hold.files, hold.pending_path, hold.record + format_pending_row(row), true);
        if (!pending && pending.error() == FileError::exists) {
            return AppendFailure::lost; // another run holds the log and writes its row
        }
    }
    hold.machine.cut_on_termination(log, size_before);
    const bool written = log.seek_end() && log.write_all(bytes) && log.sync();
    bool cut_back = written;
    if (!written) {
        // There is nothing more to do if cutting back fails too; then the
        // pending row stays for the next run to take back.
        cut_back = log.truncate(size_before) && log.sync();
    }
    hold.machine.written();
    if (cut_back && hold.use_lock_file) {
        (void)hold.files.remove(hold.pending_path);
    }
    if (!written) {
        return AppendFailure::failed;
    }
    // The lock was this run's just before the write; only where it is seen
    // to be another's now was the run stopped in between. Where the log's
    // own lock is still held, no other run can have written meanwhile.
    if (!hold.byte_locked && holding(hold) == Holding::lost) {
        take_back_own_row(log, size_before, bytes);
        return AppendFailure::failed;
    }
    return {};
}

void LogHold::release() {
    if (!state_) {
        return;
    }
    HoldState& hold = *state_;
    if (hold.byte_locked) {
        hold.log->unlock();
        hold.byte_locked = false;
    }
    if (hold.lock_file_made) {
        // One that cannot be read is left to be broken as stale.
        if (holding(hold) == Holding::own) {
            (void)hold.files.remove(hold.lock_path);
        }
        hold.lock_file_made = false;
    }
    hold.log.reset();
    hold.machine.release_on_termination();
    state_.reset();
}

} // namespace wutally::log
