// An in-memory file layer that can make any single call fail, and a machine
// whose processes a test starts and ends: the program's own code runs over
// them in process, on a clock that moves only when the code sleeps.
//
// The files themselves (a FakeStore) may be shared by several views, one
// per simulated machine or run, each with its own idea of where the files
// lie, which of its byte-range locks the others see, and its own faults:
// as machines see one share.
#pragma once

#include "fake/fake_clock.hpp"
#include "platform/file_system.hpp"
#include "platform/machine.hpp"

#include <chrono>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace wutally::fake {

enum class Operation {
    open_read,
    open_log,
    create,
    size,
    read,
    write,
    seek_end,
    truncate,
    sync,
    lock,
    state,
    rename,
    remove,
    make_directory,
    remove_directory,
    list,
};

struct FailedOperation {
    Operation operation;
    std::string path;
    bool operator==(const FailedOperation&) const = default;
};

// The largest count a read returns, so that a log takes several reads.
inline constexpr std::size_t largest_read = 1000;

struct Node;

// The files and directories, by path; "/" separates, and a path without
// one lies in the root, which always exists.
class FakeStore {
  public:
    // Files change at the times this clock gives: the server's.
    explicit FakeStore(std::function<std::chrono::nanoseconds()> clock);
    [[nodiscard]] std::chrono::nanoseconds now() const { return clock_(); }
    void set_clock(std::function<std::chrono::nanoseconds()> clock) { clock_ = std::move(clock); }

    [[nodiscard]] std::shared_ptr<Node> node_at(const std::string& path) const;
    [[nodiscard]] bool parent_exists(const std::string& path) const;
    // Notes a change of the directory that holds the path.
    void touch_parent(const std::string& path);
    std::shared_ptr<Node> put(const std::string& path, std::string bytes, bool directory);
    void erase(const std::string& path);
    // The names directly in the directory.
    [[nodiscard]] std::vector<std::string> children(const std::string& directory) const;
    // Moves a name, and everything below it.
    void move(const std::string& from, const std::string& to);
    [[nodiscard]] std::vector<std::string> names() const;
    // The view's byte-range locks outlive its files, as a server keeps a
    // dead client's locks until its lease runs out; then they go.
    void keep_locks_of(const void* view);
    void drop_locks_of(const void* view);
    // So do its open handles, as an SMB server keeps a dead client's until
    // it notices the connection is gone.
    void keep_handles_of(const void* view);
    void drop_handles_of(const void* view);
    // Another user's, which this one may not list, rename or remove.
    std::set<std::string> forbidden;
    // Being deleted, as Windows keeps a name until its last handle closes:
    // listing it or asking after it is refused as held.
    std::set<std::string> deleting;
    // Held while a call counts itself, and while a file is opened or closed:
    // the report's two threads open and read files at once.
    std::recursive_mutex mutex;

  private:
    std::function<std::chrono::nanoseconds()> clock_;
    std::map<std::string, std::shared_ptr<Node>> names_;
    std::uint64_t next_index_ = 0;
};

// How one view sees the store.
struct ViewOptions {
    platform::ShareKind share = platform::ShareKind::local;
    // Byte-range locks conflict only with locks of the same scope: the
    // server's, or one machine's where its client keeps them to itself.
    std::string lock_scope = "server";
    // Relative paths are taken from here ("" for the root).
    std::string working_directory;
    // As Windows opens files: for nobody else where asked to.
    bool opens_exclusively = false;
};

class FakeFileSystem final : public platform::FileSystem {
  public:
    // A store of its own, whose files change at the times of the clock,
    // counted from a day in 2026; without one, time stands still.
    explicit FakeFileSystem(const FakeClock* clock = nullptr);
    FakeFileSystem(std::shared_ptr<FakeStore> store, ViewOptions options);
    ~FakeFileSystem() override;
    FakeFileSystem(const FakeFileSystem&) = delete;
    FakeFileSystem& operator=(const FakeFileSystem&) = delete;

    // A new file under the name, replacing any earlier one.
    void put_file(const std::string& path, std::string bytes);
    // New bytes in the same file, as another run appends to it or cuts it back.
    void rewrite_file(const std::string& path, std::string bytes);
    void put_directory(const std::string& path);
    // Another process holds the file's lock, or lets it go.
    void hold(const std::string& path, bool held = true);
    // The file last changed this long ago.
    void age(const std::string& path, std::chrono::seconds age);
    // Where every file lies.
    void set_share(platform::ShareKind share) { options_.share = share; }
    // The bytes of a file, or none if there is no such file.
    [[nodiscard]] std::optional<std::string> file_bytes(const std::string& path) const;
    [[nodiscard]] bool exists(const std::string& path) const;
    // Every name, for checking what a run left behind.
    [[nodiscard]] std::vector<std::string> names() const { return store_->names(); }
    [[nodiscard]] FakeStore& store() { return *store_; }

    // Makes the nth call from now (counting from 1) fail; 0 for none. A
    // failing write stores half of its bytes first, as a full disk may.
    void fail_operation(std::size_t nth);
    // Makes the nth call from now and every one after it fail.
    void fail_operations_from(std::size_t nth);
    // From a hook: the call about to be made fails; a write stores the
    // first `kept` of its bytes first, or half where none is given.
    void fail_this_call(std::optional<std::size_t> kept = std::nullopt);
    // Every call from now on fails and changes nothing: a process that has
    // ended, whose code still unwinds.
    void end() { ended_ = true; }
    [[nodiscard]] bool ended() const { return ended_; }
    [[nodiscard]] std::size_t operations() const;
    [[nodiscard]] const std::vector<FailedOperation>& done() const { return done_; }
    // The first call that failed.
    [[nodiscard]] std::optional<FailedOperation> failed_operation() const { return failed_; }
    // Which call, counting from 1, was the first of its kind on the path.
    [[nodiscard]] std::optional<std::size_t> first_operation(Operation operation,
                                                             const std::string& path) const;
    // Called before every call, with the call: what other runs do at that
    // moment.
    std::function<void(const FailedOperation&)> before_operation;
    // Called once a write has stored the first `stored` of its bytes.
    std::function<void(const std::string& path, std::uint64_t offset, std::string_view bytes,
                       std::size_t stored)>
        on_write;

    platform::OpenResult open_read(const std::string& path) override;
    platform::OpenResult open_stream(const std::string& path) override;
    platform::OpenResult standard_input() override;
    platform::OpenResult create_new(const std::string& path, platform::Readers readers) override;
    platform::OpenResult open_write(const std::string& path) override;
    platform::OpenResult open_log(const std::string& path, platform::LogSharing sharing) override;
    Result<void, platform::FileError> make_directory(const std::string& path) override;
    Result<void, platform::FileError> remove_directory(const std::string& path) override;
    Result<std::vector<std::string>, platform::FileError>
    list_directory(const std::string& path) override;
    std::string owner_of(const std::string& /*path*/) override { return "tester"; }
    Result<platform::FileState, platform::FileError> state_of(const std::string& path) override;
    Result<void, platform::FileError> rename(const std::string& from,
                                             const std::string& to) override;
    Result<void, platform::FileError> move_no_replace(const std::string& from,
                                                      const std::string& to) override;
    Result<void, platform::FileError> remove(const std::string& path) override;
    Result<std::string, platform::FileError> link_target(const std::string& path) override {
        return path;
    }
    Result<std::string, platform::FileError> canonical(const std::string& path) override {
        return path;
    }
    Result<std::string, platform::FileError> current_directory() override {
        return std::string("/");
    }
    Result<platform::ShareKind, platform::FileError>
    share_of(const std::string& /*path*/) override {
        return options_.share;
    }
    [[nodiscard]] bool opens_exclusively() const override { return options_.opens_exclusively; }

    // For the files it opens: counts the call, true if it must fail.
    bool fails(Operation operation, const std::string& path);
    // How much of a failing write is stored.
    [[nodiscard]] std::optional<std::size_t> kept_of_failing_write() const { return kept_; }
    // For the files it opens: notes where a read from the offset lands.
    void note_read(std::uint64_t offset, const char* into);
    // The reads that landed at another place in a 64-byte line than their
    // first byte has in the file, which a kernel may copy several times
    // slower.
    [[nodiscard]] std::size_t reads_out_of_step() const { return reads_out_of_step_; }
    [[nodiscard]] std::chrono::nanoseconds now() const { return store_->now(); }
    [[nodiscard]] const ViewOptions& options() const { return options_; }

  private:
    [[nodiscard]] std::string full(const std::string& path) const;
    platform::OpenResult open(const std::string& path, Operation operation, bool create,
                              bool exclusive, platform::LogSharing sharing);

    std::shared_ptr<FakeStore> store_;
    ViewOptions options_;
    std::size_t operation_count_ = 0;
    std::size_t failing_operation_ = 0;
    bool failing_onward_ = false;
    bool fail_this_ = false;
    std::optional<std::size_t> kept_;
    bool ended_ = false;
    std::optional<FailedOperation> failed_;
    std::vector<FailedOperation> done_;
    std::size_t reads_out_of_step_ = 0;
};

// This process is "here"/pid 100; others are started and ended by the test.
// A signal that ends the run is played by end_by_signal.
class FakeMachine final : public platform::Machine {
  public:
    explicit FakeMachine(FakeFileSystem& files) : files_(files) {}

    platform::ProcessIdentity me{"here", "machine-here", "boot-1", 100, 7};
    std::set<std::uint64_t> running{100};
    std::chrono::nanoseconds up{std::chrono::hours{5}};
    std::string token_prefix = "token-";
    // Where several processes share one machine: what its process table
    // says, and how long it has run.
    std::function<platform::ProcessState(const platform::ProcessIdentity&)> process_table;
    std::function<std::chrono::nanoseconds()> machine_uptime;

    platform::ProcessIdentity this_process() override { return me; }
    platform::ProcessState state_of(const platform::ProcessIdentity& process) override;
    std::string random_token() override;
    std::chrono::nanoseconds uptime() override { return machine_uptime ? machine_uptime() : up; }
    void on_termination(const platform::TerminationPlan& plan) override { plan_ = plan; }
    void defer_termination() override { deferred_ = true; }
    void allow_termination() override { deferred_ = false; }
    [[nodiscard]] bool deferred() const { return deferred_; }

    // What the signal handler of a real run would do if a signal came now.
    void end_by_signal();

  private:
    FakeFileSystem& files_;
    platform::TerminationPlan plan_;
    bool deferred_ = false;
    int tokens_ = 0;
};

} // namespace wutally::fake
