#include "harness.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

namespace wutally::e2e {

ProgramUnderTest& program_under_test() {
    static ProgramUnderTest program;
    return program;
}

namespace {

[[noreturn]] void exec_in(const std::filesystem::path& directory, std::vector<std::string> words,
                          const RunOptions& options, int output_fd, int input_fd = -1) {
    if (::chdir(directory.c_str()) != 0 || ::dup2(output_fd, STDOUT_FILENO) < 0 ||
        (options.with_errors && ::dup2(output_fd, STDERR_FILENO) < 0)) {
        ::_exit(127);
    }
    if (input_fd >= 0 && ::dup2(input_fd, STDIN_FILENO) < 0) {
        ::_exit(127);
    }
    if (options.file_size_limit) {
        const auto limit = static_cast<rlim_t>(*options.file_size_limit);
        const rlimit file_size{limit, limit};
        ::setrlimit(RLIMIT_FSIZE, &file_size);
        std::signal(SIGXFSZ, SIG_IGN);
    }
    if (options.memory_limit) {
        const auto limit = static_cast<rlim_t>(*options.memory_limit);
        const rlimit memory{limit, limit};
        ::setrlimit(RLIMIT_AS, &memory);
    }
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    ::execvp(argv[0], argv.data());
    ::_exit(127);
}

} // namespace

std::vector<std::string> program_command(const std::vector<std::string>& arguments) {
    std::vector<std::string> words = program_under_test().command;
    words.insert(words.end(), arguments.begin(), arguments.end());
    return words;
}

StartedRun::StartedRun(const std::filesystem::path& directory, std::vector<std::string> words,
                       const RunOptions& options)
    : start_(std::chrono::steady_clock::now()) {
    std::array<int, 2> pipe_fds{};
    if (::pipe2(pipe_fds.data(), O_CLOEXEC) != 0) {
        ADD_FAILURE() << "pipe failed";
        return;
    }
    child_ = ::fork();
    if (child_ == 0) {
        ::close(pipe_fds[0]);
        exec_in(directory, std::move(words), options, pipe_fds[1]);
    }
    ::close(pipe_fds[1]);
    output_fd_ = pipe_fds[0];
}

StartedRun::StartedRun(StartedRun&& other) noexcept
    : child_(std::exchange(other.child_, -1)), output_fd_(std::exchange(other.output_fd_, -1)),
      start_(other.start_), wait_status_(other.wait_status_), exit_(other.exit_) {}

StartedRun::~StartedRun() {
    if (child_ > 0) {
        finish();
    }
}

bool StartedRun::exited() {
    int status = 0;
    if (!wait_status_ && child_ > 0 && ::waitpid(child_, &status, WNOHANG) == child_) {
        wait_status_ = status;
        exit_ = std::chrono::steady_clock::now();
    }
    return wait_status_.has_value();
}

void StartedRun::signal(int number) const {
    if (child_ > 0) {
        ::kill(child_, number);
    }
}

RunResult StartedRun::finish() {
    RunResult result;
    std::array<char, 4096> chunk{};
    for (;;) {
        const ssize_t count = ::read(output_fd_, chunk.data(), chunk.size());
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            break;
        }
        result.output.append(chunk.data(), static_cast<std::size_t>(count));
    }
    ::close(output_fd_);
    if (!wait_status_) {
        int status = 0;
        ::waitpid(child_, &status, 0);
        wait_status_ = status;
        exit_ = std::chrono::steady_clock::now();
    }
    child_ = -1;
    const int status = *wait_status_;
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.elapsed = exit_ - start_;
    return result;
}

RunResult run_program(const std::filesystem::path& directory,
                      const std::vector<std::string>& arguments, const RunOptions& options) {
    return StartedRun(directory, program_command(arguments), options).finish();
}

RunResult run_report(const std::filesystem::path& directory,
                     const std::vector<std::string>& arguments, bool reference) {
    const ProgramUnderTest& program = program_under_test();
    std::vector<std::string> words;
    if (reference) {
        words.push_back(program.reference_report);
    } else {
        words = program.runner;
        words.push_back(program.report);
    }
    words.insert(words.end(), arguments.begin(), arguments.end());
    return StartedRun(directory, std::move(words)).finish();
}

RunResult run_report_in_shell(const std::filesystem::path& directory, const std::string& script,
                              const RunOptions& options) {
    std::vector<std::string> words{"sh", "-c", "exec 2>&1; " + script, "sh"};
    const ProgramUnderTest& program = program_under_test();
    words.insert(words.end(), program.runner.begin(), program.runner.end());
    words.push_back(program.report);
    return StartedRun(directory, std::move(words), options).finish();
}

std::vector<RunResult> run_programs_at_once(const std::vector<std::filesystem::path>& directories,
                                            const std::vector<std::string>& arguments) {
    std::vector<StartedRun> started;
    started.reserve(directories.size());
    for (const auto& directory : directories) {
        started.emplace_back(directory, program_command(arguments));
    }
    // Polls, so that each run's exit time is taken when it exits rather than
    // when its turn to be collected comes; their output is small enough to
    // wait in the pipes.
    for (;;) {
        const auto running = std::count_if(started.begin(), started.end(),
                                           [](StartedRun& run) { return !run.exited(); });
        if (running == 0) {
            break;
        }
        ::usleep(1000);
    }
    std::vector<RunResult> results;
    for (StartedRun& run : started) {
        results.push_back(run.finish());
    }
    return results;
}

HeldOpen::HeldOpen(const std::filesystem::path& directory, const std::string& file_name) {
    std::vector<std::string> words = program_under_test().runner;
    words.push_back(program_under_test().holder);
    words.push_back(file_name);
    std::array<int, 2> output{};
    std::array<int, 2> input{};
    if (::pipe2(output.data(), O_CLOEXEC) != 0 || ::pipe2(input.data(), O_CLOEXEC) != 0) {
        ADD_FAILURE() << "pipe failed";
        return;
    }
    child_ = ::fork();
    if (child_ == 0) {
        ::close(output[0]);
        ::close(input[1]);
        exec_in(directory, words, {}, output[1], input[0]);
    }
    ::close(output[1]);
    ::close(input[0]);
    input_fd_ = input[1];
    std::array<char, 16> said{};
    const ssize_t count = ::read(output[0], said.data(), said.size());
    held_ = count >= 4 && std::string_view(said.data(), 4) == "held";
    ::close(output[0]);
}

void HeldOpen::release() {
    if (input_fd_ >= 0) {
        ::close(input_fd_);
        input_fd_ = -1;
    }
    if (child_ > 0) {
        int status = 0;
        ::waitpid(child_, &status, 0);
        child_ = -1;
    }
}

HeldOpen::~HeldOpen() {
    release();
}

std::string with_crlf(std::string_view text) {
    std::string converted;
    for (const char byte : text) {
        if (byte == '\n') {
            converted += '\r';
        }
        converted += byte;
    }
    return converted;
}

std::string console_text(std::string_view text) {
    return program_under_test().text_mode_output ? with_crlf(text) : std::string(text);
}

std::string native(std::string_view text) {
    std::string converted(text);
    for (char& byte : converted) {
        if (byte == '|') {
            byte = program_under_test().separator;
        }
    }
    return converted;
}

namespace {

constexpr std::string_view time_pattern = "YYYY.MM.DD hh:mm:ss";

bool is_time_at(std::string_view text, std::size_t at) {
    if (at + time_pattern.size() > text.size()) {
        return false;
    }
    for (std::size_t i = 0; i < time_pattern.size(); ++i) {
        const char shape = time_pattern[i];
        const char byte = text[at + i];
        const bool digit = byte >= '0' && byte <= '9';
        if ((shape == '.' || shape == ' ' || shape == ':') ? byte != shape : !digit) {
            return false;
        }
    }
    return true;
}

} // namespace

std::string masked(std::string text) {
    for (std::size_t at = 0; at < text.size(); ++at) {
        if (is_time_at(text, at)) {
            text.replace(at, time_pattern.size(), time_pattern);
        }
    }
    return text;
}

std::optional<std::string> success_time(std::string_view output) {
    constexpr std::string_view prefix = "WUTally: work unit saved successfully on ";
    const std::size_t at = output.find(prefix);
    if (at == std::string_view::npos || !is_time_at(output, at + prefix.size())) {
        return std::nullopt;
    }
    return std::string(output.substr(at + prefix.size(), time_pattern.size()));
}

std::string last_row_time(std::string_view log) {
    const std::size_t line_break = log.find_last_of("\r\n");
    if (line_break == std::string_view::npos || !is_time_at(log, line_break + 2)) {
        return {};
    }
    return std::string(log.substr(line_break + 2, time_pattern.size()));
}

} // namespace wutally::e2e

// Options: --program=PATH, --report=PATH and --holder=PATH (the report and
// the hold_open helper of the same build), then optional --runner=WORD
// (repeatable, put before all three), --reference-report=PATH (a POSIX
// report whose JSON the report must match), --paused=PATH (the program
// built to pause while it holds the log) and --windows (the program is a
// Windows build: "\\" separator, text-mode standard output, no POSIX-only
// faults).
int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    auto& program = wutally::e2e::program_under_test();
    std::vector<std::string> runner;
    std::string path;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument.starts_with("--program=")) {
            path = argument.substr(10);
        } else if (argument.starts_with("--holder=")) {
            program.holder = std::filesystem::absolute(argument.substr(9)).string();
        } else if (argument.starts_with("--paused=")) {
            program.paused = std::filesystem::absolute(argument.substr(9)).string();
        } else if (argument.starts_with("--report=")) {
            program.report = std::filesystem::absolute(argument.substr(9)).string();
        } else if (argument.starts_with("--reference-report=")) {
            program.reference_report = std::filesystem::absolute(argument.substr(19)).string();
        } else if (argument.starts_with("--runner=")) {
            runner.emplace_back(argument.substr(9));
        } else if (argument == "--windows") {
            program.separator = '\\';
            program.text_mode_output = true;
            program.posix = false;
        }
    }
    if (path.empty() && !GTEST_FLAG_GET(list_tests)) {
        std::fputs("usage: e2e_tests --program=PATH --report=PATH --holder=PATH "
                   "[--runner=WORD]... [--reference-report=PATH] [--windows]\n",
                   stderr);
        return 2;
    }
    program.runner = runner;
    program.command = runner;
    if (!path.empty()) {
        program.command.push_back(std::filesystem::absolute(path).string());
    }
    return RUN_ALL_TESTS();
}
