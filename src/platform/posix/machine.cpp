// This process and its machine, on POSIX systems.
#include "platform/native.hpp"

#include <array>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

namespace wutally::platform {

namespace {

std::string first_line_of(const char* path) {
    std::ifstream file(path);
    std::string line;
    std::getline(file, line);
    return line;
}

// When a process started, in clock ticks since the boot: field 22 of its
// stat file, counted after the command name, which may hold anything.
std::optional<std::uint64_t> start_of(const std::string& stat_path) {
    const std::string line = first_line_of(stat_path.c_str());
    const std::size_t name_end = line.rfind(')');
    if (name_end == std::string::npos) {
        return std::nullopt;
    }
    std::size_t at = name_end + 2;
    for (int field = 3; field < 22 && at != std::string::npos; ++field) {
        at = line.find(' ', at);
        at = at == std::string::npos ? at : at + 1;
    }
    if (at == std::string::npos) {
        return std::nullopt;
    }
    std::uint64_t start = 0;
    for (; at < line.size() && line[at] >= '0' && line[at] <= '9'; ++at) {
        start = start * 10 + static_cast<std::uint64_t>(line[at] - '0');
    }
    return start;
}

// New on every boot, and, as the processes of containers on one kernel
// cannot see each other, different for each of them.
std::string boot_identity() {
    std::string boot = first_line_of("/proc/sys/kernel/random/boot_id");
    struct stat namespace_file {};
    if (boot.empty() || ::stat("/proc/self/ns/pid", &namespace_file) != 0) {
        return boot;
    }
    return boot + "/" + std::to_string(namespace_file.st_ino);
}

// What a signal that ends the run must still do, kept where the handler can
// reach it: a handler may only read what was set before it ran.
struct Cleanup {
    std::array<char, 4096> lock_path{};
    std::array<char, 64> token{};
    std::size_t token_size = 0;
    volatile std::sig_atomic_t armed = 0;
    volatile std::sig_atomic_t cutting = 0;
    int log_fd = -1;
    off_t cut_size = 0;
};

Cleanup cleanup; // NOLINT: the one state a signal handler can reach

constexpr std::array ending_signals{SIGTERM, SIGINT, SIGHUP};

// Whether the lock file still holds this run's token; only calls that are
// safe in a signal handler.
bool lock_file_is_own() {
    const int fd = ::open(cleanup.lock_path.data(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    std::array<char, 4096> text{};
    const ssize_t count = ::read(fd, text.data(), text.size());
    ::close(fd);
    const std::size_t size = count > 0 ? static_cast<std::size_t>(count) : 0;
    for (std::size_t at = 0; at + cleanup.token_size <= size; ++at) {
        if (std::memcmp(text.data() + at, cleanup.token.data(), cleanup.token_size) == 0) {
            return true;
        }
    }
    return false;
}

extern "C" void end_run(int number) {
    // A cut that fails leaves the pending row, which the next run takes
    // back; a signal handler can do no more.
    if (cleanup.cutting != 0 && ::ftruncate(cleanup.log_fd, cleanup.cut_size) != 0) {
        cleanup.cutting = 0;
    }
    if (cleanup.armed != 0 && lock_file_is_own()) {
        ::unlink(cleanup.lock_path.data());
    }
    // Ends the run as the signal would have.
    ::signal(number, SIG_DFL);
    ::raise(number);
}

class PosixMachine final : public Machine {
  public:
    ProcessIdentity this_process() override {
        ProcessIdentity me;
        struct utsname names {};
        if (::uname(&names) == 0) {
            me.host = names.nodename;
        }
        me.machine = first_line_of("/etc/machine-id");
        me.boot = boot_identity();
        me.pid = static_cast<std::uint64_t>(::getpid());
        me.start = start_of("/proc/self/stat").value_or(0);
        return me;
    }

    ProcessState state_of(const ProcessIdentity& process) override {
        const auto pid = static_cast<pid_t>(process.pid);
        if (pid <= 0 || static_cast<std::uint64_t>(pid) != process.pid) {
            return ProcessState::unknown;
        }
        if (::kill(pid, 0) != 0 && errno == ESRCH) {
            return ProcessState::ended;
        }
        // The same id may since have gone to another process.
        const auto start = start_of("/proc/" + std::to_string(pid) + "/stat");
        if (!start || process.start == 0) {
            return ProcessState::unknown;
        }
        return *start == process.start ? ProcessState::running : ProcessState::ended;
    }

    std::string random_token() override { return draw_random_token(); }

    void remove_on_termination(const std::string& lock_path, std::string_view token) override {
        release_on_termination();
        if (lock_path.size() >= cleanup.lock_path.size() || token.size() > cleanup.token.size()) {
            return; // too long to keep; the lock is then broken as stale
        }
        std::memcpy(cleanup.lock_path.data(), lock_path.c_str(), lock_path.size() + 1);
        std::memcpy(cleanup.token.data(), token.data(), token.size());
        cleanup.token_size = token.size();
        cleanup.armed = 1;
        struct sigaction action {};
        action.sa_handler = end_run;
        sigemptyset(&action.sa_mask);
        for (const int number : ending_signals) {
            sigaddset(&action.sa_mask, number);
        }
        for (std::size_t at = 0; at < ending_signals.size(); ++at) {
            ::sigaction(ending_signals[at], nullptr, &earlier_[at]);
            // A signal the run was started to ignore stays ignored.
            if (earlier_[at].sa_handler != SIG_IGN) {
                ::sigaction(ending_signals[at], &action, nullptr);
            }
        }
        // A message printed to a closed pipe while the log is held must not
        // end the run half-way.
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        ::sigaction(SIGPIPE, &ignore, &earlier_pipe_);
        armed_ = true;
    }

    void cut_on_termination(const File& log, std::uint64_t size) override {
        cleanup.log_fd = static_cast<int>(log.native_handle());
        cleanup.cut_size = static_cast<off_t>(size);
        cleanup.cutting = 1;
    }

    void written() override { cleanup.cutting = 0; }

    void release_on_termination() override {
        if (!armed_) {
            return;
        }
        for (std::size_t at = 0; at < ending_signals.size(); ++at) {
            ::sigaction(ending_signals[at], &earlier_[at], nullptr);
        }
        ::sigaction(SIGPIPE, &earlier_pipe_, nullptr);
        cleanup.armed = 0;
        cleanup.cutting = 0;
        armed_ = false;
    }

  private:
    bool armed_ = false;
    std::array<struct sigaction, ending_signals.size()> earlier_{};
    struct sigaction earlier_pipe_ {};
};

} // namespace

std::unique_ptr<Machine> native_machine() {
    return std::make_unique<PosixMachine>();
}

} // namespace wutally::platform
