// This process and its machine, on Windows.
#include "platform/native.hpp"

#include <array>
#include <string>

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

// The minute the machine started, as its clock tells it now. A clock that
// is set meanwhile only makes another run take this machine for another
// and judge its locks by their age.
std::string boot_minute() {
    FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    const std::uint64_t seconds =
        ((std::uint64_t{now.dwHighDateTime} << 32) | now.dwLowDateTime) / 10000000U;
    return "windows-" + std::to_string((seconds - ::GetTickCount64() / 1000) / 60);
}

class WindowsMachine final : public Machine {
  public:
    ProcessIdentity this_process() override {
        ProcessIdentity me;
        std::array<char, MAX_COMPUTERNAME_LENGTH + 1> name{};
        DWORD size = name.size();
        if (::GetComputerNameA(name.data(), &size) != 0) {
            me.host.assign(name.data(), size);
        }
        me.boot = boot_minute();
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

    // A console window closed or Ctrl+C ends the process at once; what it
    // leaves is then taken back by the next run, which finds its process
    // ended.
    void on_termination(const TerminationPlan& /*plan*/) override {}
    void defer_termination() override {}
    void allow_termination() override {}
};

} // namespace

std::unique_ptr<Machine> native_machine() {
    return std::make_unique<WindowsMachine>();
}

} // namespace wutally::platform
