#include "log_generator.hpp"
#include "platform/concat.hpp"

#include "log/columns.hpp"
#include "log/row_format.hpp"
#include "report/figures/field_values.hpp"
#include "report/figures/log_time.hpp"

#include <fstream>
#include <memory>
#include <stdexcept>

namespace wutally::tools {

std::uint64_t Random::next() {
    state_ = state_ * 6364136223846793005ULL + 1442695040888963407ULL;
    return state_ >> 33;
}

double Random::uniform() {
    return static_cast<double>(next() % 1000000) / 1000000.0;
}

std::string Random::digits(int count) {
    std::string text;
    for (int i = 0; i < count; ++i) {
        text += static_cast<char>('0' + next() % 10);
    }
    return text;
}

std::string Random::hex(int count) {
    std::string text;
    for (int i = 0; i < count; ++i) {
        text += "0123456789abcdef"[next() % 16];
    }
    return text;
}

std::string Random::decimal(int whole, int fraction) {
    // Drawn last part first, as the example logs were made.
    const std::string after_point = digits(fraction);
    const std::string before_point = digits(whole);
    const std::string_view sign = next() % 3 == 0 ? "-" : "";
    return concat(sign, before_point, ".", after_point);
}

std::string Random::julian_time() {
    // Drawn last part first, as the example logs were made.
    const std::string second = digits(2);
    const std::string minute = digits(2);
    const std::string hour = digits(1);
    const std::string fraction = digits(5);
    const std::string day = digits(4);
    return concat("245", day, ".", fraction, " (Sat Feb 23 0", hour, ":", minute, ":", second,
                  " 2002)");
}

std::string date_text(double moment) {
    return report::format_stamp(report::stamp_of_days(moment));
}

std::string work_unit_name(Random& random, std::size_t row) {
    return random.hex(2) + "ja" + random.digits(2) + "ab." + std::to_string(10000 + row % 90000) +
           "." + random.digits(4) + "." + std::to_string(row) + "." + random.digits(3);
}

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

std::size_t value_index(std::string_view header) {
    std::size_t index = 0;
    for (const log::ColumnList* list : log::column_lists) {
        for (const std::string_view key : list->keys) {
            if (log::header_text(*list, key) == header) {
                return index;
            }
            ++index;
        }
    }
    throw std::invalid_argument("no column " + std::string(header));
}

void set_value(std::vector<std::string>& values, std::string_view header, std::string value) {
    values.at(value_index(header)) = std::move(value);
}

std::string log_row(std::string_view date, const std::vector<std::string>& values) {
    std::string row = "\r\n\"" + std::string(date) + "\"";
    for (const std::string& value : values) {
        row += ',';
        log::append_value_field(row, value);
    }
    return row;
}

namespace {

// Hands the rows of a generated log to `take` one by one, as row number,
// work unit name and text, and returns the name in the last.
template <class Take> std::string generate_rows(std::size_t rows, Take take) {
    // CPU times, the account's total, scores and powers are never below zero
    // in a real log.
    std::vector<std::size_t> positive;
    for (const std::string_view header :
         {"cpu", "total_cpu", "bs_power", "bs_score", "bg_score", "bg_power", "bg_chisq"}) {
        positive.push_back(value_index(header));
    }
    Random random;
    std::string name;
    double moment = 17167; // 2017-01-01, then a unit every five minutes or so
    for (std::size_t row = 0; row < rows; ++row) {
        name = work_unit_name(random, row);
        moment += static_cast<double>(300 + random.next() % 60) / 86400;
        std::vector<std::string> values = row_values(random, name);
        for (const std::size_t index : positive) {
            if (values[index].starts_with('-')) {
                values[index].erase(0, 1);
            }
        }
        take(row, name, log_row(date_text(moment), values));
    }
    return name;
}

// A log written through a buffer of about a MiB.
class LogWriter {
  public:
    explicit LogWriter(const std::filesystem::path& path)
        : out_(path, std::ios::binary), buffer_(log::header_row()) {}
    LogWriter(const LogWriter&) = delete;
    LogWriter& operator=(const LogWriter&) = delete;
    ~LogWriter() { flush(); }

    void add(const std::string& row) {
        buffer_ += row;
        if (buffer_.size() > (1U << 20)) {
            flush();
        }
    }

  private:
    void flush() {
        out_.write(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
        buffer_.clear();
    }

    std::ofstream out_;
    std::string buffer_;
};

} // namespace

std::string generate_log(const std::filesystem::path& path, std::size_t rows,
                         std::optional<std::size_t> named_row) {
    LogWriter log(path);
    std::string named;
    const std::string last =
        generate_rows(rows, [&](std::size_t row, const std::string& name, const std::string& text) {
            log.add(text);
            if (row == named_row) {
                named = name;
            }
        });
    return named_row ? named : last;
}

void generate_farm(const std::filesystem::path& directory, std::size_t rows, std::size_t machines) {
    std::unique_ptr<LogWriter> log;
    std::size_t machine = 0;
    generate_rows(rows, [&](std::size_t row, const std::string&, const std::string& text) {
        if (!log || row >= (machine + 1) * rows / machines) {
            if (log) {
                ++machine;
            }
            std::string name = std::to_string(10000 + machine); // "m0000" on
            name[0] = 'm';
            const auto folder = directory / name;
            std::filesystem::create_directories(folder);
            log = std::make_unique<LogWriter>(folder / "WUTally.csv");
        }
        log->add(text);
    });
}

} // namespace wutally::tools
