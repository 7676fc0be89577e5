// An in-memory file layer that can make any single call fail, and a machine
// whose processes a test starts and ends: the program's own code runs over
// them in process, on a clock that moves only when the code sleeps.
#pragma once

#include "fake/fake_clock.hpp"
#include "platform/file_system.hpp"
#include "platform/machine.hpp"

#include <chrono>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
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
};

struct FailedOperation {
    Operation operation;
    std::string path;
    bool operator==(const FailedOperation&) const = default;
};

// The largest count a read returns, so that a log takes several reads.
inline constexpr std::size_t largest_read = 1000;

struct Node;

class FakeFileSystem final : public platform::FileSystem {
  public:
    // Files change at the times of the clock, counted from a day in 2026;
    // without one, time stands still.
    explicit FakeFileSystem(const FakeClock* clock = nullptr);
    ~FakeFileSystem() override;

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
    void set_share(platform::ShareKind share) { share_ = share; }
    // The bytes of a file, or none if there is no such file.
    [[nodiscard]] std::optional<std::string> file_bytes(const std::string& path) const;
    [[nodiscard]] bool exists(const std::string& path) const;
    // Every name, for checking what a run left behind.
    [[nodiscard]] std::vector<std::string> names() const;

    // Makes the nth call from now (counting from 1) fail; 0 for none. A
    // failing write stores half of its bytes first, as a full disk may.
    void fail_operation(std::size_t nth);
    // Makes the nth call from now and every one after it fail.
    void fail_operations_from(std::size_t nth);
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

    platform::OpenResult open_read(const std::string& path) override;
    platform::OpenResult open_stream(const std::string& path) override;
    platform::OpenResult standard_input() override;
    platform::OpenResult create_new(const std::string& path) override;
    platform::OpenResult open_write(const std::string& path) override;
    platform::OpenResult open_log(const std::string& path) override;
    Result<platform::FileState, platform::FileError> state_of(const std::string& path) override;
    Result<void, platform::FileError> rename(const std::string& from,
                                             const std::string& to) override;
    Result<void, platform::FileError> move_no_replace(const std::string& from,
                                                      const std::string& to) override;
    Result<void, platform::FileError> remove(const std::string& path) override;
    std::string link_target(const std::string& path) override { return path; }
    std::string canonical(const std::string& path) override { return path; }
    std::string current_directory() override { return "/"; }
    platform::ShareKind share_of(const std::string& /*path*/) override { return share_; }

    // For the files it opens: counts the call, true if it must fail.
    bool fails(Operation operation, const std::string& path);
    // For the files it opens: notes where a read from the offset lands.
    void note_read(std::uint64_t offset, const char* into);
    // The reads that landed at another place in a 64-byte line than their
    // first byte has in the file, which a kernel may copy several times
    // slower.
    [[nodiscard]] std::size_t reads_out_of_step() const { return reads_out_of_step_; }
    [[nodiscard]] std::chrono::nanoseconds now() const;

  private:
    std::shared_ptr<Node> node_at(const std::string& path) const;
    platform::OpenResult open(const std::string& path, Operation operation, bool create,
                              bool exclusive);

    const FakeClock* clock_;
    platform::ShareKind share_ = platform::ShareKind::local;
    std::map<std::string, std::shared_ptr<Node>> names_;
    std::uint64_t next_index_ = 0;
    std::size_t operation_count_ = 0;
    std::size_t failing_operation_ = 0;
    bool failing_onward_ = false;
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

    platform::ProcessIdentity this_process() override { return me; }
    platform::ProcessState state_of(const platform::ProcessIdentity& process) override;
    std::string random_token() override;
    void remove_on_termination(const std::string& lock_path, std::string_view token) override;
    void cut_on_termination(const platform::File& log, std::uint64_t size) override;
    void written() override { cut_.reset(); }
    void release_on_termination() override { armed_.reset(); }

    // What the signal handler of a real run would do if a signal came now.
    void end_by_signal();

  private:
    FakeFileSystem& files_;
    int tokens_ = 0;
    std::optional<std::pair<std::string, std::string>> armed_; // lock path and token
    std::optional<std::pair<const platform::File*, std::uint64_t>> cut_;
};

} // namespace wutally::fake
