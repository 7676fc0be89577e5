#include "fake/fake_platform.hpp"

#include "platform/file.hpp"

#include <algorithm>
#include <map>
#include <mutex>
#include <vector>

namespace wutally {

namespace fake {
namespace {

struct Entry {
    std::string bytes;
    bool directory = false;
    bool held = false;            // by another run
    std::uint64_t generation = 0; // a new one for each file put under the name
    bool held_on_share = false;   // through a network share
};

struct OpenFile {
    std::string path;
    std::size_t position = 0;
};

struct State {
    std::map<std::string, Entry> entries;
    std::vector<OpenFile> open_files;
    std::size_t operation_count = 0;
    std::size_t failing_operation = 0;
    bool failing_onward = false;
    std::optional<FailedOperation> failed;
    std::vector<FailedOperation> done; // every operation, in order
    std::uint64_t generations = 0;
};

State& state() {
    static State instance;
    return instance;
}

// Counts the operation; true if it is the one that must fail. Two threads
// of one check may read at once.
bool fails(Operation operation, const std::string& path) {
    static std::mutex counting;
    const std::lock_guard lock(counting);
    State& current = state();
    ++current.operation_count;
    current.done.push_back({operation, path});
    const bool failing =
        current.failing_operation != 0 &&
        (current.failing_onward ? current.operation_count >= current.failing_operation
                                : current.operation_count == current.failing_operation);
    if (failing && !current.failed) {
        current.failed = FailedOperation{operation, path};
    }
    return failing;
}

OpenFile& open_file(std::intptr_t handle) {
    return state().open_files.at(static_cast<std::size_t>(handle));
}

Entry& entry_of(std::intptr_t handle) {
    return state().entries.at(open_file(handle).path);
}

} // namespace

void reset() {
    state() = State{};
}

void put_file(const std::string& path, std::string bytes) {
    state().entries[path] = Entry{std::move(bytes), false, false, ++state().generations};
}

void rewrite_file(const std::string& path, std::string bytes) {
    state().entries[path].bytes = std::move(bytes);
}

void put_directory(const std::string& path) {
    state().entries[path] = Entry{{}, true, false, ++state().generations};
}

void hold(const std::string& path, bool held, bool on_share) {
    state().entries[path].held = held;
    state().entries[path].held_on_share = on_share;
}

std::optional<std::string> file_bytes(const std::string& path) {
    const auto found = state().entries.find(path);
    if (found == state().entries.end() || found->second.directory) {
        return std::nullopt;
    }
    return found->second.bytes;
}

void fail_operation(std::size_t nth) {
    state().failing_operation = nth == 0 ? 0 : state().operation_count + nth;
}

void fail_operations_from(std::size_t nth) {
    fail_operation(nth);
    state().failing_onward = true;
}

std::size_t operations() {
    return state().operation_count;
}

std::optional<FailedOperation> failed_operation() {
    return state().failed;
}

std::optional<std::size_t> first_operation(Operation operation, const std::string& path) {
    const auto& done = state().done;
    const auto found = std::find_if(done.begin(), done.end(), [&](const FailedOperation& each) {
        return each.operation == operation && each.path == path;
    });
    if (found == done.end()) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(found - done.begin()) + 1;
}

} // namespace fake

namespace platform {

const char directory_separator = '/';

namespace {

std::intptr_t open_handle(const std::string& path) {
    fake::state().open_files.push_back({path, 0});
    return static_cast<std::intptr_t>(fake::state().open_files.size() - 1);
}

const std::string& path_of(std::intptr_t handle) {
    return fake::open_file(handle).path;
}

} // namespace

std::optional<File> File::open_shared_read(const std::string& path) {
    const auto found = fake::state().entries.find(path);
    if (fake::fails(fake::Operation::open_read, path) || found == fake::state().entries.end() ||
        found->second.directory) {
        return std::nullopt;
    }
    return File(open_handle(path));
}

std::optional<File> File::open_stream(const std::string& path) {
    return open_shared_read(path);
}

std::optional<File> File::standard_input() {
    return std::nullopt;
}

std::optional<File> File::create_new(const std::string& path) {
    if (fake::state().entries.contains(path)) {
        return std::nullopt;
    }
    fake::put_file(path, {});
    return File(open_handle(path));
}

bool replace_file(const std::string& from, const std::string& to) {
    auto& entries = fake::state().entries;
    const auto found = entries.find(from);
    if (found == entries.end()) {
        return false;
    }
    entries[to] = found->second;
    entries.erase(from);
    return true;
}

bool remove_file(const std::string& path) {
    return fake::state().entries.erase(path) == 1;
}

ExclusiveOpen File::open_exclusive(const std::string& path) {
    auto& entries = fake::state().entries;
    const auto found = entries.find(path);
    if (fake::fails(fake::Operation::open_exclusive, path) ||
        (found != entries.end() && found->second.directory)) {
        return OpenFailure::failed;
    }
    if (found != entries.end() && found->second.held) {
        return found->second.held_on_share ? OpenFailure::held_on_share : OpenFailure::held;
    }
    if (found == entries.end()) {
        entries[path].generation = ++fake::state().generations;
    }
    return File(open_handle(path));
}

std::optional<FileIdentity> File::identity() const {
    return FileIdentity{0, fake::entry_of(handle_).generation};
}

std::optional<FileState> state_of(const std::string& path) {
    const auto found = fake::state().entries.find(path);
    if (found == fake::state().entries.end()) {
        return std::nullopt;
    }
    return FileState{{0, found->second.generation}, found->second.bytes.size()};
}

void File::close() noexcept {
    handle_ = closed;
}

std::optional<std::uint64_t> File::size() const {
    if (fake::fails(fake::Operation::size, path_of(handle_))) {
        return std::nullopt;
    }
    return fake::entry_of(handle_).bytes.size();
}

std::optional<std::size_t> File::read(std::span<char> buffer) const {
    if (fake::fails(fake::Operation::read, path_of(handle_))) {
        return std::nullopt;
    }
    const std::string& bytes = fake::entry_of(handle_).bytes;
    std::size_t& position = fake::open_file(handle_).position;
    const std::size_t count = std::min(
        {buffer.size(), bytes.size() - std::min(position, bytes.size()), fake::largest_read});
    std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(position), count, buffer.begin());
    position += count;
    return count;
}

std::optional<std::size_t> File::read_at(std::uint64_t offset, std::span<char> buffer) const {
    if (fake::fails(fake::Operation::read, path_of(handle_))) {
        return std::nullopt;
    }
    const std::string& bytes = fake::entry_of(handle_).bytes;
    const std::size_t from =
        static_cast<std::size_t>(std::min<std::uint64_t>(offset, bytes.size()));
    const std::size_t count = std::min({buffer.size(), bytes.size() - from, fake::largest_read});
    std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(from), count, buffer.begin());
    return count;
}

bool File::write_all(std::span<const char> bytes) const {
    const bool failing = fake::fails(fake::Operation::write, path_of(handle_));
    const std::size_t count = failing ? bytes.size() / 2 : bytes.size();
    std::string& stored = fake::entry_of(handle_).bytes;
    std::size_t& position = fake::open_file(handle_).position;
    stored.resize(std::max(stored.size(), position + count));
    std::copy_n(bytes.begin(), count, stored.begin() + static_cast<std::ptrdiff_t>(position));
    position += count;
    return !failing;
}

bool File::seek_end() const {
    if (fake::fails(fake::Operation::seek_end, path_of(handle_))) {
        return false;
    }
    fake::open_file(handle_).position = fake::entry_of(handle_).bytes.size();
    return true;
}

bool File::truncate(std::uint64_t size) const {
    if (fake::fails(fake::Operation::truncate, path_of(handle_))) {
        return false;
    }
    fake::entry_of(handle_).bytes.resize(static_cast<std::size_t>(size));
    return true;
}

bool File::sync() const {
    return !fake::fails(fake::Operation::sync, path_of(handle_));
}

} // namespace platform
} // namespace wutally
