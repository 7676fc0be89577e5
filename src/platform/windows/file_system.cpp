// The Windows file layer.
#include "platform/native.hpp"

#include <algorithm>
#include <filesystem>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace wutally::platform {

namespace {

FileError error_of(DWORD error) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
        return FileError::not_found;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return FileError::exists;
    case ERROR_DIR_NOT_EMPTY:
        return FileError::not_empty;
    case ERROR_DIRECTORY:
        return FileError::not_directory;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
        return FileError::no_access;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return FileError::held;
    case ERROR_NOT_SUPPORTED:
    case ERROR_INVALID_FUNCTION:
        return FileError::unsupported;
    case ERROR_BAD_NETPATH:
    case ERROR_NETNAME_DELETED:
    case ERROR_UNEXP_NET_ERR:
    case ERROR_SEM_TIMEOUT:
        return FileError::unreachable;
    default:
        return FileError::failed;
    }
}

// A file being deleted cannot be opened until its last handle is closed;
// Windows reports that as access denied, which only the status beneath it
// (STATUS_DELETE_PENDING) tells apart. It is held, for a moment.
bool delete_pending() {
    using LastStatus = LONG(NTAPI*)();
    // Through a pointer of no type, as GetProcAddress knows no signature.
    const auto last_status = reinterpret_cast<LastStatus>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "RtlGetLastNtStatus")));
    constexpr unsigned long status_delete_pending = 0xC0000056UL;
    return last_status != nullptr &&
           static_cast<unsigned long>(last_status()) == status_delete_pending;
}

FileError last_error() {
    const DWORD error = ::GetLastError();
    if (error == ERROR_ACCESS_DENIED && delete_pending()) {
        return FileError::held;
    }
    return error_of(error);
}

// What a call that gives nothing back but whether it succeeded came to.
Result<void, FileError> done(BOOL succeeded) {
    if (succeeded == 0) {
        return last_error();
    }
    return {};
}

// ReadFile and WriteFile take 32-bit counts.
constexpr std::size_t largest_transfer = std::size_t{1} << 30;

// FILETIME counts 100 ns from 1601; the epoch is 11,644,473,600 s later.
std::chrono::nanoseconds since_epoch(LARGE_INTEGER time) {
    constexpr long long epoch_in_ticks = 116444736000000000LL;
    return std::chrono::nanoseconds{(time.QuadPart - epoch_in_ticks) * 100};
}

class WindowsFile final : public File {
  public:
    explicit WindowsFile(HANDLE handle) : handle_(handle) {}
    ~WindowsFile() override { ::CloseHandle(handle_); }
    WindowsFile(const WindowsFile&) = delete;
    WindowsFile& operator=(const WindowsFile&) = delete;

    [[nodiscard]] Result<std::uint64_t, FileError> size() const override {
        LARGE_INTEGER size{};
        if (::GetFileSizeEx(handle_, &size) == 0 || size.QuadPart < 0) {
            return last_error();
        }
        return static_cast<std::uint64_t>(size.QuadPart);
    }

    [[nodiscard]] Result<FileIdentity, FileError> identity() const override {
        BY_HANDLE_FILE_INFORMATION information{};
        if (::GetFileInformationByHandle(handle_, &information) == 0) {
            return last_error();
        }
        return FileIdentity{information.dwVolumeSerialNumber,
                            (std::uint64_t{information.nFileIndexHigh} << 32) |
                                information.nFileIndexLow};
    }

    [[nodiscard]] Result<std::size_t, FileError> read(std::span<char> buffer) const override {
        DWORD count = 0;
        const auto wanted = static_cast<DWORD>(std::min(buffer.size(), largest_transfer));
        if (::ReadFile(handle_, buffer.data(), wanted, &count, nullptr) == 0) {
            // A pipe whose writer has finished is at its end.
            if (::GetLastError() == ERROR_BROKEN_PIPE) {
                return std::size_t{0};
            }
            return last_error();
        }
        return std::size_t{count};
    }

    [[nodiscard]] Result<std::size_t, FileError> read_at(std::uint64_t offset,
                                                         std::span<char> buffer) const override {
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(offset);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        DWORD count = 0;
        const auto wanted = static_cast<DWORD>(std::min(buffer.size(), largest_transfer));
        if (::ReadFile(handle_, buffer.data(), wanted, &count, &at) == 0) {
            // Reading at or past the end is the end, not a failure.
            if (::GetLastError() == ERROR_HANDLE_EOF) {
                return std::size_t{0};
            }
            return last_error();
        }
        return std::size_t{count};
    }

    [[nodiscard]] Result<void, FileError> write_all(std::span<const char> bytes) const override {
        while (!bytes.empty()) {
            DWORD count = 0;
            const auto wanted = static_cast<DWORD>(std::min(bytes.size(), largest_transfer));
            if (::WriteFile(handle_, bytes.data(), wanted, &count, nullptr) == 0 || count == 0) {
                return FileError::failed;
            }
            bytes = bytes.subspan(count);
        }
        return {};
    }

    [[nodiscard]] Result<void, FileError> write_at(std::uint64_t offset,
                                                   std::span<const char> bytes) const override {
        while (!bytes.empty()) {
            OVERLAPPED at{};
            at.Offset = static_cast<DWORD>(offset);
            at.OffsetHigh = static_cast<DWORD>(offset >> 32);
            DWORD count = 0;
            const auto wanted = static_cast<DWORD>(std::min(bytes.size(), largest_transfer));
            if (::WriteFile(handle_, bytes.data(), wanted, &count, &at) == 0 || count == 0) {
                return FileError::failed;
            }
            bytes = bytes.subspan(count);
            offset += count;
        }
        return {};
    }

    [[nodiscard]] Result<void, FileError> seek_end() const override {
        return done(::SetFilePointerEx(handle_, LARGE_INTEGER{}, nullptr, FILE_END));
    }

    [[nodiscard]] Result<void, FileError> truncate(std::uint64_t size) const override {
        LARGE_INTEGER position{};
        position.QuadPart = static_cast<LONGLONG>(size);
        if (::SetFilePointerEx(handle_, position, nullptr, FILE_BEGIN) == 0) {
            return last_error();
        }
        return done(::SetEndOfFile(handle_));
    }

    [[nodiscard]] Result<void, FileError> sync() const override {
        return done(::FlushFileBuffers(handle_));
    }

    // Windows locks bar the bytes to every other handle, reads and writes
    // included; the log is kept from other runs by opening it for nobody
    // else and by the lock directory instead.
    [[nodiscard]] Result<void, FileError> lock_range(std::uint64_t /*offset*/,
                                                     std::uint64_t /*length*/) const override {
        return FileError::unsupported;
    }
    void unlock_range(std::uint64_t /*offset*/, std::uint64_t /*length*/) const override {}

    [[nodiscard]] std::intptr_t native_handle() const override {
        return reinterpret_cast<std::intptr_t>(handle_);
    }

  private:
    HANDLE handle_;
};

OpenResult file_of(HANDLE handle) {
    if (handle == INVALID_HANDLE_VALUE) {
        return last_error();
    }
    return std::unique_ptr<File>(std::make_unique<WindowsFile>(handle));
}

class WindowsFileSystem final : public FileSystem {
  public:
    OpenResult open_read(const std::string& path) override {
        // Without backup semantics a directory cannot be opened, as wanted.
        return file_of(::CreateFileA(path.c_str(), GENERIC_READ,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, 0, nullptr));
    }

    OpenResult open_stream(const std::string& path) override { return open_read(path); }

    OpenResult standard_input() override {
        HANDLE duplicate = nullptr;
        const HANDLE process = ::GetCurrentProcess();
        if (::DuplicateHandle(process, ::GetStdHandle(STD_INPUT_HANDLE), process, &duplicate, 0,
                              FALSE, DUPLICATE_SAME_ACCESS) == 0) {
            return last_error();
        }
        return file_of(duplicate);
    }

    // Files made so are readable by every user the folder lets in.
    OpenResult create_new(const std::string& path, Readers /*readers*/) override {
        // Others may read it, and move or remove it, while it is open.
        return file_of(::CreateFileA(path.c_str(), GENERIC_WRITE,
                                     FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
    }

    OpenResult open_write(const std::string& path) override {
        return file_of(::CreateFileA(path.c_str(), GENERIC_WRITE,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    }

    OpenResult open_log(const std::string& path, LogSharing sharing) override {
        // Shared with nobody, another process cannot open the log while this
        // run has it open.
        const DWORD share =
            sharing == LogSharing::exclusive ? 0 : FILE_SHARE_READ | FILE_SHARE_WRITE;
        // Written through to the disk, so that a run killed between its
        // write and its flush cannot leave its pages to land out of order.
        return file_of(::CreateFileA(
            path.c_str(), GENERIC_READ | GENERIC_WRITE, share, nullptr, OPEN_ALWAYS,
            FILE_FLAG_SEQUENTIAL_SCAN | FILE_FLAG_WRITE_THROUGH | FILE_ATTRIBUTE_NORMAL, nullptr));
    }

    Result<void, FileError> make_directory(const std::string& path) override {
        return done(::CreateDirectoryA(path.c_str(), nullptr));
    }

    Result<void, FileError> remove_directory(const std::string& path) override {
        return done(::RemoveDirectoryA(path.c_str()));
    }

    Result<std::vector<std::string>, FileError> list_directory(const std::string& path) override {
        WIN32_FIND_DATAA found{};
        const HANDLE search = ::FindFirstFileA((path + "\\*").c_str(), &found);
        if (search == INVALID_HANDLE_VALUE) {
            return last_error();
        }
        std::vector<std::string> names;
        do {
            const std::string_view name = found.cFileName;
            if (name != "." && name != "..") {
                names.emplace_back(name);
            }
        } while (::FindNextFileA(search, &found) != 0);
        const DWORD ended = ::GetLastError();
        ::FindClose(search);
        if (ended != ERROR_NO_MORE_FILES) {
            return error_of(ended);
        }
        return names;
    }

    std::string owner_of(const std::string& /*path*/) override { return {}; }

    Result<FileState, FileError> state_of(const std::string& path) override {
        // Opening for attributes alone is not refused by a run that holds
        // the log without sharing; backup semantics open directories too.
        HANDLE handle = ::CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            return last_error();
        }
        BY_HANDLE_FILE_INFORMATION information{};
        FILE_BASIC_INFO times{};
        const bool known = ::GetFileInformationByHandle(handle, &information) != 0;
        const bool timed =
            ::GetFileInformationByHandleEx(handle, FileBasicInfo, &times, sizeof times) != 0;
        ::CloseHandle(handle);
        if (!known) {
            return FileError::failed;
        }
        FileState state;
        state.identity = {information.dwVolumeSerialNumber,
                          (std::uint64_t{information.nFileIndexHigh} << 32) |
                              information.nFileIndexLow};
        state.size = (std::uint64_t{information.nFileSizeHigh} << 32) | information.nFileSizeLow;
        state.kind = (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0
                         ? FileKind::directory
                         : FileKind::file;
        if (timed) {
            // The change time moves with every write and rename, as ctime.
            state.changed = since_epoch(times.ChangeTime.QuadPart != 0 ? times.ChangeTime
                                                                       : times.LastWriteTime);
        }
        return state;
    }

    Result<void, FileError> rename(const std::string& from, const std::string& to) override {
        return done(::MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING));
    }

    Result<void, FileError> move_no_replace(const std::string& from,
                                            const std::string& to) override {
        return done(::MoveFileExA(from.c_str(), to.c_str(), 0));
    }

    Result<void, FileError> remove(const std::string& path) override {
        return done(::DeleteFileA(path.c_str()));
    }

    Result<std::string, FileError> link_target(const std::string& path) override { return path; }

    Result<std::string, FileError> canonical(const std::string& path) override {
        std::error_code error;
        const auto resolved = std::filesystem::weakly_canonical(path, error);
        if (error) {
            return FileError::failed;
        }
        return resolved.string();
    }

    Result<std::string, FileError> current_directory() override {
        std::error_code error;
        const auto directory = std::filesystem::current_path(error);
        if (error) {
            return FileError::failed;
        }
        return directory.string();
    }

    Result<ShareKind, FileError> share_of(const std::string& path) override {
        if (path.starts_with("\\\\") || path.starts_with("//")) {
            return ShareKind::smb;
        }
        std::error_code error;
        const auto absolute = std::filesystem::absolute(path, error);
        if (error) {
            return FileError::failed;
        }
        // The folder as the system resolves it: a symbolic link, a junction
        // or a mounted folder may lead to a share.
        const std::string resolved = final_path(absolute.parent_path().string());
        if (resolved.starts_with(R"(\\?\UNC\)")) {
            return ShareKind::smb;
        }
        const std::string seen =
            resolved.starts_with(R"(\\?\)") ? resolved.substr(4) : absolute.string();
        const std::string root = std::filesystem::path(seen).root_path().string();
        if (!root.empty() && ::GetDriveTypeA(root.c_str()) == DRIVE_REMOTE) {
            return ShareKind::smb;
        }
        return ShareKind::local;
    }

  private:
    // The path the system opens for the folder, links and mount points
    // followed; empty where it cannot be told.
    static std::string final_path(const std::string& folder) {
        HANDLE handle = ::CreateFileA(folder.c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            return {};
        }
        std::string text(1024, '\0');
        const DWORD size =
            ::GetFinalPathNameByHandleA(handle, text.data(), static_cast<DWORD>(text.size()),
                                        FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        ::CloseHandle(handle);
        text.resize(size < text.size() ? size : 0);
        return text;
    }
};

} // namespace

std::unique_ptr<FileSystem> native_file_system() {
    return std::make_unique<WindowsFileSystem>();
}

} // namespace wutally::platform
