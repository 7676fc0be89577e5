// The thin file layer: the only place that talks to the operating system's
// file interface. One implementation per platform lives beside this header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <variant>

namespace wutally::platform {

class File;

// Why the log could not be opened: another run (or program) holds it, which
// is worth waiting for, on this machine or through a network share where
// every try costs the server a request, or anything else, which is not.
enum class OpenFailure { held, held_on_share, failed };

using ExclusiveOpen = std::variant<File, OpenFailure>;

// The separator the command line appends to a log directory.
extern const char directory_separator;

// Which file a name or a handle stands for: device and inode on POSIX, the
// volume serial number and file index on Windows.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t index = 0;
    bool operator==(const FileIdentity&) const = default;
};

// What a name shows of a file without opening it for reading or writing.
struct FileState {
    FileIdentity identity;
    std::uint64_t size = 0;
    bool operator==(const FileState&) const = default;
};

// None where the name stands for no file, or its state cannot be had.
std::optional<FileState> state_of(const std::string& path);

// Puts the file `from` in the place of `to`, replacing what `to` named, in
// one step; false if it could not.
bool replace_file(const std::string& from, const std::string& to);

// Removes a file; false if it could not.
bool remove_file(const std::string& path);

// An open file. Closing happens in the destructor, on every path.
class File {
  public:
    // An existing file, for reading, shared with readers and writers; never
    // created. A directory is refused. Opening a FIFO does not wait for a
    // writer: it reads as empty.
    static std::optional<File> open_shared_read(const std::string& path);

    // The same, but a FIFO or a pipe is read as it comes, waiting for its
    // writer.
    static std::optional<File> open_stream(const std::string& path);

    // Standard input, read as it comes; closing it leaves the program's own
    // standard input open.
    static std::optional<File> standard_input();

    // A file that did not exist, created for writing.
    static std::optional<File> create_new(const std::string& path);

    // The log: opened for reading and writing, created if missing, and held
    // exclusively by this run until it is closed. Does not wait: a log held
    // elsewhere fails at once as `held`.
    static ExclusiveOpen open_exclusive(const std::string& path);

    File(File&& other) noexcept
        : handle_(other.handle_), locked_(other.locked_),
          lock_file_(std::exchange(other.lock_file_, {})) {
        other.handle_ = closed;
    }
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    ~File();

    [[nodiscard]] std::optional<std::uint64_t> size() const;
    [[nodiscard]] std::optional<FileIdentity> identity() const;
    // Reads up to buffer.size() bytes; 0 means the end of the file.
    [[nodiscard]] std::optional<std::size_t> read(std::span<char> buffer) const;
    // The same from the given offset, wherever earlier reads left off; two
    // threads may read one file so at once.
    [[nodiscard]] std::optional<std::size_t> read_at(std::uint64_t offset,
                                                     std::span<char> buffer) const;
    // Writes every byte, or fails.
    [[nodiscard]] bool write_all(std::span<const char> bytes) const;
    [[nodiscard]] bool seek_end() const;
    [[nodiscard]] bool truncate(std::uint64_t size) const;
    // Flushes what was written to the disk.
    [[nodiscard]] bool sync() const;

  private:
    using Handle = std::intptr_t;
    static constexpr Handle closed = -1;

    explicit File(Handle handle) : handle_(handle) {}
    // An existing file that is not a directory, for reading; a FIFO waits
    // for its writer only where asked to.
    static std::optional<File> open_for_reading(const std::string& path, bool wait_for_writer);
    void close() noexcept;

    Handle handle_;
    bool locked_ = false; // this run's lock on the log, let go before closing
    // On an SMB share, the file whose making keeps other runs out; removed
    // before closing.
    std::string lock_file_;
};

inline File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        close();
        handle_ = other.handle_;
        locked_ = other.locked_;
        lock_file_ = std::exchange(other.lock_file_, {});
        other.handle_ = closed;
    }
    return *this;
}

inline File::~File() {
    close();
}

} // namespace wutally::platform
