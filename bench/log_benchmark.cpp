// Times a run that reads a whole log (its work unit stands in the last row,
// so nothing is written) against `grep -c -F NAME LOG` on the same file, and
// reports the program's peak resident memory.
//
//   log_benchmark --program=PATH [--rows=N]...   (default: 1000000 and 1000)
#include "log_generator.hpp"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Timing {
    double seconds;
    long peak_kib;
    int status;
};

Timing time_command(const fs::path& directory, std::vector<std::string> words) {
    std::fflush(stdout);
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = ::fork();
    if (child == 0) {
        if (::chdir(directory.c_str()) != 0 || std::freopen("/dev/null", "w", stdout) == nullptr) {
            ::_exit(127);
        }
        std::vector<char*> argv;
        for (std::string& word : words) {
            argv.push_back(word.data());
        }
        argv.push_back(nullptr);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    rusage usage{};
    ::wait4(child, &status, 0, &usage);
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    return {elapsed.count(), usage.ru_maxrss, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void write_text(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

bool benchmark(const std::string& program, std::size_t rows) {
    const fs::path directory =
        fs::temp_directory_path() / ("wutally-bench-" + std::to_string(rows));
    fs::create_directories(directory);
    const fs::path log = directory / "WUTally.csv";
    const std::string name = wutally::tools::generate_log(log, rows);
    write_text(directory / "state.txt", "bg_fft_len=16\n");
    write_text(directory / "result.txt", "name=" + name + "\n");
    write_text(directory / "user_info.txt", "id=1\n");
    const auto bytes = fs::file_size(log);

    constexpr int repeats = 5;
    std::vector<double> program_seconds;
    std::vector<double> grep_seconds;
    long peak_kib = 0;
    time_command(directory, {"grep", "-c", "-F", name, log.string()}); // warm the cache
    for (int i = 0; i < repeats; ++i) {
        const Timing run = time_command(directory, {program});
        const Timing grep = time_command(directory, {"grep", "-c", "-F", name, log.string()});
        if (run.status != 2 || grep.status != 0 || fs::file_size(log) != bytes) {
            std::fprintf(stderr, "unexpected result: program %d, grep %d\n", run.status,
                         grep.status);
            return false;
        }
        program_seconds.push_back(run.seconds);
        grep_seconds.push_back(grep.seconds);
        peak_kib = std::max(peak_kib, run.peak_kib);
    }
    if (std::getenv("KEEP") == nullptr)
        fs::remove_all(directory);
    const double program_median = median(program_seconds);
    const double grep_median = median(grep_seconds);
    std::printf(
        "%9zu rows %11ju bytes  wutally %8.4f s  grep %8.4f s  ratio %5.2f  peak %6.2f MiB\n", rows,
        static_cast<std::uintmax_t>(bytes), program_median, grep_median,
        program_median / grep_median, static_cast<double>(peak_kib) / 1024.0);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    std::string program;
    std::vector<std::size_t> sizes;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument.starts_with("--program=")) {
            program = fs::absolute(argument.substr(10)).string();
        } else if (argument.starts_with("--rows=")) {
            sizes.push_back(std::stoul(argument.substr(7)));
        }
    }
    if (program.empty()) {
        std::fputs("usage: log_benchmark --program=PATH [--rows=N]...\n", stderr);
        return 2;
    }
    if (sizes.empty()) {
        sizes = {1000000, 1000};
    }
    std::puts("median of 5 alternating warm-cache runs; the work unit stands in the last row");
    for (const std::size_t rows : sizes) {
        if (!benchmark(program, rows)) {
            return 1;
        }
    }
    return 0;
}
