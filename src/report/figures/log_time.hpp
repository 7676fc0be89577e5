// The times of the log's date fields, on the calendar of <chrono>.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace wutally::report {

// A date field's time: the day and the seconds since its midnight, where
// 23:59:60, a leap second that a local time can show, is second 86400.
// Times compare as they follow one another.
// A day as a count of 32 bits, so that a stamp takes 8 bytes: a million
// work units keep a million of them.
using Day = std::chrono::time_point<std::chrono::system_clock,
                                    std::chrono::duration<std::int32_t, std::chrono::days::period>>;

struct Stamp {
    Day day;
    std::chrono::duration<std::int32_t> time_of_day{0};

    // clang-tidy 14 takes the literal 0 that a defaulted <=> compares with
    // for a null pointer.
    friend auto operator<=>(const Stamp&, const Stamp&) = default; // NOLINT(modernize-use-nullptr)
};

using Month = std::chrono::year_month;

// None unless the field is exactly "YYYY.MM.DD hh:mm:ss" and a real date
// and time.
std::optional<Stamp> parse_stamp(std::string_view field);

// The same for the rows of a log one after another, most of which fall on
// the day of the row before: that day is worked out once.
class StampReader {
  public:
    std::optional<Stamp> read(std::string_view field);

  private:
    std::array<char, 10> day_text_{};
    std::optional<Day> day_;
};
// "YYYY.MM.DD hh:mm:ss" again.
std::string format_stamp(Stamp stamp);

Month month_of(Stamp stamp);
// "YYYY-MM".
std::string format_month(Month month);
// A month as a count of months, so that months are dense keys, and back.
int month_index(Month month);
Month month_of_index(int index);

// Days since 1970-01-01 plus the fraction of the day, for placing times on
// a chart's axis; and the time of such a day count, to the second below.
double days_since_epoch(Stamp stamp);
Stamp stamp_of_days(double days);
// The month's first day in the same measure, the month a day falls in, and
// the day as "YYYY-MM-DD".
double month_start_days(Month month);
Month month_of_day(double days);
std::string format_day(double days);

} // namespace wutally::report
