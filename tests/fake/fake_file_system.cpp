#include "fake/fake_file_system.hpp"

#include <algorithm>
#include <cstdint>
#include <mutex>

namespace wutally::fake {

using platform::FileError;

// A file or directory, whatever names it; open files keep it alive.
struct Node {
    std::string bytes;
    bool directory = false;
    std::uint64_t index = 0;
    std::chrono::nanoseconds changed{0};
    bool held_elsewhere = false; // another process has its lock
    const platform::File* locked_by = nullptr;
};

namespace {

// 2026-12-09 12:00:00 UTC.
constexpr std::chrono::seconds epoch_offset{1796817600};

std::mutex counting; // two threads of one check may read at once

class FakeFile final : public platform::File {
  public:
    FakeFile(FakeFileSystem& files, std::shared_ptr<Node> node, std::string path)
        : files_(files), node_(std::move(node)), path_(std::move(path)) {}
    ~FakeFile() override {
        if (node_->locked_by == this) {
            node_->locked_by = nullptr;
        }
    }
    FakeFile(const FakeFile&) = delete;
    FakeFile& operator=(const FakeFile&) = delete;

    [[nodiscard]] Result<std::uint64_t, FileError> size() const override {
        if (files_.fails(Operation::size, path_)) {
            return FileError::failed;
        }
        return std::uint64_t{node_->bytes.size()};
    }

    [[nodiscard]] Result<platform::FileIdentity, FileError> identity() const override {
        return platform::FileIdentity{0, node_->index};
    }

    [[nodiscard]] Result<std::size_t, FileError> read(std::span<char> buffer) const override {
        const auto count = read_at(position_, buffer);
        if (count) {
            position_ += *count;
        }
        return count;
    }

    [[nodiscard]] Result<std::size_t, FileError> read_at(std::uint64_t offset,
                                                         std::span<char> buffer) const override {
        if (files_.fails(Operation::read, path_)) {
            return FileError::failed;
        }
        files_.note_read(offset, buffer.data());
        const std::string& bytes = node_->bytes;
        const auto from = static_cast<std::size_t>(std::min<std::uint64_t>(offset, bytes.size()));
        const std::size_t count = std::min({buffer.size(), bytes.size() - from, largest_read});
        std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(from), count, buffer.begin());
        return count;
    }

    [[nodiscard]] Result<void, FileError> write_all(std::span<const char> bytes) const override {
        const bool failing = files_.fails(Operation::write, path_);
        const std::size_t count = failing ? bytes.size() / 2 : bytes.size();
        std::string& stored = node_->bytes;
        stored.resize(std::max(stored.size(), position_ + count));
        std::copy_n(bytes.begin(), count, stored.begin() + static_cast<std::ptrdiff_t>(position_));
        position_ += count;
        node_->changed = files_.now();
        if (failing) {
            return FileError::failed;
        }
        return {};
    }

    [[nodiscard]] Result<void, FileError> seek_end() const override {
        if (files_.fails(Operation::seek_end, path_)) {
            return FileError::failed;
        }
        position_ = node_->bytes.size();
        return {};
    }

    [[nodiscard]] Result<void, FileError> truncate(std::uint64_t size) const override {
        if (files_.fails(Operation::truncate, path_)) {
            return FileError::failed;
        }
        node_->bytes.resize(static_cast<std::size_t>(size));
        node_->changed = files_.now();
        return {};
    }

    [[nodiscard]] Result<void, FileError> sync() const override {
        if (files_.fails(Operation::sync, path_)) {
            return FileError::failed;
        }
        return {};
    }

    [[nodiscard]] Result<void, FileError> lock() const override {
        if (files_.fails(Operation::lock, path_)) {
            return FileError::failed;
        }
        if (node_->held_elsewhere || (node_->locked_by != nullptr && node_->locked_by != this)) {
            return FileError::held;
        }
        node_->locked_by = this;
        return {};
    }

    void unlock() const override {
        if (node_->locked_by == this) {
            node_->locked_by = nullptr;
        }
    }

    [[nodiscard]] std::intptr_t native_handle() const override {
        return static_cast<std::intptr_t>(node_->index);
    }

    [[nodiscard]] Node& node() const { return *node_; }

  private:
    FakeFileSystem& files_;
    std::shared_ptr<Node> node_;
    std::string path_;
    mutable std::size_t position_ = 0;
};

} // namespace

FakeFileSystem::FakeFileSystem(const FakeClock* clock) : clock_(clock) {}
FakeFileSystem::~FakeFileSystem() = default;

std::chrono::nanoseconds FakeFileSystem::now() const {
    return epoch_offset + (clock_ != nullptr ? clock_->elapsed() : std::chrono::milliseconds{0});
}

std::shared_ptr<Node> FakeFileSystem::node_at(const std::string& path) const {
    const auto found = names_.find(path);
    return found == names_.end() ? nullptr : found->second;
}

void FakeFileSystem::put_file(const std::string& path, std::string bytes) {
    names_[path] = std::make_shared<Node>(Node{std::move(bytes), false, ++next_index_, now()});
}

void FakeFileSystem::rewrite_file(const std::string& path, std::string bytes) {
    Node& node = *names_.at(path);
    node.bytes = std::move(bytes);
    node.changed = now();
}

void FakeFileSystem::put_directory(const std::string& path) {
    names_[path] = std::make_shared<Node>(Node{{}, true, ++next_index_, now()});
}

void FakeFileSystem::hold(const std::string& path, bool held) {
    if (!names_.contains(path)) {
        put_file(path, {});
    }
    names_.at(path)->held_elsewhere = held;
}

void FakeFileSystem::age(const std::string& path, std::chrono::seconds age) {
    names_.at(path)->changed = now() - age;
}

std::optional<std::string> FakeFileSystem::file_bytes(const std::string& path) const {
    const auto node = node_at(path);
    if (!node || node->directory) {
        return std::nullopt;
    }
    return node->bytes;
}

bool FakeFileSystem::exists(const std::string& path) const {
    return names_.contains(path);
}

std::vector<std::string> FakeFileSystem::names() const {
    std::vector<std::string> all;
    for (const auto& [name, node] : names_) {
        all.push_back(name);
    }
    return all;
}

void FakeFileSystem::fail_operation(std::size_t nth) {
    failing_operation_ = nth == 0 ? 0 : operation_count_ + nth;
    failing_onward_ = false;
}

void FakeFileSystem::fail_operations_from(std::size_t nth) {
    fail_operation(nth);
    failing_onward_ = true;
}

std::size_t FakeFileSystem::operations() const {
    return operation_count_;
}

std::optional<std::size_t> FakeFileSystem::first_operation(Operation operation,
                                                           const std::string& path) const {
    const auto found = std::find(done_.begin(), done_.end(), FailedOperation{operation, path});
    if (found == done_.end()) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(found - done_.begin()) + 1;
}

void FakeFileSystem::note_read(std::uint64_t offset, const char* into) {
    if ((reinterpret_cast<std::uintptr_t>(into) - offset) % 64 != 0) {
        ++reads_out_of_step_;
    }
}

bool FakeFileSystem::fails(Operation operation, const std::string& path) {
    const FailedOperation call{operation, path};
    if (before_operation) {
        before_operation(call);
    }
    const std::lock_guard lock(counting);
    ++operation_count_;
    done_.push_back(call);
    const bool failing =
        failing_operation_ != 0 && (failing_onward_ ? operation_count_ >= failing_operation_
                                                    : operation_count_ == failing_operation_);
    if (failing && !failed_) {
        failed_ = call;
    }
    return failing;
}

platform::OpenResult FakeFileSystem::open(const std::string& path, Operation operation, bool create,
                                          bool exclusive) {
    if (fails(operation, path)) {
        return FileError::failed;
    }
    auto node = node_at(path);
    if (node && exclusive) {
        return FileError::exists;
    }
    if (node && node->directory) {
        return FileError::is_directory;
    }
    if (!node) {
        const std::size_t slash = path.rfind('/');
        if (!create || (slash != std::string::npos && !names_.contains(path.substr(0, slash)))) {
            return FileError::not_found;
        }
        put_file(path, {});
        node = node_at(path);
    }
    return std::unique_ptr<platform::File>(std::make_unique<FakeFile>(*this, node, path));
}

platform::OpenResult FakeFileSystem::open_read(const std::string& path) {
    return open(path, Operation::open_read, false, false);
}

platform::OpenResult FakeFileSystem::open_stream(const std::string& path) {
    return open_read(path);
}

platform::OpenResult FakeFileSystem::standard_input() {
    return FileError::unsupported;
}

platform::OpenResult FakeFileSystem::create_new(const std::string& path) {
    return open(path, Operation::create, true, true);
}

platform::OpenResult FakeFileSystem::open_write(const std::string& path) {
    return open(path, Operation::open_read, false, false);
}

platform::OpenResult FakeFileSystem::open_log(const std::string& path) {
    return open(path, Operation::open_log, true, false);
}

Result<platform::FileState, FileError> FakeFileSystem::state_of(const std::string& path) {
    if (fails(Operation::state, path)) {
        return FileError::failed;
    }
    const auto node = node_at(path);
    if (!node) {
        return FileError::not_found;
    }
    return platform::FileState{{0, node->index},
                               node->bytes.size(),
                               node->directory ? platform::FileKind::directory
                                               : platform::FileKind::file,
                               node->changed};
}

Result<void, FileError> FakeFileSystem::rename(const std::string& from, const std::string& to) {
    if (fails(Operation::rename, from)) {
        return FileError::failed;
    }
    const auto node = node_at(from);
    if (!node) {
        return FileError::not_found;
    }
    names_.erase(from);
    names_[to] = node;
    node->changed = now();
    return {};
}

Result<void, FileError> FakeFileSystem::move_no_replace(const std::string& from,
                                                        const std::string& to) {
    if (names_.contains(to)) {
        (void)fails(Operation::rename, from);
        return FileError::exists;
    }
    return rename(from, to);
}

Result<void, FileError> FakeFileSystem::remove(const std::string& path) {
    if (fails(Operation::remove, path)) {
        return FileError::failed;
    }
    return names_.erase(path) == 1 ? Result<void, FileError>() : FileError::not_found;
}

platform::ProcessState FakeMachine::state_of(const platform::ProcessIdentity& process) {
    if (process.host != me.host || process.boot != me.boot) {
        return platform::ProcessState::unknown;
    }
    return running.contains(process.pid) ? platform::ProcessState::running
                                         : platform::ProcessState::ended;
}

std::string FakeMachine::random_token() {
    return "token-" + std::to_string(me.pid) + "-" + std::to_string(++tokens_);
}

void FakeMachine::remove_on_termination(const std::string& lock_path, std::string_view token) {
    armed_.emplace(lock_path, std::string(token));
}

void FakeMachine::cut_on_termination(const platform::File& log, std::uint64_t size) {
    cut_.emplace(&log, size);
}

void FakeMachine::end_by_signal() {
    if (cut_) {
        static_cast<const FakeFile*>(cut_->first)->node().bytes.resize(cut_->second);
    }
    if (armed_) {
        const auto text = files_.file_bytes(armed_->first);
        if (text && text->find("token=" + armed_->second + "\n") != std::string::npos) {
            (void)files_.remove(armed_->first);
        }
    }
    armed_.reset();
    cut_.reset();
}

} // namespace wutally::fake
