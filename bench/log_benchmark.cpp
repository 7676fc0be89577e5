// Times a run that reads a whole log (its work unit stands in the last row,
// so nothing is written) against `grep -c -F NAME LOG` on the same file, and
// reports the program's peak resident memory.
//
//   log_benchmark --program=PATH [--rows=N]...   (default: 1000000 and 1000)
#include "log/row_format.hpp"

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

// A small deterministic generator, so every run benchmarks the same bytes.
class Random {
  public:
    std::uint64_t next() {
        state_ = state_ * 6364136223846793005ULL + 1442695040888963407ULL;
        return state_ >> 33;
    }
    std::string digits(int count) {
        std::string text;
        for (int i = 0; i < count; ++i) {
            text += static_cast<char>('0' + next() % 10);
        }
        return text;
    }
    std::string hex(int count) {
        std::string text;
        for (int i = 0; i < count; ++i) {
            text += "0123456789abcdef"[next() % 16];
        }
        return text;
    }
    std::string decimal(int whole, int fraction) {
        return (next() % 3 == 0 ? "-" : "") + digits(whole) + "." + digits(fraction);
    }
    std::string julian_time() {
        return "245" + digits(4) + "." + digits(5) + " (Sat Feb 23 0" + digits(1) + ":" +
               digits(2) + ":" + digits(2) + " 2002)";
    }

  private:
    std::uint64_t state_ = 0x5eed;
};

std::string work_unit_name(Random& random, std::size_t row) {
    return random.hex(2) + "ja" + random.digits(2) + "ab." + std::to_string(10000 + row % 90000) +
           "." + random.digits(4) + "." + std::to_string(row) + "." + random.digits(3);
}

// The 56 values of one row, in column order, as plausible as real ones.
std::vector<std::string> row_values(Random& random, const std::string& name) {
    return {
        random.digits(7),
        random.digits(8),
        "volunteer" + random.digits(4) + "@example.org",
        "Volunteer " + random.digits(4),
        "http://example.org/~v" + random.digits(4),
        "Netherlands",
        random.digits(4) + " AB",
        "1",
        "0",
        "home",
        random.julian_time(),
        random.julian_time(),
        random.julian_time(),
        random.digits(4),
        random.digits(4),
        random.decimal(8, 6),
        "0",
        "sweep",
        "4.12",
        name,
        "16bit",
        "0",
        "0.71",
        random.decimal(2, 6),
        random.decimal(2, 6),
        random.decimal(2, 6),
        random.decimal(2, 6),
        random.decimal(1, 6),
        random.julian_time(),
        random.decimal(10, 4),
        random.digits(10),
        "9765.625",
        "2048",
        "8",
        random.digits(2),
        "ao1420",
        "1048576",
        "4.2",
        "81920",
        random.decimal(1, 6) + "e+01",
        "65536",
        random.decimal(5, 6),
        random.decimal(1, 6),
        random.decimal(2, 6),
        random.decimal(1, 6),
        random.digits(5),
        random.digits(2),
        random.decimal(1, 6),
        random.digits(5),
        random.decimal(1, 6),
        random.decimal(1, 6),
        random.decimal(1, 6),
        random.digits(1),
        random.digits(3),
        random.decimal(1, 6),
        "16",
    };
}

// Writes a log of `rows` rows and returns the name in its last row.
std::string generate_log(const fs::path& path, std::size_t rows) {
    Random random;
    std::ofstream out(path, std::ios::binary);
    std::string buffer = wutally::log::header_row();
    std::string name;
    for (std::size_t row = 0; row < rows; ++row) {
        name = work_unit_name(random, row);
        buffer += "\r\n\"2026.12.08 21:" + random.digits(2).substr(0, 1) + "1:" + random.digits(1) +
                  "0\"";
        for (const std::string& value : row_values(random, name)) {
            buffer += ',';
            wutally::log::append_value_field(buffer, value);
        }
        if (buffer.size() > (1U << 20)) {
            out.write(buffer.data(), static_cast<std::streamsize>(buffer.size()));
            buffer.clear();
        }
    }
    out.write(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    return name;
}

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
    const std::string name = generate_log(log, rows);
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
