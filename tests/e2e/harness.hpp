// Runs the built program in scratch directories and compares what it prints
// and writes. The program under test is given on the command line, so the
// same suite runs against any build of it.
#pragma once

#include "support/scratch_directory.hpp"

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace wutally::e2e {

struct ProgramUnderTest {
    std::vector<std::string> runner;  // words put before the program, e.g. an emulator
    std::vector<std::string> command; // the runner, then the program
    std::string holder;               // a helper that holds a file open (hold_open)
    std::string paused;               // the program built to pause while it holds the log
    std::string report;               // wutally-report of the same build
    std::string reference_report;     // a POSIX wutally-report to compare with, if any
    char separator = '/';
    bool text_mode_output = false; // "\n" reaches standard output as "\r\n"
    bool posix = true;             // POSIX-only faults (locks, limits, links) apply
};

ProgramUnderTest& program_under_test();

struct RunResult {
    std::string output;
    int status = -1;
    std::chrono::duration<double> elapsed{}; // from its start to its exit
};

struct RunOptions {
    std::optional<long long> file_size_limit = {};
    std::optional<long long> memory_limit = {}; // of the address space, in bytes
    bool with_errors = false;                   // standard error joins the output
};

RunResult run_program(const std::filesystem::path& directory,
                      const std::vector<std::string>& arguments = {},
                      const RunOptions& options = {});

// Runs the report of the build under test, or the reference report, with
// the runner only for the former.
RunResult run_report(const std::filesystem::path& directory,
                     const std::vector<std::string>& arguments, bool reference = false);

// Runs the report of the build under test through `sh -c SCRIPT`, in which
// "$@" stands for the report's command (runner included), so that the
// script can pipe into it or redirect it; standard error is merged into the
// output.
RunResult run_report_in_shell(const std::filesystem::path& directory, const std::string& script,
                              const RunOptions& options = {});

// Starts the program once in each directory, all at once, then waits for all.
std::vector<RunResult> run_programs_at_once(const std::vector<std::filesystem::path>& directories,
                                            const std::vector<std::string>& arguments);

// The program under test with its arguments, its runner before it.
std::vector<std::string> program_command(const std::vector<std::string>& arguments);

// A command started in the background; finish() waits for it.
class StartedRun {
  public:
    // Starts the words, a command and its arguments, in the directory.
    StartedRun(const std::filesystem::path& directory, std::vector<std::string> words,
               const RunOptions& options = {});
    StartedRun(const StartedRun&) = delete;
    StartedRun& operator=(const StartedRun&) = delete;
    StartedRun(StartedRun&& other) noexcept;
    StartedRun& operator=(StartedRun&&) = delete;
    ~StartedRun();
    // Waits for the run to exit and returns what it printed.
    RunResult finish();
    // Whether the run has exited, without waiting; its status is kept.
    bool exited();
    void signal(int number) const;

  private:
    int child_ = -1;
    int output_fd_ = -1;
    std::chrono::steady_clock::time_point start_;
    std::optional<int> wait_status_;
    std::chrono::steady_clock::time_point exit_;
};

// Another process holding a file open as a run holds the log, until this
// object is destroyed.
class HeldOpen {
  public:
    HeldOpen(const std::filesystem::path& directory, const std::string& file_name);
    HeldOpen(const HeldOpen&) = delete;
    HeldOpen& operator=(const HeldOpen&) = delete;
    ~HeldOpen();
    [[nodiscard]] bool held() const { return held_; }
    // Lets the file go and waits for the holder to end.
    void release();

  private:
    int child_ = -1;
    int input_fd_ = -1;
    bool held_ = false;
};

using testing_support::read_file;
using testing_support::ScratchDirectory;
using testing_support::write_file;

// The text with a carriage return put before each line feed.
std::string with_crlf(std::string_view text);
// The output as the program's standard output delivers it.
std::string console_text(std::string_view text);
// The text with each "|" replaced by the program's directory separator.
std::string native(std::string_view text);

// Replaces each "YYYY.MM.DD hh:mm:ss" time with that pattern itself.
std::string masked(std::string text);
// The time in the output's success line, if there is one.
std::optional<std::string> success_time(std::string_view output);
// The date field of the log's last row, without quotes.
std::string last_row_time(std::string_view log);

inline const std::string saved_line =
    "WUTally: work unit saved successfully on YYYY.MM.DD hh:mm:ss\r\n";

} // namespace wutally::e2e
