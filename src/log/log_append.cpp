#include "log/log_append.hpp"

#include "log/row_journal.hpp"

#include <chrono>

namespace wutally::log {

namespace {

constexpr std::uint64_t remembered_from = std::uint64_t{64} * 1024;

std::tm local_time(std::chrono::system_clock::time_point at) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(at);
    const std::tm* local = std::localtime(&seconds);
    return local != nullptr ? *local : std::tm{};
}

// The row and its date, made once for every try.
struct RowToWrite {
    std::tm time{};
    DataRow row;
};

// What this run's try on the held log comes to.
enum class Try { saved, refused, lost, read_error, write_error };

class Appender {
  public:
    Appender(const std::string& path, const ClientTexts& texts, const LockServices& services,
             Appended& result)
        : path_(path), texts_(texts), services_(services), result_(result), lock_(services, path) {}

    void run() {
        const auto deadline = services_.clock.now() + outer_wait_bound;
        // Reading the log before holding it keeps the hold short however
        // long the log is: under the hold, only what was appended since is
        // read.
        earlier_ = check_before_hold(services_.files, path_, texts_.result);
        for (;;) {
            if (const auto taken = lock_.take(deadline); !taken) {
                result_.outcome = taken.error() == TakeFailure::recovery_failed
                                      ? AppendOutcome::read_error
                                      : AppendOutcome::cannot_open;
                result_.why = taken.error();
                break;
            }
            const Try tried = try_held();
            if (tried != Try::lost) {
                result_.outcome = outcome_of(tried);
                break;
            }
            lock_.release();
            if (services_.clock.now() >= deadline) {
                result_.outcome = AppendOutcome::cannot_open;
                result_.why = TakeFailure::held_too_long;
                break;
            }
        }
        lock_.release();
        result_.events = lock_.events();
    }

  private:
    static AppendOutcome outcome_of(Try tried) {
        switch (tried) {
        case Try::saved:
            return AppendOutcome::saved;
        case Try::refused:
            return AppendOutcome::refused;
        case Try::read_error:
            return AppendOutcome::read_error;
        case Try::lost:
        case Try::write_error:
            break;
        }
        return AppendOutcome::write_error;
    }

    // One hold of the log, from the check to the confirmation.
    Try try_held() {
        const platform::File& log = lock_.log();
        const auto size = log.size();
        if (!size) {
            return Try::read_error;
        }
        std::string bytes;
        if (*size == 0) {
            bytes = header_row() + std::string(row_separator);
        } else {
            const auto check = check_under_hold(log, *size, texts_.result, earlier_);
            if (!check) {
                return Try::read_error;
            }
            if (check->outcome != CheckOutcome::not_logged) {
                result_.check = *check;
                return Try::refused;
            }
            // Should the hold be lost, the next one reads only what was
            // appended since; a short log is read again as fast.
            if (*size > remembered_from) {
                earlier_ = remember_check(log, *size, *check);
            }
            if (!check->ends_with_line_break) {
                bytes = row_separator;
            }
        }
        bytes += row().row.bytes;
        return write_row(PendingRow{*size, std::move(bytes)});
    }

    const RowToWrite& row() {
        if (!row_) {
            const std::tm time = local_time(services_.clock.wall_now());
            row_ = RowToWrite{time, data_row(texts_, time)};
            result_.missing = row_->row.missing;
            result_.time = time;
        }
        return *row_;
    }

    // Journal, fence, write, confirm: nothing but the write itself stands
    // between the fence and the write.
    Try write_row(const PendingRow& pending) {
        const platform::File& log = lock_.log();
        const std::string journal = lock_.journal_path().value_or(std::string());
        if (!journal.empty() &&
            !write_journal(services_.files, journal, lock_.process(), lock_.token(), pending)) {
            // A journal that cannot be made where the lease was: the lease
            // may have been broken while this run was away.
            return lock_.confirm() == Holding::lost ? Try::lost : Try::write_error;
        }
        if (lock_.confirm() != Holding::held) {
            remove_journal(journal);
            return Try::lost;
        }
        lock_.plan_cleanup(pending.start, journal);
        if (!(log.write_at(pending.start, pending.bytes) && log.sync())) {
            return take_back_failed_row(pending, journal);
        }
        if (lock_.confirm() != Holding::held) {
            // Held no longer, or not provably: another run may already write
            // behind this row, so it is left whole as it is.
            lock_.plan_cleanup(std::nullopt, {});
            remove_journal(journal);
            return Try::write_error;
        }
        // Saved: a signal from here on waits until the success line is out.
        services_.machine.defer_termination();
        lock_.plan_cleanup(std::nullopt, {});
        remove_journal(journal);
        return Try::saved;
    }

    // What a write that failed left of the row is taken back, fenced, and
    // only where it reads back as this run's own with nothing behind it.
    // Where that cannot be done while the hold is known, the journal stays
    // with the lease, for the next run to take the row back; where the
    // lease was broken, the run that broke it does so.
    Try take_back_failed_row(const PendingRow& pending, const std::string& journal) {
        Holding fence = Holding::held;
        const auto cut = take_back(lock_.log(), pending, true, [&] {
            fence = lock_.confirm();
            return fence == Holding::held;
        });
        lock_.plan_cleanup(std::nullopt, {});
        if (cut) {
            remove_journal(journal);
        } else if (fence != Holding::lost && !journal.empty()) {
            lock_.release_keeping_the_journal();
        }
        return Try::write_error;
    }

    void remove_journal(const std::string& journal) {
        if (!journal.empty()) {
            (void)services_.files.remove(journal);
        }
    }

    const std::string& path_;
    const ClientTexts& texts_;
    LockServices services_;
    Appended& result_;
    LogLock lock_;
    std::optional<EarlierCheck> earlier_;
    std::optional<RowToWrite> row_;
};

} // namespace

Appended append_work_unit(const std::string& path, const ClientTexts& texts,
                          const LockServices& services) {
    Appended result;
    Appender(path, texts, services, result).run();
    return result;
}

} // namespace wutally::log
