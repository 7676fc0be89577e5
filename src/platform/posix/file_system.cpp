// The POSIX file layer.
#include "platform/native.hpp"

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/sysmacros.h>
#include <sys/vfs.h>
#endif

namespace wutally::platform {

namespace {

FileError error_of(int error) {
    switch (error) {
    case ENOENT:
    case ENOTDIR:
    // An NFS client's handle of a file or directory that another machine
    // has since removed or renamed over: it is gone.
    case ESTALE:
        return FileError::not_found;
    case EISDIR:
        return FileError::is_directory;
    case EEXIST:
        return FileError::exists;
    case ENOTEMPTY:
        return FileError::not_empty;
    case EACCES:
    case EPERM:
    case EROFS:
        return FileError::no_access;
    case EAGAIN:
    case EBUSY:
    case ETXTBSY:
        return FileError::held;
    case EINVAL:
    case ENOSYS:
    case EOPNOTSUPP:
    case ENOLCK:
        return FileError::unsupported;
    case EHOSTDOWN:
    case EHOSTUNREACH:
    case ENETUNREACH:
    case ENOTCONN:
    case ECONNABORTED:
    case ECONNREFUSED:
    case ECONNRESET:
    case ETIMEDOUT:
        return FileError::unreachable;
    default:
        return FileError::failed;
    }
}

FileError last_error() {
    return error_of(errno);
}

FileIdentity identity_of(const struct stat& status) {
    return {static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino)};
}

FileKind kind_of(mode_t mode) {
    return S_ISREG(mode) ? FileKind::file : S_ISDIR(mode) ? FileKind::directory : FileKind::other;
}

#ifdef __linux__
ShareKind share_of_type(const struct statfs& status) {
    switch (static_cast<std::uint32_t>(status.f_type)) {
    case 0xFF534D42U: // CIFS
    case 0xFE534D42U: // SMB2
    case 0x517BU:     // SMB
        return ShareKind::smb;
    case 0x6969U:     // NFS
    case 0x65735546U: // FUSE
    case 0x00C36400U: // Ceph
    case 0x5346414FU: // AFS
    case 0x01021997U: // 9P
    case 0x73757245U: // Coda
        return ShareKind::network;
    default:
        return ShareKind::local;
    }
}
#endif

bool on_smb_share([[maybe_unused]] int fd) {
#ifdef __linux__
    struct statfs status {};
    return ::fstatfs(fd, &status) == 0 && share_of_type(status) == ShareKind::smb;
#else
    return false;
#endif
}

// Opens the file, and on an SMB share opens it again for direct transfers:
// under a lease the Linux SMB client keeps a file's pages and size, and a
// stale size, or a cached page written back whole, would lose the row that
// another machine just appended.
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

// A write lock on the bytes, by the open file description where the system
// has such locks. Unlike flock, byte-range locks are what Linux clients of
// NFS shares pass on to the server, so that runs on different machines
// sharing one log exclude one another.
bool set_lock(int fd, int type, std::uint64_t offset, std::uint64_t length) {
    struct flock lock {};
    lock.l_type = static_cast<short>(type);
    lock.l_whence = SEEK_SET;
    lock.l_start = static_cast<off_t>(offset);
    lock.l_len = static_cast<off_t>(length);
#ifdef F_OFD_SETLK
    return ::fcntl(fd, F_OFD_SETLK, &lock) == 0;
#else
    return ::fcntl(fd, F_SETLK, &lock) == 0;
#endif
}

class PosixFile final : public File {
  public:
    explicit PosixFile(int fd) : fd_(fd) {}
    ~PosixFile() override { ::close(fd_); }
    PosixFile(const PosixFile&) = delete;
    PosixFile& operator=(const PosixFile&) = delete;

    [[nodiscard]] Result<std::uint64_t, FileError> size() const override {
#ifdef STATX_SIZE
        // Asked of the server on a network share, not taken from what the
        // client last heard: another machine may just have appended a row.
        struct statx fresh {};
        if (::statx(fd_, "", AT_EMPTY_PATH | AT_STATX_FORCE_SYNC, STATX_SIZE, &fresh) == 0) {
            return std::uint64_t{fresh.stx_size};
        }
#endif
        struct stat status {};
        if (::fstat(fd_, &status) != 0 || status.st_size < 0) {
            return FileError::failed;
        }
        return static_cast<std::uint64_t>(status.st_size);
    }

    [[nodiscard]] Result<FileIdentity, FileError> identity() const override {
        struct stat status {};
        if (::fstat(fd_, &status) != 0) {
            return FileError::failed;
        }
        return identity_of(status);
    }

    [[nodiscard]] Result<std::size_t, FileError> read(std::span<char> buffer) const override {
        for (;;) {
            const ssize_t count = ::read(fd_, buffer.data(), buffer.size());
            if (count >= 0) {
                return static_cast<std::size_t>(count);
            }
            if (errno != EINTR) {
                return last_error();
            }
        }
    }

    [[nodiscard]] Result<std::size_t, FileError> read_at(std::uint64_t offset,
                                                         std::span<char> buffer) const override {
        for (;;) {
            const ssize_t count =
                ::pread(fd_, buffer.data(), buffer.size(), static_cast<off_t>(offset));
            if (count >= 0) {
                return static_cast<std::size_t>(count);
            }
            if (errno != EINTR) {
                return last_error();
            }
        }
    }

    [[nodiscard]] Result<void, FileError> write_all(std::span<const char> bytes) const override {
        while (!bytes.empty()) {
            const ssize_t count = ::write(fd_, bytes.data(), bytes.size());
            if (count < 0 && errno == EINTR) {
                continue;
            }
            if (count <= 0) {
                return FileError::failed;
            }
            bytes = bytes.subspan(static_cast<std::size_t>(count));
        }
        return {};
    }

    [[nodiscard]] Result<void, FileError> write_at(std::uint64_t offset,
                                                   std::span<const char> bytes) const override {
        while (!bytes.empty()) {
            const ssize_t count =
                ::pwrite(fd_, bytes.data(), bytes.size(), static_cast<off_t>(offset));
            if (count < 0 && errno == EINTR) {
                continue;
            }
            if (count <= 0) {
                return FileError::failed;
            }
            bytes = bytes.subspan(static_cast<std::size_t>(count));
            offset += static_cast<std::uint64_t>(count);
        }
        return {};
    }

    [[nodiscard]] Result<void, FileError> seek_end() const override {
        return ::lseek(fd_, 0, SEEK_END) >= 0 ? Result<void, FileError>() : last_error();
    }

    [[nodiscard]] Result<void, FileError> truncate(std::uint64_t size) const override {
        return ::ftruncate(fd_, static_cast<off_t>(size)) == 0 ? Result<void, FileError>()
                                                               : last_error();
    }

    [[nodiscard]] Result<void, FileError> sync() const override {
        return ::fsync(fd_) == 0 ? Result<void, FileError>() : last_error();
    }

    [[nodiscard]] Result<void, FileError> lock_range(std::uint64_t offset,
                                                     std::uint64_t length) const override {
        if (set_lock(fd_, F_WRLCK, offset, length)) {
            return {};
        }
        // What fcntl gives while another process holds a conflicting lock.
        return errno == EAGAIN || errno == EACCES ? FileError::held : last_error();
    }

    // Let go explicitly rather than by closing, which a network client may
    // defer.
    void unlock_range(std::uint64_t offset, std::uint64_t length) const override {
        (void)set_lock(fd_, F_UNLCK, offset, length);
    }

    [[nodiscard]] std::intptr_t native_handle() const override {
        return fd_;
    }

  private:
    int fd_;
};

OpenResult file_of(int fd) {
    if (fd < 0) {
        return last_error();
    }
    return std::unique_ptr<File>(std::make_unique<PosixFile>(fd));
}

// An existing file that is not a directory, for reading; a FIFO waits for
// its writer only where asked to.
OpenResult open_for_reading(const std::string& path, bool wait_for_writer) {
    const int fd =
        open_file(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | (wait_for_writer ? 0 : O_NONBLOCK));
    auto file = file_of(fd);
    struct stat status {};
    if (file && (::fstat(fd, &status) != 0 || S_ISDIR(status.st_mode))) {
        return FileError::is_directory;
    }
    return file;
}

Result<FileState, FileError> state_by_path(const std::string& path) {
#ifdef STATX_CTIME
    // Asked of the server on a network share: a lock file's age is judged
    // by it.
    struct statx fresh {};
    if (::statx(AT_FDCWD, path.c_str(), AT_STATX_FORCE_SYNC,
                STATX_TYPE | STATX_INO | STATX_SIZE | STATX_CTIME, &fresh) == 0) {
        // The device as stat gives it, so that names and open files compare.
        const auto device =
            static_cast<std::uint64_t>(makedev(fresh.stx_dev_major, fresh.stx_dev_minor));
        return FileState{{device, fresh.stx_ino},
                         fresh.stx_size,
                         kind_of(fresh.stx_mode),
                         std::chrono::seconds{fresh.stx_ctime.tv_sec} +
                             std::chrono::nanoseconds{fresh.stx_ctime.tv_nsec}};
    }
    if (errno != ENOSYS) {
        return last_error();
    }
#endif
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        return last_error();
    }
    return FileState{identity_of(status),
                     static_cast<std::uint64_t>(std::max<off_t>(0, status.st_size)),
                     kind_of(status.st_mode), std::chrono::seconds{status.st_ctime}};
}

class PosixFileSystem final : public FileSystem {
  public:
    OpenResult open_read(const std::string& path) override {
        // Non-blocking, so that a FIFO in a client file's place cannot hang
        // the run waiting for a writer; it has no size and reads as empty.
        return open_for_reading(path, false);
    }

    OpenResult open_stream(const std::string& path) override {
        return open_for_reading(path, true);
    }

    OpenResult standard_input() override {
        return file_of(::fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 0));
    }

    OpenResult create_new(const std::string& path, Readers readers) override {
        const int fd =
            ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
        struct stat status {};
        if (fd >= 0 && readers == Readers::everyone && ::fstat(fd, &status) == 0) {
            // A mask such as 077 would keep other users' runs from reading it.
            (void)::fchmod(fd, (status.st_mode & 07777) | 0444);
        }
        return file_of(fd);
    }

    OpenResult open_write(const std::string& path) override {
        return file_of(::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY));
    }

    // No POSIX system opens a file for nobody else; other runs are kept out
    // by the lock directory and the byte-range lock.
    OpenResult open_log(const std::string& path, LogSharing /*sharing*/) override {
        // A file-size limit must fail the write, not kill the run half-way
        // through a row, so that the roll-back can still run.
        std::signal(SIGXFSZ, SIG_IGN);
        return file_of(open_file(path, O_RDWR | O_CREAT | O_CLOEXEC | O_NOCTTY, 0666));
    }

    Result<FileState, FileError> state_of(const std::string& path) override {
        return state_by_path(path);
    }

    Result<void, FileError> rename(const std::string& from, const std::string& to) override {
        return ::rename(from.c_str(), to.c_str()) == 0 ? Result<void, FileError>() : last_error();
    }

    Result<void, FileError> move_no_replace(const std::string& from,
                                            const std::string& to) override {
#ifdef RENAME_NOREPLACE
        if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
            return {};
        }
        if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) {
            return last_error();
        }
#endif
        // Network file systems know no such rename; a new link is made only
        // where the name is free, and the old name then removed.
        if (::link(from.c_str(), to.c_str()) != 0) {
            return last_error();
        }
        (void)::unlink(from.c_str());
        return {};
    }

    Result<void, FileError> remove(const std::string& path) override {
        return ::unlink(path.c_str()) == 0 ? Result<void, FileError>() : last_error();
    }

    Result<void, FileError> make_directory(const std::string& path) override {
        if (::mkdir(path.c_str(), 0777) != 0) {
            return last_error();
        }
        // Whatever the mask, other users' runs must be able to rename and
        // remove what they find inside; a share may not let the mode be set.
        (void)::chmod(path.c_str(), 0777);
        return {};
    }

    Result<void, FileError> remove_directory(const std::string& path) override {
        if (::rmdir(path.c_str()) == 0) {
            return {};
        }
        return errno == EEXIST ? FileError::not_empty : last_error();
    }

    Result<std::vector<std::string>, FileError> list_directory(const std::string& path) override {
        const std::unique_ptr<DIR, int (*)(DIR*)> directory(::opendir(path.c_str()), ::closedir);
        if (!directory) {
            return errno == ENOTDIR ? FileError::not_directory : last_error();
        }
        std::vector<std::string> names;
        errno = 0;
        while (const dirent* entry = ::readdir(directory.get())) {
            const std::string_view name = entry->d_name;
            if (name != "." && name != "..") {
                names.emplace_back(name);
            }
        }
        if (errno != 0) {
            return last_error();
        }
        return names;
    }

    std::string owner_of(const std::string& path) override {
        struct stat status {};
        if (::stat(path.c_str(), &status) != 0) {
            return {};
        }
        std::array<char, 4096> buffer{};
        struct passwd entry {};
        struct passwd* found = nullptr;
        if (::getpwuid_r(status.st_uid, &entry, buffer.data(), buffer.size(), &found) == 0 &&
            found != nullptr) {
            return found->pw_name;
        }
        return std::to_string(status.st_uid);
    }

    Result<std::string, FileError> link_target(const std::string& path) override {
        std::string target = path;
        // As many links as the system itself follows before it gives up.
        for (int links = 0; links < 40; ++links) {
            struct stat link {};
            if (::lstat(target.c_str(), &link) != 0) {
                if (errno == ENOENT) {
                    break; // a link to a file not made yet, or no link at all
                }
                return error_of(errno);
            }
            if (!S_ISLNK(link.st_mode)) {
                break;
            }
            std::array<char, 4096> text{};
            const ssize_t size = ::readlink(target.c_str(), text.data(), text.size());
            if (size <= 0 || static_cast<std::size_t>(size) >= text.size()) {
                return size < 0 ? error_of(errno) : FileError::failed;
            }
            const std::string_view leads_to(text.data(), static_cast<std::size_t>(size));
            const std::size_t slash = target.rfind('/');
            target = leads_to.starts_with('/') || slash == std::string::npos
                         ? std::string(leads_to)
                         : target.substr(0, slash + 1).append(leads_to);
        }
        return target;
    }

    Result<std::string, FileError> canonical(const std::string& path) override {
        std::error_code error;
        const auto resolved = std::filesystem::weakly_canonical(path, error);
        if (error) {
            return error_of(error.value());
        }
        return resolved.string();
    }

    Result<std::string, FileError> current_directory() override {
        std::error_code error;
        const auto directory = std::filesystem::current_path(error);
        if (error) {
            return error_of(error.value());
        }
        return directory.string();
    }

    Result<ShareKind, FileError> share_of([[maybe_unused]] const std::string& path) override {
#ifdef __linux__
        const std::size_t slash = path.rfind('/');
        const std::string directory = slash == std::string::npos ? "." : path.substr(0, slash + 1);
        struct statfs status {};
        if (::statfs(directory.c_str(), &status) != 0) {
            return error_of(errno);
        }
        return share_of_type(status);
#else
        return ShareKind::local;
#endif
    }
};

} // namespace

std::unique_ptr<FileSystem> native_file_system() {
    return std::make_unique<PosixFileSystem>();
}

} // namespace wutally::platform
