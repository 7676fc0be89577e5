// This process and its machine, on POSIX systems.
#include "platform/native.hpp"

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <optional>
#include <pthread.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <time.h>
#include <unistd.h>
#include <vector>

namespace wutally::platform {

namespace {

std::string first_line_of(const char* path) {
    std::ifstream file(path);
    std::string line;
    std::getline(file, line);
    return line;
}

// The fields of a process's stat file after its command name, which may
// hold anything: the state is the first (field 3), the start the twentieth
// (field 22).
std::vector<std::string_view> stat_fields(std::string_view line) {
    std::vector<std::string_view> fields;
    const std::size_t name_end = line.rfind(')');
    if (name_end == std::string_view::npos) {
        return fields;
    }
    line.remove_prefix(std::min(line.size(), name_end + 2));
    while (!line.empty()) {
        const std::size_t space = line.find(' ');
        fields.push_back(line.substr(0, space));
        line.remove_prefix(space == std::string_view::npos ? line.size() : space + 1);
    }
    return fields;
}

std::optional<std::uint64_t> number_of(std::string_view digits) {
    std::uint64_t value = 0;
    if (digits.empty()) {
        return std::nullopt;
    }
    for (const char digit : digits) {
        if (digit < '0' || digit > '9') {
            return std::nullopt;
        }
        value = value * 10 + static_cast<std::uint64_t>(digit - '0');
    }
    return value;
}

// When a process started, in clock ticks since the boot, and whether it has
// exited (a zombie, or one being reaped); none where it cannot be read.
struct ProcessStat {
    std::uint64_t start = 0;
    bool exited = false;
};

std::optional<ProcessStat> stat_of(const std::string& stat_path) {
    const std::string line = first_line_of(stat_path.c_str());
    const auto fields = stat_fields(line);
    constexpr std::size_t start_field = 22 - 3;
    if (fields.size() <= start_field) {
        return std::nullopt;
    }
    const auto start = number_of(fields[start_field]);
    if (!start) {
        return std::nullopt;
    }
    return ProcessStat{*start, fields[0] == "Z" || fields[0] == "X"};
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
// reach it: a handler may only read what was set before it ran, so the plan
// is copied here with the signals blocked.
constexpr std::size_t longest_path = 4096;
constexpr std::size_t most_files = 4;
constexpr std::size_t most_directories = 2;

using PathText = std::array<char, longest_path>;

struct Cleanup {
    int log_fd = -1; // none: nothing to cut
    off_t cut_to = 0;
    PathText journal{};
    std::array<PathText, most_files> files{};
    std::array<PathText, most_directories> directories{};
};

Cleanup cleanup; // NOLINT: the one state a signal handler can reach

constexpr std::array ending_signals{SIGTERM, SIGINT, SIGHUP};

// A path kept for the handler; one too long to keep is left out, and what
// it names is then judged by the next run as a dead run's.
void keep(PathText& kept, const std::string& path) {
    kept[0] = '\0';
    if (path.size() < kept.size()) {
        std::memcpy(kept.data(), path.c_str(), path.size() + 1);
    }
}

// Only calls that are safe in a signal handler.
extern "C" void end_run(int number) {
    if (cleanup.log_fd < 0 || ::ftruncate(cleanup.log_fd, cleanup.cut_to) == 0) {
        if (cleanup.journal[0] != '\0') {
            ::unlink(cleanup.journal.data());
        }
        for (const PathText& file : cleanup.files) {
            if (file[0] != '\0') {
                ::unlink(file.data());
            }
        }
        for (const PathText& directory : cleanup.directories) {
            if (directory[0] != '\0') {
                ::rmdir(directory.data());
            }
        }
    }
    // Ends the run as the signal would have.
    ::signal(number, SIG_DFL);
    ::raise(number);
}

sigset_t ending_set() {
    sigset_t set;
    sigemptyset(&set);
    for (const int number : ending_signals) {
        sigaddset(&set, number);
    }
    return set;
}

class PosixMachine final : public Machine {
  public:
    ~PosixMachine() override { on_termination({}); }
    PosixMachine() = default;
    PosixMachine(const PosixMachine&) = delete;
    PosixMachine& operator=(const PosixMachine&) = delete;

    ProcessIdentity this_process() override {
        ProcessIdentity me;
        struct utsname names {};
        if (::uname(&names) == 0) {
            me.host = names.nodename;
        }
        me.machine = first_line_of("/etc/machine-id");
        me.boot = boot_identity();
        me.pid = static_cast<std::uint64_t>(::getpid());
        const auto stat = stat_of("/proc/self/stat");
        me.start = stat ? stat->start : 0;
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
        // The same id may since have gone to another process, and one that
        // has exited still answers until its parent reaps it.
        const auto stat = stat_of("/proc/" + std::to_string(pid) + "/stat");
        if (!stat || process.start == 0) {
            return ProcessState::unknown;
        }
        return stat->start == process.start && !stat->exited ? ProcessState::running
                                                             : ProcessState::ended;
    }

    std::string random_token() override { return draw_random_token(); }

    std::chrono::nanoseconds uptime() override {
        struct timespec since_boot {};
#ifdef CLOCK_BOOTTIME
        if (::clock_gettime(CLOCK_BOOTTIME, &since_boot) == 0) {
            return std::chrono::seconds{since_boot.tv_sec} +
                   std::chrono::nanoseconds{since_boot.tv_nsec};
        }
#endif
        ::clock_gettime(CLOCK_MONOTONIC, &since_boot);
        return std::chrono::seconds{since_boot.tv_sec} +
               std::chrono::nanoseconds{since_boot.tv_nsec};
    }

    void on_termination(const TerminationPlan& plan) override {
        const bool empty = plan.log == nullptr && plan.journal.empty() && plan.files.empty() &&
                           plan.directories.empty();
        if (empty) {
            disarm();
            return;
        }
        arm();
        const sigset_t set = ending_set();
        sigset_t before;
        ::pthread_sigmask(SIG_BLOCK, &set, &before);
        cleanup.log_fd = plan.log != nullptr ? static_cast<int>(plan.log->native_handle()) : -1;
        cleanup.cut_to = static_cast<off_t>(plan.cut_to);
        keep(cleanup.journal, plan.journal);
        for (std::size_t at = 0; at < cleanup.files.size(); ++at) {
            keep(cleanup.files[at], at < plan.files.size() ? plan.files[at] : std::string());
        }
        for (std::size_t at = 0; at < cleanup.directories.size(); ++at) {
            keep(cleanup.directories[at],
                 at < plan.directories.size() ? plan.directories[at] : std::string());
        }
        ::pthread_sigmask(SIG_SETMASK, &before, nullptr);
    }

    void defer_termination() override {
        const sigset_t set = ending_set();
        ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
    }

    void allow_termination() override {
        const sigset_t set = ending_set();
        ::pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    }

  private:
    void arm() {
        if (armed_) {
            return;
        }
        struct sigaction action {};
        action.sa_handler = end_run;
        action.sa_mask = ending_set();
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

    void disarm() {
        if (!armed_) {
            return;
        }
        for (std::size_t at = 0; at < ending_signals.size(); ++at) {
            ::sigaction(ending_signals[at], &earlier_[at], nullptr);
        }
        ::sigaction(SIGPIPE, &earlier_pipe_, nullptr);
        cleanup = Cleanup{};
        armed_ = false;
    }

    bool armed_ = false;
    std::array<struct sigaction, ending_signals.size()> earlier_{};
    struct sigaction earlier_pipe_ {};
};

} // namespace

std::unique_ptr<Machine> native_machine() {
    return std::make_unique<PosixMachine>();
}

} // namespace wutally::platform
