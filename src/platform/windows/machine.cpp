// This process and its machine, on Windows.
#include "platform/native.hpp"

#include <array>
#include <string>
#include <vector>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace wutally::platform {

namespace {

// When the process was made, in 100 ns since 1601: with the process id it
// tells this process from every other of the machine, across restarts.
std::uint64_t creation_time(HANDLE process) {
    FILETIME created{};
    FILETIME ended{};
    FILETIME kernel{};
    FILETIME user{};
    if (::GetProcessTimes(process, &created, &ended, &kernel, &user) == 0) {
        return 0;
    }
    return (std::uint64_t{created.dwHighDateTime} << 32) | created.dwLowDateTime;
}

std::string registry_text(const char* key, const char* value) {
    std::array<char, 256> text{};
    DWORD size = text.size();
    if (::RegGetValueA(HKEY_LOCAL_MACHINE, key, value, RRF_RT_REG_SZ | RRF_SUBKEY_WOW6464KEY,
                       nullptr, text.data(), &size) != ERROR_SUCCESS) {
        return {};
    }
    return text.data();
}

std::string registry_number(const char* key, const char* value) {
    DWORD number = 0;
    DWORD size = sizeof number;
    if (::RegGetValueA(HKEY_LOCAL_MACHINE, key, value, RRF_RT_REG_DWORD | RRF_SUBKEY_WOW6464KEY,
                       nullptr, &number, &size) != ERROR_SUCCESS) {
        return {};
    }
    return std::to_string(number);
}

// The same for every process of one boot, new at every boot and different
// between machines, whatever their clocks do: where the system DLLs lie,
// which Windows draws at random once per boot, with the count of boots
// where the system keeps one. (The minute the machine started, as earlier
// versions took it, moved with the clock and was the same on machines made
// from one image and started together.)
std::string boot_identity() {
    const auto base = reinterpret_cast<std::uintptr_t>(::GetModuleHandleA("ntdll.dll"));
    const std::string boots = registry_number(
        R"(SYSTEM\CurrentControlSet\Control\Session Manager\Memory Management\PrefetchParameters)",
        "BootId");
    return "windows-" + std::to_string(base) + "-" + boots;
}

// What a console event that ends the run must undo, kept where the handler,
// which runs on a thread of its own, can reach it under the lock.
struct Cleanup {
    CRITICAL_SECTION lock{};
    HANDLE log = INVALID_HANDLE_VALUE; // none: nothing to cut
    LARGE_INTEGER cut_to{};
    std::wstring journal;
    std::vector<std::wstring> files;
    std::vector<std::wstring> directories;
    HANDLE main_thread = nullptr;
    HANDLE allowed = nullptr; // set while the run may end
    bool armed = false;
};

Cleanup cleanup; // NOLINT: the one state the console handler can reach

std::wstring wide(const std::string& path) {
    const int size = ::MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, nullptr, 0);
    std::wstring text(static_cast<std::size_t>(size > 0 ? size : 1), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, text.data(), size);
    text.resize(text.size() - 1);
    return text;
}

// Ctrl+C, Ctrl+Break, a closed console, log-off and shut-down: the run is
// stopped where it stands and what it leaves is undone as the POSIX build
// does on SIGTERM, then Windows ends the process.
BOOL WINAPI end_run(DWORD /*event*/) {
    // A run whose row is saved ends only once its success line is out.
    ::WaitForSingleObject(cleanup.allowed, 5000);
    ::EnterCriticalSection(&cleanup.lock);
    if (cleanup.armed) {
        ::SuspendThread(cleanup.main_thread);
        const bool cut =
            cleanup.log == INVALID_HANDLE_VALUE ||
            (::SetFilePointerEx(cleanup.log, cleanup.cut_to, nullptr, FILE_BEGIN) != 0 &&
             ::SetEndOfFile(cleanup.log) != 0);
        if (cut) {
            if (!cleanup.journal.empty()) {
                ::DeleteFileW(cleanup.journal.c_str());
            }
            for (const std::wstring& file : cleanup.files) {
                ::DeleteFileW(file.c_str());
            }
            for (const std::wstring& directory : cleanup.directories) {
                ::RemoveDirectoryW(directory.c_str());
            }
        }
    }
    // The lock stays taken: nothing of the run's changes the plan again.
    return FALSE;
}

class WindowsMachine final : public Machine {
  public:
    WindowsMachine() {
        ::InitializeCriticalSection(&cleanup.lock);
        cleanup.allowed = ::CreateEventA(nullptr, TRUE, TRUE, nullptr);
        ::DuplicateHandle(::GetCurrentProcess(), ::GetCurrentThread(), ::GetCurrentProcess(),
                          &cleanup.main_thread, 0, FALSE, DUPLICATE_SAME_ACCESS);
    }
    ~WindowsMachine() override { on_termination({}); }
    WindowsMachine(const WindowsMachine&) = delete;
    WindowsMachine& operator=(const WindowsMachine&) = delete;

    ProcessIdentity this_process() override {
        ProcessIdentity me;
        std::array<char, MAX_COMPUTERNAME_LENGTH + 1> name{};
        DWORD size = name.size();
        if (::GetComputerNameA(name.data(), &size) != 0) {
            me.host.assign(name.data(), size);
        }
        me.machine = registry_text(R"(SOFTWARE\Microsoft\Cryptography)", "MachineGuid");
        me.boot = boot_identity();
        me.pid = ::GetCurrentProcessId();
        me.start = creation_time(::GetCurrentProcess());
        return me;
    }

    ProcessState state_of(const ProcessIdentity& process) override {
        HANDLE handle = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE,
                                      static_cast<DWORD>(process.pid));
        if (handle == nullptr) {
            return ::GetLastError() == ERROR_INVALID_PARAMETER ? ProcessState::ended
                                                               : ProcessState::unknown;
        }
        DWORD code = 0;
        const bool running = ::GetExitCodeProcess(handle, &code) != 0 && code == STILL_ACTIVE;
        const bool same = creation_time(handle) == process.start;
        ::CloseHandle(handle);
        return running && same ? ProcessState::running : ProcessState::ended;
    }

    std::string random_token() override { return draw_random_token(); }

    std::chrono::nanoseconds uptime() override {
        return std::chrono::milliseconds{::GetTickCount64()};
    }

    void on_termination(const TerminationPlan& plan) override {
        const bool empty = plan.log == nullptr && plan.journal.empty() && plan.files.empty() &&
                           plan.directories.empty();
        ::EnterCriticalSection(&cleanup.lock);
        cleanup.log = plan.log != nullptr ? reinterpret_cast<HANDLE>(plan.log->native_handle())
                                          : INVALID_HANDLE_VALUE;
        cleanup.cut_to.QuadPart = static_cast<LONGLONG>(plan.cut_to);
        cleanup.journal = wide(plan.journal);
        cleanup.files.clear();
        for (const std::string& file : plan.files) {
            cleanup.files.push_back(wide(file));
        }
        cleanup.directories.clear();
        for (const std::string& directory : plan.directories) {
            cleanup.directories.push_back(wide(directory));
        }
        cleanup.armed = !empty;
        ::LeaveCriticalSection(&cleanup.lock);
        // Once set, the handler stays: with nothing to undo it only lets a
        // saved row's success line out first.
        if (!empty && !handler_set_) {
            handler_set_ = ::SetConsoleCtrlHandler(end_run, TRUE) != 0;
        }
    }

    void defer_termination() override { ::ResetEvent(cleanup.allowed); }
    void allow_termination() override { ::SetEvent(cleanup.allowed); }

  private:
    bool handler_set_ = false;
};

} // namespace

std::unique_ptr<Machine> native_machine() {
    return std::make_unique<WindowsMachine>();
}

} // namespace wutally::platform
