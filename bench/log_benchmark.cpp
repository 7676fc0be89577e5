// Times a run that reads a whole log (its work unit stands in the middle
// row, so nothing is written) against `grep -c -F NAME LOG` and a plain read of
// the file by `dd`, and the report over the same log and over a farm's
// folder that holds the same rows, a thousand a machine; with peak
// resident memory of each.
//
//   log_benchmark --program=PATH --report=PATH [--rows=N]...
//   (default: 1000, 100000 and 1000000 rows)
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
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

void write_text(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// One command's timings over the rounds.
struct Series {
    std::string label;
    std::vector<std::string> words;
    int expected_status;
    std::vector<double> seconds;
    long peak_kib = 0;
};

// Small logs take a few milliseconds a run, mostly starting the process, so
// they get more rounds.
int rounds_for(std::size_t rows) {
    return rows <= 1000 ? 41 : rows <= 100000 ? 11 : 5;
}

std::vector<double> ratios(const Series& a, const Series& b) {
    std::vector<double> values;
    for (std::size_t at = 0; at < a.seconds.size(); ++at) {
        values.push_back(a.seconds[at] / b.seconds[at]);
    }
    return values;
}

bool benchmark(const std::string& program, const std::string& report, std::size_t rows) {
    const fs::path directory =
        fs::temp_directory_path() / ("wutally-bench-" + std::to_string(rows));
    fs::create_directories(directory);
    const fs::path log = directory / "WUTally.csv";
    // The work unit in the middle row: the check, which reads from both ends
    // at once, reads the whole log before it finds it.
    const std::string name = wutally::tools::generate_log(log, rows, rows / 2);
    write_text(directory / "state.txt", "bg_fft_len=16\n");
    write_text(directory / "result.txt", "name=" + name + "\n");
    write_text(directory / "user_info.txt", "id=1\n");
    const auto bytes = fs::file_size(log);
    // The same rows machine by machine, where there are a thousand or more.
    const std::size_t machines = rows / 1000;
    const fs::path farm = directory / "farm";
    if (machines > 1) {
        wutally::tools::generate_farm(farm, rows, machines);
    }

    std::vector<Series> series{
        {"wutally", {program}, 2, {}},
        {"grep -c -F", {"grep", "-c", "-F", name, log.string()}, 0, {}},
        {"dd bs=128k",
         {"dd", "if=" + log.string(), "of=/dev/null", "bs=128k", "status=none"},
         0,
         {}},
        {"wutally-report", {report, log.string()}, 0, {}},
        {"wutally-report --json", {report, "--json", log.string()}, 0, {}},
        {"wutally-report --html",
         {report, "--html", (directory / "page.html").string(), log.string()},
         0,
         {}},
    };
    if (machines > 1) {
        series.push_back({"wutally-report farm", {report, farm.string()}, 0, {}});
    }
    time_command(directory, series[1].words); // warm the cache
    for (int round = 0; round < rounds_for(rows); ++round) {
        for (Series& command : series) {
            const Timing run = time_command(directory, command.words);
            if (run.status != command.expected_status || fs::file_size(log) != bytes) {
                std::fprintf(stderr, "unexpected result of %s: %d\n", command.label.c_str(),
                             run.status);
                return false;
            }
            command.seconds.push_back(run.seconds);
            command.peak_kib = std::max(command.peak_kib, run.peak_kib);
        }
    }
    if (std::getenv("KEEP") == nullptr) {
        fs::remove_all(directory);
    }
    std::printf("%zu rows, %ju bytes, median of %d rounds:\n", rows,
                static_cast<std::uintmax_t>(bytes), rounds_for(rows));
    for (const Series& command : series) {
        std::printf("  %-22s %8.4f s  peak %7.2f MiB\n", command.label.c_str(),
                    median(command.seconds), static_cast<double>(command.peak_kib) / 1024.0);
    }
    std::printf("  wutally / grep %.2f, wutally / dd %.2f (medians of the rounds' ratios)\n",
                median(ratios(series[0], series[1])), median(ratios(series[0], series[2])));
    // The report's goals: at most 3 times the read, in at most 96 MiB for
    // the summary and 128 MiB with the page.
    std::printf("  report / dd %.2f, --json / dd %.2f, --html / dd %.2f (goal: 3 at most); "
                "peaks %.1f, %.1f and %.1f MiB (goals: 96, 96 and 128 at most)\n",
                median(ratios(series[3], series[2])), median(ratios(series[4], series[2])),
                median(ratios(series[5], series[2])),
                static_cast<double>(series[3].peak_kib) / 1024.0,
                static_cast<double>(series[4].peak_kib) / 1024.0,
                static_cast<double>(series[5].peak_kib) / 1024.0);
    if (machines > 1) {
        std::printf("  a farm of %zu logs of %zu rows / the one log %.2f (goal: 1.2 at most)\n",
                    machines, rows / machines, median(ratios(series[6], series[3])));
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    std::string program;
    std::string report;
    std::vector<std::size_t> sizes;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument.starts_with("--program=")) {
            program = fs::absolute(argument.substr(10)).string();
        } else if (argument.starts_with("--report=")) {
            report = fs::absolute(argument.substr(9)).string();
        } else if (argument.starts_with("--rows=")) {
            sizes.push_back(std::stoul(argument.substr(7)));
        }
    }
    if (program.empty() || report.empty()) {
        std::fputs("usage: log_benchmark --program=PATH --report=PATH [--rows=N]...\n", stderr);
        return 2;
    }
    if (sizes.empty()) {
        sizes = {1000, 100000, 1000000};
    }
    std::puts("alternating warm-cache runs; the work unit stands in the middle row, so the "
              "duplicate check reads the whole log");
    for (const std::size_t rows : sizes) {
        if (!benchmark(program, report, rows)) {
            return 1;
        }
    }
    return 0;
}
