#include "report/field_values.hpp"

#include "log/row_format.hpp"

#include <array>
#include <charconv>
#include <cmath>
#include <ctime>

namespace wutally::report {

std::optional<double> parse_number(std::string_view field) {
    double value = 0;
    const char* last = field.data() + field.size();
    const auto [end, error] = std::from_chars(field.data(), last, value);
    if (error != std::errc{} || end != last || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

namespace {

constexpr std::string_view stamp_shape = "dddd.dd.dd dd:dd:dd";

bool is_leap_year(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int days_in_month(int year, int month) {
    constexpr std::array<int, 12> days{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && is_leap_year(year) ? 29 : days.at(static_cast<std::size_t>(month - 1));
}

int number_at(std::string_view text, std::size_t at, std::size_t digits) {
    int value = 0;
    for (std::size_t i = at; i < at + digits; ++i) {
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

void append_digits(std::string& text, std::int64_t value, int digits) {
    std::array<char, 8> out{};
    for (int i = digits - 1; i >= 0; --i) {
        out.at(static_cast<std::size_t>(i)) = static_cast<char>('0' + value % 10);
        value /= 10;
    }
    text.append(out.data(), static_cast<std::size_t>(digits));
}

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
std::int64_t days_from_civil(std::int64_t year, int month, int day) {
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const std::int64_t year_of_era = year - era * 400;
    const std::int64_t day_of_year = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const std::int64_t day_of_era =
        year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
    return era * 146097 + day_of_era - 719468;
}

struct CivilDate {
    std::int64_t year;
    int month;
    int day;
};

// The date of a day counted from 1970-01-01, the inverse of days_from_civil.
CivilDate civil_from_days(std::int64_t days) {
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const std::int64_t day_of_era = days - era * 146097;
    const std::int64_t year_of_era =
        (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
    const std::int64_t day_of_year =
        day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
    const std::int64_t shifted_month = (5 * day_of_year + 2) / 153;
    const auto day = static_cast<int>(day_of_year - (153 * shifted_month + 2) / 5 + 1);
    const auto month = static_cast<int>(shifted_month < 10 ? shifted_month + 3 : shifted_month - 9);
    return {year_of_era + era * 400 + (month <= 2 ? 1 : 0), month, day};
}

} // namespace

std::optional<Stamp> parse_stamp(std::string_view field) {
    if (field.size() != stamp_shape.size()) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < field.size(); ++i) {
        const bool digit = field[i] >= '0' && field[i] <= '9';
        if (stamp_shape[i] == 'd' ? !digit : field[i] != stamp_shape[i]) {
            return std::nullopt;
        }
    }
    const int year = number_at(field, 0, 4);
    const int month = number_at(field, 5, 2);
    const int day = number_at(field, 8, 2);
    const int hour = number_at(field, 11, 2);
    const int minute = number_at(field, 14, 2);
    const int second = number_at(field, 17, 2);
    // A second of 60 is a leap second, which a local time can show.
    if (month < 1 || month > 12 || day < 1 || day > days_in_month(year, month) || hour > 23 ||
        minute > 59 || second > 60) {
        return std::nullopt;
    }
    return ((((Stamp{year} * 100 + month) * 100 + day) * 100 + hour) * 100 + minute) * 100 + second;
}

// The log's own form of a time, written as the logger writes it.
std::string format_stamp(Stamp stamp) {
    std::tm time{};
    time.tm_year = static_cast<int>(stamp / 10000000000) - 1900;
    time.tm_mon = static_cast<int>(stamp / 100000000 % 100) - 1;
    time.tm_mday = static_cast<int>(stamp / 1000000 % 100);
    time.tm_hour = static_cast<int>(stamp / 10000 % 100);
    time.tm_min = static_cast<int>(stamp / 100 % 100);
    time.tm_sec = static_cast<int>(stamp % 100);
    return log::format_timestamp(time);
}

std::string format_month(int month) {
    std::string text;
    append_digits(text, month / 100, 4);
    text += '-';
    append_digits(text, month % 100, 2);
    return text;
}

double days_since_epoch(Stamp stamp) {
    const auto days =
        days_from_civil(stamp / 10000000000, static_cast<int>(stamp / 100000000 % 100),
                        static_cast<int>(stamp / 1000000 % 100));
    const auto seconds = (stamp / 10000 % 100) * 3600 + (stamp / 100 % 100) * 60 + stamp % 100;
    return static_cast<double>(days) + static_cast<double>(seconds) / 86400.0;
}

double month_start_days(int month) {
    return static_cast<double>(days_from_civil(month / 100, month % 100, 1));
}

Stamp stamp_of_days(double days) {
    const double day = std::floor(days);
    const CivilDate date = civil_from_days(static_cast<std::int64_t>(day));
    const auto seconds = static_cast<Stamp>((days - day) * 86400);
    return ((date.year * 100 + date.month) * 100 + date.day) * 1000000 + seconds / 3600 * 10000 +
           seconds / 60 % 60 * 100 + seconds % 60;
}

int month_of_day(double days) {
    const CivilDate date = civil_from_days(static_cast<std::int64_t>(std::floor(days)));
    return static_cast<int>(date.year * 100 + date.month);
}

std::string format_day(double days) {
    const CivilDate date = civil_from_days(static_cast<std::int64_t>(std::floor(days)));
    std::string text;
    append_digits(text, date.year, 4);
    text += '-';
    append_digits(text, date.month, 2);
    text += '-';
    append_digits(text, date.day, 2);
    return text;
}

} // namespace wutally::report
