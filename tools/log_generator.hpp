// Logs in the program's own format, of any size, with plausible values: for
// the benchmarks and the example logs.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace wutally::tools {

// A small deterministic generator, so every run makes the same bytes.
class Random {
  public:
    explicit Random(std::uint64_t seed = 0x5eed) : state_(seed) {}
    std::uint64_t next();
    // A value in [0, 1).
    double uniform();
    std::string digits(int count);
    std::string hex(int count);
    std::string decimal(int whole, int fraction);
    std::string julian_time();

  private:
    std::uint64_t state_;
};

std::string work_unit_name(Random& random, std::size_t row);

// "YYYY.MM.DD hh:mm:ss" of a moment counted in days since 1970-01-01.
std::string date_text(double moment);

// The 56 values of one row, in column order.
std::vector<std::string> row_values(Random& random, const std::string& name);

// Replaces the value under a header text ("cpu", "user_name", ...).
void set_value(std::vector<std::string>& values, std::string_view header, std::string value);

// "\r\n", the date field and the values as the writer formats them.
std::string log_row(std::string_view date, const std::vector<std::string>& values);

// Writes a log of `rows` rows and returns the name in its last row, or in
// the row numbered `named_row` (from 0) where one is given.
std::string generate_log(const std::filesystem::path& path, std::size_t rows,
                         std::optional<std::size_t> named_row = std::nullopt);

// The same rows as the log of `rows` rows, machine by machine: the first
// rows / machines in the log of folder "m0000" under the directory, the
// next in "m0001", and so on.
void generate_farm(const std::filesystem::path& directory, std::size_t rows, std::size_t machines);

} // namespace wutally::tools
