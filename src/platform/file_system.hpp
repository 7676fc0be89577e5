// The thin file layer: every file and directory call of both programs goes
// through a FileSystem handed in by the entry point, so that tests can put an
// in-memory one, which fails any call on demand, beneath the same code. One
// implementation per platform lives in its folder beside this header.
#pragma once

#include "platform/result.hpp"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace wutally::platform {

// The separator the command line appends to a log directory, and whether
// the system can open a file for no other process (Windows) rather than
// lock ranges of it that leave reads and writes alone (POSIX).
#ifdef _WIN32
inline constexpr char directory_separator = '\\';
inline constexpr bool opens_exclusively = true;
#else
inline constexpr char directory_separator = '/';
inline constexpr bool opens_exclusively = false;
#endif

// Whether the command line arrives with "*" and "?" in paths as typed: the
// Windows Command Prompt leaves them to the program, POSIX shells expand
// them.
#ifdef _WIN32
inline constexpr bool wildcards_left_to_programs = true;
#else
inline constexpr bool wildcards_left_to_programs = false;
#endif

enum class FileError {
    not_found,     // no such file, or a directory on its path is missing
    is_directory,  // a directory where a file was asked for
    not_directory, // a file where a directory was asked for
    exists,        // the file to be made is already there
    held,          // another process holds it: a lock or a sharing violation
    no_access,     // not allowed, or a read-only file system
    unsupported,   // the file system cannot do it
    unreachable,   // a network share's server cannot be reached just now
    not_empty,     // a directory to be removed or replaced still holds something
    failed,        // anything else
};

// Which file a name or a handle stands for: device and inode on POSIX, the
// volume serial number and file index on Windows.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t index = 0;
    bool operator==(const FileIdentity&) const = default;
};

enum class FileKind { file, directory, other };

// What a name shows of a file without opening it.
struct FileState {
    FileIdentity identity;
    std::uint64_t size = 0;
    FileKind kind = FileKind::file;
    // When the file last changed, by the clock of the machine that keeps it
    // (the server, for a file on a share), since the epoch.
    std::chrono::nanoseconds changed{0};
    bool operator==(const FileState&) const = default;
};

// Where a file lies: on this machine's own disk, on an SMB share, or on
// another network file system.
enum class ShareKind { local, smb, network };

// How the log is opened: shared with nobody, so that while this run has it
// open no other process can open it (Windows; elsewhere the same as
// shared), or shared with every reader and writer.
enum class LogSharing { exclusive, shared };

// Who may read a file made new: as the user's file mode mask allows, or
// every user whatever the mask.
enum class Readers { as_mask_allows, everyone };

// An open file, closed when destroyed.
class File {
  public:
    File() = default;
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    virtual ~File() = default;

    [[nodiscard]] virtual Result<std::uint64_t, FileError> size() const = 0;
    [[nodiscard]] virtual Result<FileIdentity, FileError> identity() const = 0;
    // Reads up to buffer.size() bytes where the file stands; 0 is the end.
    [[nodiscard]] virtual Result<std::size_t, FileError> read(std::span<char> buffer) const = 0;
    // The same from the given offset, wherever other reads left off; two
    // threads may read one file so at once.
    [[nodiscard]] virtual Result<std::size_t, FileError> read_at(std::uint64_t offset,
                                                                 std::span<char> buffer) const = 0;
    // Writes every byte where the file stands, or fails.
    [[nodiscard]] virtual Result<void, FileError> write_all(std::span<const char> bytes) const = 0;
    // Writes every byte from the given offset, wherever the file stands, in
    // one call to the system where it takes them all.
    [[nodiscard]] virtual Result<void, FileError> write_at(std::uint64_t offset,
                                                           std::span<const char> bytes) const = 0;
    [[nodiscard]] virtual Result<void, FileError> seek_end() const = 0;
    [[nodiscard]] virtual Result<void, FileError> truncate(std::uint64_t size) const = 0;
    // Flushes what was written to the disk.
    [[nodiscard]] virtual Result<void, FileError> sync() const = 0;
    // A write lock on the bytes, which excludes other processes (on POSIX
    // systems, by the open file description where the system has such
    // locks); `held` where another process has a lock on them, `unsupported`
    // where the system has no such locks. Without waiting.
    [[nodiscard]] virtual Result<void, FileError> lock_range(std::uint64_t offset,
                                                             std::uint64_t length) const = 0;
    virtual void unlock_range(std::uint64_t offset, std::uint64_t length) const = 0;
    // The operating system's handle, for the clean-up when a signal ends the
    // run.
    [[nodiscard]] virtual std::intptr_t native_handle() const = 0;
};

using OpenResult = Result<std::unique_ptr<File>, FileError>;

class FileSystem {
  public:
    FileSystem() = default;
    FileSystem(const FileSystem&) = delete;
    FileSystem& operator=(const FileSystem&) = delete;
    virtual ~FileSystem() = default;

    // An existing file, for reading, shared with readers and writers; never
    // created. A directory is refused. A FIFO does not wait for a writer:
    // it reads as empty.
    virtual OpenResult open_read(const std::string& path) = 0;
    // The same, but a FIFO or a pipe is read as it comes, waiting for its
    // writer.
    virtual OpenResult open_stream(const std::string& path) = 0;
    // Standard input, read as it comes; closing it leaves the program's own
    // standard input open.
    virtual OpenResult standard_input() = 0;
    // A file that did not exist (`exists` otherwise), made for writing.
    virtual OpenResult create_new(const std::string& path,
                                  Readers readers = Readers::as_mask_allows) = 0;
    // An existing file, for writing, from its start.
    virtual OpenResult open_write(const std::string& path) = 0;
    // The log: for reading and writing, made if missing; `held` where it is
    // opened exclusively while another process has it open, or another has
    // it open exclusively. On an SMB share its reads and writes go to the
    // server, not a cache.
    virtual OpenResult open_log(const std::string& path, LogSharing sharing) = 0;

    // A directory that did not exist (`exists` otherwise), in which every
    // user may make, rename and remove files whatever the file mode mask.
    virtual Result<void, FileError> make_directory(const std::string& path) = 0;
    // Only an empty one (`not_empty` otherwise).
    virtual Result<void, FileError> remove_directory(const std::string& path) = 0;
    // The names in the directory, without "." and "..", in no set order.
    virtual Result<std::vector<std::string>, FileError> list_directory(const std::string& path) = 0;
    // The name of the user who owns the file, or its number; empty where it
    // cannot be told.
    virtual std::string owner_of(const std::string& path) = 0;

    virtual Result<FileState, FileError> state_of(const std::string& path) = 0;
    // Puts `from` in the place of `to`, replacing what `to` named, in one
    // step. A directory replaces only an empty directory (`not_empty` or
    // `exists` otherwise, and `exists` on systems that never replace one).
    virtual Result<void, FileError> rename(const std::string& from, const std::string& to) = 0;
    // The same, but only where `to` names nothing (`exists` otherwise).
    virtual Result<void, FileError> move_no_replace(const std::string& from,
                                                    const std::string& to) = 0;
    virtual Result<void, FileError> remove(const std::string& path) = 0;

    // The path that a path names through symbolic links, whether or not
    // the file the last link leads to exists yet, or the path itself where
    // it names no link.
    virtual Result<std::string, FileError> link_target(const std::string& path) = 0;
    // The absolute path with links, "." and ".." resolved as far as the
    // path exists.
    virtual Result<std::string, FileError> canonical(const std::string& path) = 0;
    virtual Result<std::string, FileError> current_directory() = 0;
    // Where the directory that holds the path lies.
    virtual Result<ShareKind, FileError> share_of(const std::string& path) = 0;
    // Whether files can be opened for no other process (Windows), rather
    // than have byte ranges locked that leave reads and writes alone.
    [[nodiscard]] virtual bool opens_exclusively() const { return platform::opens_exclusively; }
};

} // namespace wutally::platform
