// Windows implementation of the file layer.
#include "platform/file.hpp"

#include <algorithm>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace wutally::platform {

const char directory_separator = '\\';

namespace {

HANDLE handle_of(std::intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}

std::intptr_t handle_value(HANDLE handle) {
    return reinterpret_cast<std::intptr_t>(handle);
}

FileState state_by_handle(const BY_HANDLE_FILE_INFORMATION& information) {
    return {{information.dwVolumeSerialNumber,
             (std::uint64_t{information.nFileIndexHigh} << 32) | information.nFileIndexLow},
            (std::uint64_t{information.nFileSizeHigh} << 32) | information.nFileSizeLow};
}

std::optional<FileState> state_of_handle(HANDLE handle) {
    BY_HANDLE_FILE_INFORMATION information{};
    if (::GetFileInformationByHandle(handle, &information) == 0) {
        return std::nullopt;
    }
    return state_by_handle(information);
}

// ReadFile and WriteFile take 32-bit counts.
constexpr std::size_t largest_transfer = std::size_t{1} << 30;

} // namespace

static_assert(sizeof(HANDLE) == sizeof(std::intptr_t));

std::optional<File> File::open_shared_read(const std::string& path) {
    // Without backup semantics a directory cannot be opened, as wanted.
    HANDLE handle = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return std::nullopt;
    }
    return File(handle_value(handle));
}

std::optional<File> File::open_stream(const std::string& path) {
    return open_shared_read(path);
}

std::optional<File> File::standard_input() {
    HANDLE duplicate = nullptr;
    const HANDLE process = ::GetCurrentProcess();
    if (::DuplicateHandle(process, ::GetStdHandle(STD_INPUT_HANDLE), process, &duplicate, 0, FALSE,
                          DUPLICATE_SAME_ACCESS) == 0) {
        return std::nullopt;
    }
    return File(handle_value(duplicate));
}

std::optional<File> File::create_new(const std::string& path) {
    HANDLE handle = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return std::nullopt;
    }
    return File(handle_value(handle));
}

bool replace_file(const std::string& from, const std::string& to) {
    return ::MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

bool remove_file(const std::string& path) {
    return ::DeleteFileA(path.c_str()) != 0;
}

ExclusiveOpen File::open_exclusive(const std::string& path) {
    // No sharing: while this run holds the log, another cannot open it.
    HANDLE handle =
        ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                      FILE_FLAG_SEQUENTIAL_SCAN | FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION
                   ? OpenFailure::held
                   : OpenFailure::failed;
    }
    return File(handle_value(handle));
}

void File::close() noexcept {
    if (handle_ != closed) {
        ::CloseHandle(handle_of(handle_));
        handle_ = closed;
    }
}

std::optional<std::uint64_t> File::size() const {
    LARGE_INTEGER size{};
    if (::GetFileSizeEx(handle_of(handle_), &size) == 0 || size.QuadPart < 0) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(size.QuadPart);
}

std::optional<FileIdentity> File::identity() const {
    const auto state = state_of_handle(handle_of(handle_));
    return state ? std::optional(state->identity) : std::nullopt;
}

std::optional<FileState> state_of(const std::string& path) {
    // Opening for attributes alone is not refused by a run that holds the
    // log without sharing.
    HANDLE handle = ::CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return std::nullopt;
    }
    const auto state = state_of_handle(handle);
    ::CloseHandle(handle);
    return state;
}

std::optional<std::size_t> File::read(std::span<char> buffer) const {
    DWORD count = 0;
    const auto wanted = static_cast<DWORD>(std::min(buffer.size(), largest_transfer));
    if (::ReadFile(handle_of(handle_), buffer.data(), wanted, &count, nullptr) == 0) {
        // A pipe whose writer has finished is at its end.
        return ::GetLastError() == ERROR_BROKEN_PIPE ? std::optional<std::size_t>(0) : std::nullopt;
    }
    return count;
}

std::optional<std::size_t> File::read_at(std::uint64_t offset, std::span<char> buffer) const {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD count = 0;
    const auto wanted = static_cast<DWORD>(std::min(buffer.size(), largest_transfer));
    if (::ReadFile(handle_of(handle_), buffer.data(), wanted, &count, &at) == 0) {
        // Reading at or past the end is the end, not a failure.
        return ::GetLastError() == ERROR_HANDLE_EOF ? std::optional<std::size_t>(0) : std::nullopt;
    }
    return count;
}

bool File::write_all(std::span<const char> bytes) const {
    while (!bytes.empty()) {
        DWORD count = 0;
        const auto wanted = static_cast<DWORD>(std::min(bytes.size(), largest_transfer));
        if (::WriteFile(handle_of(handle_), bytes.data(), wanted, &count, nullptr) == 0 ||
            count == 0) {
            return false;
        }
        bytes = bytes.subspan(count);
    }
    return true;
}

bool File::seek_end() const {
    return ::SetFilePointerEx(handle_of(handle_), LARGE_INTEGER{}, nullptr, FILE_END) != 0;
}

bool File::truncate(std::uint64_t size) const {
    LARGE_INTEGER position{};
    position.QuadPart = static_cast<LONGLONG>(size);
    return ::SetFilePointerEx(handle_of(handle_), position, nullptr, FILE_BEGIN) != 0 &&
           ::SetEndOfFile(handle_of(handle_)) != 0;
}

bool File::sync() const {
    return ::FlushFileBuffers(handle_of(handle_)) != 0;
}

} // namespace wutally::platform
