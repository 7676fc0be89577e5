#include "report/figures/log_time.hpp"

#include "log/row_format.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <ctime>

namespace wutally::report {

namespace {

using std::chrono::days;
using std::chrono::sys_days;

constexpr std::string_view stamp_shape = "dddd.dd.dd dd:dd:dd";
constexpr int seconds_per_day = 86400;

int number_at(std::string_view text, std::size_t at, std::size_t digits) {
    int value = 0;
    for (std::size_t i = at; i < at + digits; ++i) {
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

void append_digits(std::string& text, int value, int digits) {
    std::array<char, 8> out{};
    for (int i = digits - 1; i >= 0; --i) {
        out.at(static_cast<std::size_t>(i)) = static_cast<char>('0' + value % 10);
        value /= 10;
    }
    text.append(out.data(), static_cast<std::size_t>(digits));
}

// Eight bytes at a time, as every row's date passes through here: each
// byte that must be a digit is one, and each other is the separator due.
bool has_stamp_shape(std::string_view field) {
    if (field.size() != stamp_shape.size()) {
        return false;
    }
    const auto word_at = [&](std::size_t at) {
        std::uint64_t word = 0;
        std::memcpy(&word, field.data() + at, 8);
        return word;
    };
    // For each word: where its digits stand, and what stands elsewhere.
    struct Shape {
        std::size_t at;
        std::uint64_t digits;
        std::uint64_t others;
    };
    constexpr auto shape_of = [](std::size_t at) {
        Shape shape{at, 0, 0};
        for (std::size_t i = 0; i < 8; ++i) {
            const char byte = stamp_shape[at + i];
            const std::uint64_t place = std::uint64_t{0xFF} << (8 * i);
            if (byte == 'd') {
                shape.digits |= place;
            } else {
                shape.others |= static_cast<std::uint64_t>(static_cast<unsigned char>(byte))
                                << (8 * i);
            }
        }
        return shape;
    };
    static_assert(std::endian::native == std::endian::little, "bytes are read as words");
    constexpr std::array<Shape, 3> shapes{shape_of(0), shape_of(8), shape_of(11)};
    constexpr std::uint64_t high = 0xF0F0F0F0F0F0F0F0ULL;
    constexpr std::uint64_t zeros = 0x3030303030303030ULL;
    constexpr std::uint64_t sixes = 0x0606060606060606ULL;
    std::uint64_t wrong = 0;
    for (const Shape& shape : shapes) {
        const std::uint64_t word = word_at(shape.at);
        const std::uint64_t digits = (word & shape.digits) | (zeros & ~shape.digits);
        // A byte is a digit where its high half is 3, and stays so with 6 added.
        wrong |= ((digits & high) ^ zeros) | (((digits + sixes) & high) ^ zeros);
        wrong |= (word & ~shape.digits) ^ shape.others;
    }
    return wrong == 0;
}

std::chrono::year_month_day date_of(double days_count) {
    return sys_days{days{static_cast<int>(std::floor(days_count))}};
}

} // namespace

std::optional<Stamp> parse_stamp(std::string_view field) {
    if (!has_stamp_shape(field)) {
        return std::nullopt;
    }
    const std::chrono::year_month_day date{
        std::chrono::year{number_at(field, 0, 4)},
        std::chrono::month{static_cast<unsigned>(number_at(field, 5, 2))},
        std::chrono::day{static_cast<unsigned>(number_at(field, 8, 2))}};
    const int hour = number_at(field, 11, 2);
    const int minute = number_at(field, 14, 2);
    const int second = number_at(field, 17, 2);
    if (!date.ok() || hour > 23 || minute > 59 || second > 60) {
        return std::nullopt;
    }
    return Stamp{std::chrono::time_point_cast<Day::duration>(sys_days{date}),
                 std::chrono::duration<std::int32_t>{hour * 3600 + minute * 60 + second}};
}

std::optional<Stamp> StampReader::read(std::string_view field) {
    if (!has_stamp_shape(field)) {
        return std::nullopt;
    }
    if (!day_ || !std::equal(day_text_.begin(), day_text_.end(), field.begin())) {
        const auto stamp = parse_stamp(field);
        if (!stamp) {
            return std::nullopt;
        }
        std::copy_n(field.begin(), day_text_.size(), day_text_.begin());
        day_ = stamp->day;
        return stamp;
    }
    const int hour = number_at(field, 11, 2);
    const int minute = number_at(field, 14, 2);
    const int second = number_at(field, 17, 2);
    if (hour > 23 || minute > 59 || second > 60) {
        return std::nullopt;
    }
    return Stamp{*day_, std::chrono::duration<std::int32_t>{hour * 3600 + minute * 60 + second}};
}

// The log's own form of a time, written as the logger writes it.
std::string format_stamp(Stamp stamp) {
    const std::chrono::year_month_day date{stamp.day};
    const int seconds = stamp.time_of_day.count();
    const bool leap_second = seconds >= seconds_per_day;
    std::tm time{};
    time.tm_year = static_cast<int>(date.year()) - 1900;
    time.tm_mon = static_cast<int>(static_cast<unsigned>(date.month())) - 1;
    time.tm_mday = static_cast<int>(static_cast<unsigned>(date.day()));
    time.tm_hour = leap_second ? 23 : seconds / 3600;
    time.tm_min = leap_second ? 59 : seconds / 60 % 60;
    time.tm_sec = leap_second ? 60 : seconds % 60;
    return log::format_timestamp(time);
}

Month month_of(Stamp stamp) {
    const std::chrono::year_month_day date{stamp.day};
    return {date.year(), date.month()};
}

std::string format_month(Month month) {
    std::string text;
    append_digits(text, static_cast<int>(month.year()), 4);
    text += '-';
    append_digits(text, static_cast<int>(static_cast<unsigned>(month.month())), 2);
    return text;
}

int month_index(Month month) {
    return static_cast<int>(month.year()) * 12 +
           static_cast<int>(static_cast<unsigned>(month.month())) - 1;
}

Month month_of_index(int index) {
    return {std::chrono::year{index / 12},
            std::chrono::month{static_cast<unsigned>(index % 12 + 1)}};
}

double days_since_epoch(Stamp stamp) {
    return static_cast<double>(stamp.day.time_since_epoch().count()) +
           static_cast<double>(stamp.time_of_day.count()) / seconds_per_day;
}

Stamp stamp_of_days(double days_count) {
    const double day = std::floor(days_count);
    return {Day{Day::duration{static_cast<std::int32_t>(day)}},
            std::chrono::duration<std::int32_t>{
                static_cast<std::int32_t>((days_count - day) * seconds_per_day)}};
}

double month_start_days(Month month) {
    return static_cast<double>(sys_days{month / 1}.time_since_epoch().count());
}

Month month_of_day(double days_count) {
    const std::chrono::year_month_day date = date_of(days_count);
    return {date.year(), date.month()};
}

std::string format_day(double days_count) {
    const std::chrono::year_month_day date = date_of(days_count);
    std::string text = format_month({date.year(), date.month()});
    text += '-';
    append_digits(text, static_cast<int>(static_cast<unsigned>(date.day())), 2);
    return text;
}

} // namespace wutally::report
