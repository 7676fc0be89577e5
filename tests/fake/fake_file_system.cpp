#include "fake/fake_file_system.hpp"

#include <algorithm>
#include <cstdint>
#include <mutex>

namespace wutally::fake {

using platform::FileError;

// A lock on bytes of a file, seen by the locks of the same scope.
struct RangeLock {
    std::string scope;
    const platform::File* owner = nullptr; // none once its machine is gone
    const void* view = nullptr;
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
};

// A handle open on a file, as the server sees it: one for nobody else
// refuses every other open, and every open refuses it.
struct Handle {
    const platform::File* file = nullptr; // none once its machine is gone
    const void* view = nullptr;
    bool exclusive = false;
};

// A file or directory, whatever names it; open files keep it alive.
struct Node {
    std::string bytes;
    bool directory = false;
    std::uint64_t index = 0;
    std::chrono::nanoseconds changed{0};
    bool held_elsewhere = false; // another process has its lock
    std::vector<RangeLock> locks;
    std::vector<Handle> handles; // open on it
};

namespace {

// 2026-12-09 12:00:00 UTC.
constexpr std::chrono::seconds epoch_offset{1796817600};

std::string parent_of(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

class FakeFile final : public platform::File {
  public:
    FakeFile(FakeFileSystem& files, std::shared_ptr<Node> node, std::string path, bool exclusive)
        : files_(files), node_(std::move(node)), path_(std::move(path)) {
        node_->handles.push_back({this, &files_, exclusive});
    }
    ~FakeFile() override {
        const std::lock_guard guard(files_.store().mutex);
        std::erase_if(node_->locks, [&](const RangeLock& lock) { return lock.owner == this; });
        std::erase_if(node_->handles, [&](const Handle& handle) { return handle.file == this; });
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
        const auto written = write_at(position_, bytes);
        position_ += written ? bytes.size() : kept_of(bytes);
        return written;
    }

    [[nodiscard]] Result<void, FileError> write_at(std::uint64_t offset,
                                                   std::span<const char> bytes) const override {
        const bool failing = files_.fails(Operation::write, path_);
        if (failing && files_.ended()) {
            return FileError::failed;
        }
        const std::size_t count = failing ? kept_of(bytes) : bytes.size();
        std::string& stored = node_->bytes;
        const auto at = static_cast<std::size_t>(offset);
        stored.resize(std::max(stored.size(), at + count));
        std::copy_n(bytes.begin(), count, stored.begin() + static_cast<std::ptrdiff_t>(at));
        node_->changed = files_.now();
        if (files_.on_write) {
            files_.on_write(path_, offset, std::string_view(bytes.data(), bytes.size()), count);
        }
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
        cut(size);
        return {};
    }

    void cut(std::uint64_t size) const {
        node_->bytes.resize(static_cast<std::size_t>(size));
        node_->changed = files_.now();
    }

    [[nodiscard]] Result<void, FileError> sync() const override {
        if (files_.fails(Operation::sync, path_)) {
            return FileError::failed;
        }
        return {};
    }

    [[nodiscard]] Result<void, FileError> lock_range(std::uint64_t offset,
                                                     std::uint64_t length) const override {
        if (files_.fails(Operation::lock, path_)) {
            return FileError::failed;
        }
        const std::string& scope = files_.options().lock_scope;
        const bool taken = std::any_of(node_->locks.begin(), node_->locks.end(), [&](auto& lock) {
            return lock.owner != this && lock.scope == scope && lock.offset < offset + length &&
                   offset < lock.offset + lock.length;
        });
        if (node_->held_elsewhere || taken) {
            return FileError::held;
        }
        node_->locks.push_back({scope, this, &files_, offset, length});
        return {};
    }

    void unlock_range(std::uint64_t offset, std::uint64_t length) const override {
        std::erase_if(node_->locks, [&](const RangeLock& lock) {
            return lock.owner == this && lock.offset == offset && lock.length == length;
        });
    }

    [[nodiscard]] std::intptr_t native_handle() const override {
        return static_cast<std::intptr_t>(node_->index);
    }

  private:
    std::size_t kept_of(std::span<const char> bytes) const {
        return std::min(bytes.size(), files_.kept_of_failing_write().value_or(bytes.size() / 2));
    }

    FakeFileSystem& files_;
    std::shared_ptr<Node> node_;
    std::string path_;
    mutable std::size_t position_ = 0;
};

} // namespace

FakeStore::FakeStore(std::function<std::chrono::nanoseconds()> clock) : clock_(std::move(clock)) {}

std::shared_ptr<Node> FakeStore::node_at(const std::string& path) const {
    const auto found = names_.find(path);
    return found == names_.end() ? nullptr : found->second;
}

bool FakeStore::parent_exists(const std::string& path) const {
    const std::string parent = parent_of(path);
    if (parent.empty()) {
        return true;
    }
    const auto node = node_at(parent);
    return node && node->directory;
}

void FakeStore::touch_parent(const std::string& path) {
    if (const auto parent = node_at(parent_of(path))) {
        parent->changed = now();
    }
}

std::shared_ptr<Node> FakeStore::put(const std::string& path, std::string bytes, bool directory) {
    auto node = std::make_shared<Node>();
    node->bytes = std::move(bytes);
    node->directory = directory;
    node->index = ++next_index_;
    node->changed = now();
    names_[path] = node;
    touch_parent(path);
    return node;
}

void FakeStore::erase(const std::string& path) {
    names_.erase(path);
    touch_parent(path);
}

std::vector<std::string> FakeStore::children(const std::string& directory) const {
    std::vector<std::string> found;
    const std::string prefix = directory.empty() ? "" : directory + "/";
    for (auto at = names_.lower_bound(prefix); at != names_.end(); ++at) {
        if (!at->first.starts_with(prefix)) {
            break;
        }
        const std::string rest = at->first.substr(prefix.size());
        if (!rest.empty() && rest.find('/') == std::string::npos) {
            found.push_back(rest);
        }
    }
    return found;
}

void FakeStore::move(const std::string& from, const std::string& to) {
    const std::string prefix = from + "/";
    std::vector<std::pair<std::string, std::shared_ptr<Node>>> moved;
    for (auto at = names_.begin(); at != names_.end();) {
        if (at->first == from || at->first.starts_with(prefix)) {
            moved.emplace_back(to + at->first.substr(from.size()), at->second);
            at = names_.erase(at);
        } else {
            ++at;
        }
    }
    for (auto& [name, node] : moved) {
        names_[name] = std::move(node);
    }
    names_[to]->changed = now();
    touch_parent(from);
    touch_parent(to);
}

void FakeStore::keep_locks_of(const void* view) {
    for (auto& [name, node] : names_) {
        for (RangeLock& lock : node->locks) {
            if (lock.view == view) {
                lock.owner = nullptr;
            }
        }
    }
}

void FakeStore::drop_locks_of(const void* view) {
    for (auto& [name, node] : names_) {
        std::erase_if(node->locks, [&](const RangeLock& lock) { return lock.view == view; });
    }
}

void FakeStore::keep_handles_of(const void* view) {
    for (auto& [name, node] : names_) {
        for (Handle& handle : node->handles) {
            if (handle.view == view) {
                handle.file = nullptr;
            }
        }
    }
}

void FakeStore::drop_handles_of(const void* view) {
    for (auto& [name, node] : names_) {
        std::erase_if(node->handles, [&](const Handle& handle) { return handle.view == view; });
    }
}

std::vector<std::string> FakeStore::names() const {
    std::vector<std::string> all;
    for (const auto& [name, node] : names_) {
        all.push_back(name);
    }
    return all;
}

FakeFileSystem::FakeFileSystem(const FakeClock* clock)
    : store_(std::make_shared<FakeStore>([clock] {
          return epoch_offset +
                 (clock != nullptr ? clock->elapsed() : std::chrono::milliseconds{0});
      })) {}

FakeFileSystem::FakeFileSystem(std::shared_ptr<FakeStore> store, ViewOptions options)
    : store_(std::move(store)), options_(std::move(options)) {}

FakeFileSystem::~FakeFileSystem() = default;

std::string FakeFileSystem::full(const std::string& path) const {
    if (path.starts_with('/') || options_.working_directory.empty()) {
        return path;
    }
    return options_.working_directory + "/" + path;
}

void FakeFileSystem::put_file(const std::string& path, std::string bytes) {
    store_->put(full(path), std::move(bytes), false);
}

void FakeFileSystem::rewrite_file(const std::string& path, std::string bytes) {
    Node& node = *store_->node_at(full(path));
    node.bytes = std::move(bytes);
    node.changed = now();
}

void FakeFileSystem::put_directory(const std::string& path) {
    store_->put(full(path), {}, true);
}

void FakeFileSystem::hold(const std::string& path, bool held) {
    if (!exists(path)) {
        put_file(path, {});
    }
    store_->node_at(full(path))->held_elsewhere = held;
}

void FakeFileSystem::age(const std::string& path, std::chrono::seconds age) {
    store_->node_at(full(path))->changed = now() - age;
}

std::optional<std::string> FakeFileSystem::file_bytes(const std::string& path) const {
    const auto node = store_->node_at(full(path));
    if (!node || node->directory) {
        return std::nullopt;
    }
    return node->bytes;
}

bool FakeFileSystem::exists(const std::string& path) const {
    return store_->node_at(full(path)) != nullptr;
}

void FakeFileSystem::fail_operation(std::size_t nth) {
    failing_operation_ = nth == 0 ? 0 : operation_count_ + nth;
    failing_onward_ = false;
}

void FakeFileSystem::fail_operations_from(std::size_t nth) {
    fail_operation(nth);
    failing_onward_ = true;
}

void FakeFileSystem::fail_this_call(std::optional<std::size_t> kept) {
    fail_this_ = true;
    kept_ = kept;
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
    const std::lock_guard lock(store_->mutex);
    if ((reinterpret_cast<std::uintptr_t>(into) - offset) % 64 != 0) {
        ++reads_out_of_step_;
    }
}

bool FakeFileSystem::fails(Operation operation, const std::string& path) {
    const std::lock_guard lock(store_->mutex);
    if (ended_) {
        return true;
    }
    const FailedOperation call{operation, path};
    fail_this_ = false;
    kept_.reset();
    if (before_operation) {
        before_operation(call);
    }
    if (ended_) {
        return true;
    }
    ++operation_count_;
    done_.push_back(call);
    const bool failing = fail_this_ || (failing_operation_ != 0 &&
                                        (failing_onward_ ? operation_count_ >= failing_operation_
                                                         : operation_count_ == failing_operation_));
    if (failing && !failed_) {
        failed_ = call;
    }
    return failing;
}

platform::OpenResult FakeFileSystem::open(const std::string& given, Operation operation,
                                          bool create, bool exclusive,
                                          platform::LogSharing sharing) {
    if (fails(operation, given)) {
        return FileError::failed;
    }
    const std::lock_guard lock(store_->mutex);
    const std::string path = full(given);
    auto node = store_->node_at(path);
    if (node && exclusive) {
        return FileError::exists;
    }
    if (node && node->directory) {
        return FileError::is_directory;
    }
    const bool alone = sharing == platform::LogSharing::exclusive;
    const bool refused =
        node && std::any_of(node->handles.begin(), node->handles.end(),
                            [&](const Handle& handle) { return alone || handle.exclusive; });
    if (refused) {
        return FileError::held; // a sharing violation
    }
    if (!node) {
        if (!create || !store_->parent_exists(path)) {
            return FileError::not_found;
        }
        node = store_->put(path, {}, false);
    }
    return std::unique_ptr<platform::File>(std::make_unique<FakeFile>(*this, node, given, alone));
}

platform::OpenResult FakeFileSystem::open_read(const std::string& path) {
    return open(path, Operation::open_read, false, false, platform::LogSharing::shared);
}

platform::OpenResult FakeFileSystem::open_stream(const std::string& path) {
    return open_read(path);
}

platform::OpenResult FakeFileSystem::standard_input() {
    return FileError::unsupported;
}

platform::OpenResult FakeFileSystem::create_new(const std::string& path,
                                                platform::Readers /*readers*/) {
    return open(path, Operation::create, true, true, platform::LogSharing::shared);
}

platform::OpenResult FakeFileSystem::open_write(const std::string& path) {
    return open(path, Operation::open_read, false, false, platform::LogSharing::shared);
}

platform::OpenResult FakeFileSystem::open_log(const std::string& path,
                                              platform::LogSharing sharing) {
    return open(path, Operation::open_log, true, false, sharing);
}

Result<void, FileError> FakeFileSystem::make_directory(const std::string& given) {
    if (fails(Operation::make_directory, given)) {
        return FileError::failed;
    }
    const std::string path = full(given);
    if (store_->node_at(path)) {
        return FileError::exists;
    }
    if (!store_->parent_exists(path)) {
        return FileError::not_found;
    }
    store_->put(path, {}, true);
    return {};
}

Result<void, FileError> FakeFileSystem::remove_directory(const std::string& given) {
    if (fails(Operation::remove_directory, given)) {
        return FileError::failed;
    }
    const std::string path = full(given);
    const auto node = store_->node_at(path);
    if (!node) {
        return FileError::not_found;
    }
    if (!node->directory) {
        return FileError::not_directory;
    }
    if (!store_->children(path).empty()) {
        return FileError::not_empty;
    }
    store_->erase(path);
    return {};
}

Result<std::vector<std::string>, FileError>
FakeFileSystem::list_directory(const std::string& given) {
    if (fails(Operation::list, given)) {
        return FileError::failed;
    }
    const std::string path = full(given);
    const auto node = store_->node_at(path);
    if (!node) {
        return FileError::not_found;
    }
    if (store_->deleting.contains(path)) {
        return FileError::held;
    }
    if (!node->directory) {
        return FileError::not_directory;
    }
    if (store_->forbidden.contains(path)) {
        return FileError::no_access;
    }
    return store_->children(path);
}

Result<platform::FileState, FileError> FakeFileSystem::state_of(const std::string& path) {
    if (fails(Operation::state, path)) {
        return FileError::failed;
    }
    const auto node = store_->node_at(full(path));
    if (!node) {
        return FileError::not_found;
    }
    if (store_->deleting.contains(full(path))) {
        return FileError::held;
    }
    return platform::FileState{{0, node->index},
                               node->bytes.size(),
                               node->directory ? platform::FileKind::directory
                                               : platform::FileKind::file,
                               node->changed};
}

// As POSIX renames: a file replaces a file, a directory only an empty
// directory.
Result<void, FileError> FakeFileSystem::rename(const std::string& given_from,
                                               const std::string& given_to) {
    if (fails(Operation::rename, given_from)) {
        return FileError::failed;
    }
    const std::string from = full(given_from);
    const std::string to = full(given_to);
    const auto node = store_->node_at(from);
    if (!node || !store_->parent_exists(to)) {
        return FileError::not_found;
    }
    if (store_->forbidden.contains(from)) {
        return FileError::no_access;
    }
    if (const auto there = store_->node_at(to); there && there != node) {
        if (there->directory && !node->directory) {
            return FileError::is_directory;
        }
        if (!there->directory && node->directory) {
            return FileError::not_directory;
        }
        if (there->directory && !store_->children(to).empty()) {
            return FileError::not_empty;
        }
        store_->erase(to);
    }
    if (from != to) {
        store_->move(from, to);
    }
    return {};
}

Result<void, FileError> FakeFileSystem::move_no_replace(const std::string& from,
                                                        const std::string& to) {
    if (store_->node_at(full(to))) {
        (void)fails(Operation::rename, from);
        return FileError::exists;
    }
    return rename(from, to);
}

Result<void, FileError> FakeFileSystem::remove(const std::string& given) {
    if (fails(Operation::remove, given)) {
        return FileError::failed;
    }
    const std::string path = full(given);
    const auto node = store_->node_at(path);
    if (!node) {
        return FileError::not_found;
    }
    if (node->directory) {
        return FileError::is_directory;
    }
    store_->erase(path);
    return {};
}

platform::ProcessState FakeMachine::state_of(const platform::ProcessIdentity& process) {
    if (process_table) {
        return process_table(process);
    }
    return running.contains(process.pid) ? platform::ProcessState::running
                                         : platform::ProcessState::ended;
}

std::string FakeMachine::random_token() {
    return token_prefix + std::to_string(me.pid) + "-" + std::to_string(++tokens_);
}

void FakeMachine::end_by_signal() {
    const bool cut =
        plan_.log == nullptr || (static_cast<const FakeFile*>(plan_.log)->cut(plan_.cut_to), true);
    if (cut && !plan_.journal.empty()) {
        (void)files_.remove(plan_.journal);
    }
    for (const std::string& file : plan_.files) {
        (void)files_.remove(file);
    }
    for (const std::string& directory : plan_.directories) {
        (void)files_.remove_directory(directory);
    }
    plan_ = {};
}

} // namespace wutally::fake
