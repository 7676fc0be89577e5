// Writes the example logs of two machines under examples/logs: a desktop
// whose client got faster with a new version, and a slower laptop.
//
//   example_logs DIRECTORY
#include "log/row_format.hpp"
#include "log_generator.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <vector>

namespace {

namespace fs = std::filesystem;
using wutally::tools::Random;

struct Machine {
    const char* directory;
    int first_day; // days since 1970-01-01
    int last_day;
    double share_of_day;  // of the time the client runs
    double old_cpu_hours; // before the upgrade
    double new_cpu_hours;
    int upgrade_day;
};

double normal(Random& random) {
    const double u = std::max(random.uniform(), 1e-6);
    return std::sqrt(-2 * std::log(u)) * std::cos(2 * std::numbers::pi * random.uniform());
}

std::string fixed(double value, int decimals) {
    std::array<char, 64> text{};
    const auto result = std::to_chars(text.data(), text.data() + text.size(), value,
                                      std::chars_format::fixed, decimals);
    return {text.data(), result.ptr};
}

struct Unit {
    double moment; // days since 1970-01-01
    double cpu_s;
    std::size_t machine;
};

// When each machine finished its units and how long they took.
std::vector<Unit> units_of(const Machine& machine, std::size_t index, Random& random) {
    std::vector<Unit> units;
    double moment = machine.first_day + 0.3;
    while (moment < machine.last_day) {
        const double base =
            moment >= machine.upgrade_day ? machine.new_cpu_hours : machine.old_cpu_hours;
        // Now and then a unit ends early on noisy data.
        const double hours = random.uniform() < 0.04 ? base * (0.15 + 0.2 * random.uniform())
                                                     : base * (1 + 0.07 * normal(random));
        units.push_back({moment, hours * 3600, index});
        // The client runs for a share of the day; a unit takes its CPU time
        // and a little more to fetch and return.
        moment += hours / 24 / machine.share_of_day * (1.05 + 0.1 * random.uniform());
    }
    return units;
}

std::string row_of(const Unit& unit, const Machine& machine, int nwus, double total_cpu,
                   Random& random) {
    const std::string name = random.hex(8) + "." + std::to_string(20000 + random.next() % 9000) +
                             "." + random.digits(4) + "." + random.digits(6) + "." +
                             random.digits(3);
    std::vector<std::string> values = wutally::tools::row_values(random, name);
    const auto set = [&](std::string_view header, std::string value) {
        wutally::tools::set_value(values, header, std::move(value));
    };
    set("user_name", "Ada Volunteer");
    set("email_addr", "ada.volunteer@example.org");
    set("nwus", std::to_string(nwus));
    set("nresults", std::to_string(nwus - 4));
    set("total_cpu", fixed(total_cpu, 6));
    set("version", unit.moment >= machine.upgrade_day ? "4.12" : "4.08");
    set("cpu", fixed(unit.cpu_s, 6));
    set("prog", "1.000000");
    set("bg_score", fixed(0.4 + 2.2 * std::pow(random.uniform(), 3), 6));
    set("bg_power", fixed(1 + 3 * random.uniform(), 6));
    set("bg_chisq", fixed(0.8 + 0.6 * random.uniform(), 6));
    set("bs_score", fixed(0.9 + 24 * std::pow(random.uniform(), 6), 6));
    set("bs_power", fixed(20 + 80 * random.uniform(), 6));
    return wutally::tools::log_row(wutally::tools::date_text(unit.moment), values);
}

// Both machines log into their own logs for one account, whose counts and
// CPU time grow with the units of both.
void write_logs(const fs::path& root, const std::vector<Machine>& machines) {
    Random random(11);
    std::vector<Unit> all;
    for (std::size_t index = 0; index < machines.size(); ++index) {
        const std::vector<Unit> units = units_of(machines[index], index, random);
        all.insert(all.end(), units.begin(), units.end());
    }
    std::sort(all.begin(), all.end(),
              [](const Unit& a, const Unit& b) { return a.moment < b.moment; });
    std::vector<std::string> logs(machines.size(), wutally::log::header_row());
    int nwus = 1180;
    double total_cpu = nwus * 9.6 * 3600;
    for (const Unit& unit : all) {
        ++nwus;
        total_cpu += unit.cpu_s;
        logs[unit.machine] += row_of(unit, machines[unit.machine], nwus, total_cpu, random);
    }
    for (std::size_t index = 0; index < machines.size(); ++index) {
        fs::create_directories(root / machines[index].directory);
        std::ofstream(root / machines[index].directory / "WUTally.csv", std::ios::binary)
            << logs[index];
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: example_logs DIRECTORY\n", stderr);
        return 2;
    }
    // 2025-01-04 is day 20092; 2025-08-15 is 20315; 2025-09-01 is 20332;
    // 2026-11-28 is 20785.
    write_logs(argv[1], {{"desktop", 20092, 20785, 0.4, 9.6, 7.9, 20315},
                         {"laptop", 20332, 20785, 0.45, 13.8, 13.8, 20332}});
    return 0;
}
