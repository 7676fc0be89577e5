// The lease on the log: a directory beside it, "WUTally.csv.lock", holding
// one file whose name is its holder (holder_name.hpp), and the holders'
// row journals. Every step is one call that the file system decides alone,
// and no step can undo another run's:
//
//   take     a directory made with this run's holder file in it, under a
//            name of this run's own, is renamed into place, which succeeds
//            only where no lock directory stands or an empty one does;
//   renew    the holder file is renamed to its next generation, which
//            succeeds only while it is still there: the fence before and
//            after the row is written;
//   break    a waiting run that judges the holder gone renames the holder
//            file to its own name, which succeeds for only one run, and
//            never touches a lock taken afresh, however late it comes;
//   release  the holder file is removed, then the directory if empty.
//
// A lock file left by an earlier version is judged by what it says and
// broken by its age.
#pragma once

#include "log/guard.hpp"
#include "log/holder_judgment.hpp"
#include "log/holder_name.hpp"
#include "log/lock_events.hpp"
#include "platform/result.hpp"

#include <optional>
#include <string>
#include <vector>

namespace wutally::log {

class LockDirectory final : public Guard {
  public:
    LockDirectory(const LockServices& services, const std::string& log_path, LockEvents& events);
    ~LockDirectory() override;
    LockDirectory(const LockDirectory&) = delete;
    LockDirectory& operator=(const LockDirectory&) = delete;

    Attempt take(TakenLog& log) override;
    Holding confirm(TakenLog& log) override;
    void release(TakenLog& log) override;
    void plan_cleanup(platform::TerminationPlan& plan) const override;

    // Takes back what rows of runs that are gone were left half-written:
    // the journals in the directory that are not this run's, and the
    // pending row of an earlier version, each cut fenced by a renewal. Each
    // journal stays until its row has been dealt with; `held` where the
    // lease was lost meanwhile.
    Result<void, platform::FileError> recover(const platform::File& log);

    [[nodiscard]] const std::string& token() const { return me_.token; }
    [[nodiscard]] const platform::ProcessIdentity& process() const { return process_; }
    // Removes what runs that are gone left beside the log.
    void sweep_litter();
    // Leaves the lease to be broken by the next run, as a dead run's: a
    // journal this run could not deal with stays beside it.
    void keep() { kept_ = true; }
    // Where this run's journal goes while it holds the lease.
    [[nodiscard]] std::string journal_path() const;
    // No lease can be made beside the log: the folder may not be written.
    [[nodiscard]] bool unavailable() const { return unavailable_; }

  private:
    Attempt take_free();
    Attempt take_from(const Holder& holder);
    Attempt look_at_entry(platform::FileError listing_error);
    Attempt judge_earlier_version(const platform::FileState& state);
    Attempt report_unremovable(UnremovableLock::What what, const std::string& path);
    void remove_prepared();
    [[nodiscard]] std::string holder_path(std::uint64_t generation) const;

    LockServices services_;
    LockEvents& events_;
    std::string log_;
    std::string directory_; // the lease
    std::string prepared_;  // this run's directory, renamed into place to take it
    std::string prepared_holder_;
    std::uint64_t prepared_generation_ = 0;
    std::string earlier_pending_;
    platform::ProcessIdentity process_;
    Holder me_;
    std::uint64_t next_generation_ = 0;
    bool held_ = false;
    bool kept_ = false;
    bool prepared_made_ = false;
    bool unavailable_ = false;
    std::vector<std::string> journals_; // others', seen when last looked
    HolderJudgment judgment_;
    // An earlier version's lock file as last seen, and since when.
    std::optional<std::pair<platform::FileState, platform::Clock::TimePoint>> earlier_;
};

} // namespace wutally::log
