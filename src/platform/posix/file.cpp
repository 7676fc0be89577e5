// POSIX implementation of the file layer.
#include "platform/file.hpp"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/vfs.h>
#endif

namespace wutally::platform {

const char directory_separator = '/';

namespace {

int fd_of(std::intptr_t handle) {
    return static_cast<int>(handle);
}

FileIdentity identity_of(const struct stat& status) {
    return {static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino)};
}

// Whether the file lies on an SMB share, whose Linux client may cache the
// log's pages and size under a lease while another machine appends to it:
// a stale size, or a cached page written back whole, loses that machine's
// row.
#ifdef __linux__
bool is_smb(const struct statfs& status) {
    const auto type = static_cast<std::uint32_t>(status.f_type);
    return type == 0xFF534D42U || type == 0xFE534D42U || type == 0x517BU;
}
#endif

bool on_smb_share([[maybe_unused]] int fd) {
#ifdef __linux__
    struct statfs status {};
    return ::fstatfs(fd, &status) == 0 && is_smb(status);
#else
    return false;
#endif
}

// Whether the directory a path names a file in lies on an SMB share.
bool in_smb_share([[maybe_unused]] const std::string& path) {
#ifdef __linux__
    const std::size_t slash = path.rfind('/');
    const std::string directory = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    struct statfs status {};
    return ::statfs(directory.c_str(), &status) == 0 && is_smb(status);
#else
    return false;
#endif
}

// Opens the file, and on an SMB share opens it again for direct transfers,
// which go to the server, not through the client's cache.
int open_file(const std::string& path, int flags, mode_t mode = 0) {
    const int fd = ::open(path.c_str(), flags, mode);
#ifdef O_DIRECT
    if (fd >= 0 && on_smb_share(fd)) {
        const int direct = ::open(path.c_str(), (flags & ~(O_CREAT | O_EXCL)) | O_DIRECT);
        struct stat first {};
        struct stat second {};
        if (direct >= 0 && ::fstat(fd, &first) == 0 && ::fstat(direct, &second) == 0 &&
            identity_of(first) == identity_of(second)) {
            ::close(fd);
            return direct;
        }
        if (direct >= 0) {
            ::close(direct);
        }
    }
#endif
    return fd;
}

} // namespace

std::optional<File> File::open_for_reading(const std::string& path, bool wait_for_writer) {
    const int fd =
        open_file(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | (wait_for_writer ? 0 : O_NONBLOCK));
    if (fd < 0) {
        return std::nullopt;
    }
    File file(fd);
    struct stat status {};
    if (::fstat(fd, &status) != 0 || S_ISDIR(status.st_mode)) {
        return std::nullopt;
    }
    return file;
}

std::optional<File> File::open_shared_read(const std::string& path) {
    // Non-blocking, so that a FIFO in a client file's place cannot hang the
    // run waiting for a writer; it has no size and reads as empty.
    return open_for_reading(path, false);
}

std::optional<File> File::open_stream(const std::string& path) {
    return open_for_reading(path, true);
}

std::optional<File> File::standard_input() {
    const int fd = ::fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 0);
    if (fd < 0) {
        return std::nullopt;
    }
    return File(fd);
}

std::optional<File> File::create_new(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0) {
        return std::nullopt;
    }
    return File(fd);
}

bool replace_file(const std::string& from, const std::string& to) {
    return ::rename(from.c_str(), to.c_str()) == 0;
}

bool remove_file(const std::string& path) {
    return ::unlink(path.c_str()) == 0;
}

namespace {

// The byte every run locks: far beyond any log's end, so that where locks
// are mandatory the lock never stands in the way of reading or writing the
// log itself, while a lock of the whole file, as earlier versions took,
// still covers it.
constexpr off_t lock_byte = static_cast<off_t>((std::uint64_t{1} << 62) - 1);

// A write lock, by the open file description where the system has such
// locks. Unlike flock, byte-range locks are what Linux clients of NFS and
// SMB shares pass on to the server, so runs on different machines sharing
// one log exclude one another.
bool set_lock(int fd, int type) {
    struct flock lock {};
    lock.l_type = static_cast<short>(type);
    lock.l_whence = SEEK_SET;
    lock.l_start = lock_byte;
    lock.l_len = 1;
#ifdef F_OFD_SETLK
    return ::fcntl(fd, F_OFD_SETLK, &lock) == 0;
#else
    return ::fcntl(fd, F_SETLK, &lock) == 0;
#endif
}

bool lock_log(int fd) {
    return set_lock(fd, F_WRLCK);
}

// Let go explicitly rather than by closing: an SMB client that keeps the
// lock to itself under a lease, and defers closing the file to keep the
// lease, would otherwise hold a released lock on; pushed to the server
// with the current holder's when another machine opens the log, the two
// conflict and the holder's lock is lost.
void unlock_log(int fd) {
    (void)set_lock(fd, F_UNLCK);
}

// What fcntl gives when another process holds a conflicting lock.
bool is_held_elsewhere(int error) {
    return error == EAGAIN || error == EACCES;
}

// The Linux SMB client keeps a byte-range lock to itself while it holds a
// lease on the file, and when another machine opens the file it pushes the
// lock to the server, which can fail: then two runs hold the log at once,
// and the client's later locks of the file may fail outright. Making a file
// exclusively is decided by the server alone, so on an SMB share the run
// that made the lock file holds the log, against runs on this machine and
// on others alike, and no byte-range lock is taken.
std::string lock_file_of(const std::string& path) {
    return path + ".lock";
}

// Makes the lock file; false where another run has it (or the server still
// deletes it).
bool make_lock_file(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0) {
        return false;
    }
    ::close(fd);
    return true;
}

// What open gives on an SMB share when a Windows machine holds the log open
// without sharing: the server's sharing violation.
bool is_open_elsewhere(int error) {
    return error == EBUSY || error == ETXTBSY;
}

// Whether the path still names the file behind fd: a program that saves the
// log by writing a new file over it leaves a waiting run holding the old one.
bool still_names(const std::string& path, int fd) {
    struct stat open_file {};
    struct stat named {};
    return ::fstat(fd, &open_file) == 0 && ::stat(path.c_str(), &named) == 0 &&
           identity_of(open_file) == identity_of(named);
}

} // namespace

ExclusiveOpen File::open_exclusive(const std::string& path) {
    // A file-size limit must fail the write, not kill the run half-way
    // through a row, so that the roll-back can still run.
    std::signal(SIGXFSZ, SIG_IGN);
    // On an SMB share the lock file comes first, so that a waiting run does
    // not open the log at all: each open of it makes the server ask the
    // holder's machine to give up its lease, which slows the holder.
    std::string lock_file;
    if (in_smb_share(path)) {
        if (!make_lock_file(lock_file_of(path))) {
            return errno == EEXIST || errno == EBUSY || errno == EACCES ? OpenFailure::held_on_share
                                                                        : OpenFailure::failed;
        }
        lock_file = lock_file_of(path);
    }
    const int fd = open_file(path, O_RDWR | O_CREAT | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0) {
        const int error = errno;
        if (!lock_file.empty()) {
            ::unlink(lock_file.c_str());
        }
        return is_open_elsewhere(error) ? OpenFailure::held : OpenFailure::failed;
    }
    File file(fd);
    file.lock_file_ = std::move(lock_file); // removed when the file is closed
    if (file.lock_file_.empty()) {
        if (!lock_log(fd)) {
            return is_held_elsewhere(errno) ? OpenFailure::held : OpenFailure::failed;
        }
        file.locked_ = true;
    }
    if (!still_names(path, fd)) {
        return OpenFailure::held;
    }
    return file;
}

void File::close() noexcept {
    if (handle_ != closed) {
        if (!lock_file_.empty()) {
            ::unlink(lock_file_.c_str());
            lock_file_.clear();
        }
        if (locked_) {
            unlock_log(fd_of(handle_));
        }
        ::close(fd_of(handle_));
        handle_ = closed;
    }
}

std::optional<std::uint64_t> File::size() const {
#ifdef STATX_SIZE
    // Asked of the server on a network share, not taken from what the
    // client last heard: another machine may just have appended a row.
    struct statx fresh {};
    if (::statx(fd_of(handle_), "", AT_EMPTY_PATH | AT_STATX_FORCE_SYNC, STATX_SIZE, &fresh) == 0) {
        return fresh.stx_size;
    }
#endif
    struct stat status {};
    if (::fstat(fd_of(handle_), &status) != 0 || status.st_size < 0) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(status.st_size);
}

std::optional<FileIdentity> File::identity() const {
    struct stat status {};
    if (::fstat(fd_of(handle_), &status) != 0) {
        return std::nullopt;
    }
    return identity_of(status);
}

std::optional<FileState> state_of(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0 || status.st_size < 0) {
        return std::nullopt;
    }
    return FileState{identity_of(status), static_cast<std::uint64_t>(status.st_size)};
}

std::optional<std::size_t> File::read(std::span<char> buffer) const {
    for (;;) {
        const ssize_t count = ::read(fd_of(handle_), buffer.data(), buffer.size());
        if (count >= 0) {
            return static_cast<std::size_t>(count);
        }
        if (errno != EINTR) {
            return std::nullopt;
        }
    }
}

std::optional<std::size_t> File::read_at(std::uint64_t offset, std::span<char> buffer) const {
    for (;;) {
        const ssize_t count =
            ::pread(fd_of(handle_), buffer.data(), buffer.size(), static_cast<off_t>(offset));
        if (count >= 0) {
            return static_cast<std::size_t>(count);
        }
        if (errno != EINTR) {
            return std::nullopt;
        }
    }
}

bool File::write_all(std::span<const char> bytes) const {
    while (!bytes.empty()) {
        const ssize_t count = ::write(fd_of(handle_), bytes.data(), bytes.size());
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            return false;
        }
        bytes = bytes.subspan(static_cast<std::size_t>(count));
    }
    return true;
}

bool File::seek_end() const {
    return ::lseek(fd_of(handle_), 0, SEEK_END) >= 0;
}

bool File::truncate(std::uint64_t size) const {
    return ::ftruncate(fd_of(handle_), static_cast<off_t>(size)) == 0;
}

bool File::sync() const {
    return ::fsync(fd_of(handle_)) == 0;
}

} // namespace wutally::platform
