// The report's readers of numbers and dates, its name set and its markup
// escaping: the places where a wrong byte would give a wrong figure or a
// broken page.
#include "by_label.hpp"
#include "report/figures/field_values.hpp"
#include "report/figures/median.hpp"
#include "report/figures/name_set.hpp"
#include "report/rendering/markup.hpp"
#include "report/rendering/svg_chart.hpp"
#include "report/rendering/text_report.hpp"
#include "support/test_random.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <random>
#include <set>

namespace wutally::report {
namespace {

struct NumberCase {
    const char* label;
    std::string field;
    std::optional<double> number;
};
PRINT_CASE_BY_LABEL(NumberCase)

class Numbers : public testing::TestWithParam<NumberCase> {};

TEST_P(Numbers, AreReadFromTheWholeField) {
    EXPECT_EQ(parse_number(GetParam().field), GetParam().number);
}

const NumberCase number_cases[] = {
    {"decimal", "35112.453125", 35112.453125},
    {"negative", "-3.86", -3.86},
    {"exponent", "1.215623e+01", 12.15623},
    {"integer", "1284", 1284},
    {"empty", "", std::nullopt},
    {"trailing_space", "12 ", std::nullopt},
    {"leading_space", " 12", std::nullopt},
    {"text_after", "12ab", std::nullopt},
    {"comma_decimal", "3,5", std::nullopt},
    {"infinity", "inf", std::nullopt},
    {"not_a_number", "nan", std::nullopt},
    {"overflow", "1e999", std::nullopt},
    {"exponent_without_digits", "1e+", std::nullopt},
    {"upper_case_exponent", "25E-2", 0.25},
    {"four_exponent_digits", "1e0001", 10},
};

INSTANTIATE_TEST_SUITE_P(Cases, Numbers, testing::ValuesIn(number_cases),
                         testing_support::ByLabel{});

// The quick reading of plain decimals and exponents against from_chars, on
// every form the quick one takes and some it leaves.
TEST(Numbers, QuickReadingAgreesWithFromChars) {
    testing_support::TestRandom random(12345);
    for (int round = 0; round < 200000; ++round) {
        std::string field = random.below(3) == 0 ? "-" : "";
        const auto whole = random.below(9);
        const auto fraction = random.below(10);
        for (std::uint64_t at = 0; at < whole + 1; ++at) {
            field += static_cast<char>('0' + random.below(10));
        }
        if (fraction > 0) {
            field += '.';
            for (std::uint64_t at = 0; at < fraction; ++at) {
                field += static_cast<char>('0' + random.below(10));
            }
        }
        if (random.below(2) == 0) {
            const auto exponent = random.below(40);
            field += (random.below(2) == 0 ? "e-" : "e+") + std::to_string(exponent);
        }
        EXPECT_EQ(parse_number(field), parse_number_plain(field)) << field;
    }
}

TEST(Numbers, SurelyBelowOnlyWhereTheNumberIs) {
    const struct {
        const char* field;
        double bound;
        bool below;
    } cases[] = {
        {"3.999999", 5, true},
        {"4.5", 5, true},
        {"4.5", 4.9, false},
        {"4", 5, true},
        {"4.", 5, true},
        {"9.2e+01", 50, false},
        {"-3", 5, false},
        {"12", 12.5, false},
        {"", 5, false},
        {"3.x", 5, false},
        {"1234567890123456", 1e20, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(is_surely_below(c.field, c.bound), c.below) << c.field;
        if (c.below) {
            const auto value = parse_number(c.field);
            EXPECT_TRUE(!value || *value < c.bound) << c.field;
        }
    }
}

// Long lists take the counting way: each must give what selection among
// all the values gives, wherever the two middle values fall.
TEST(Median, CountingAgreesWithSelection) {
    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> hours(0, 40 * 3600.0);
    std::uniform_real_distribution<double> exponent(-1030, 1020);
    const std::pair<const char*, std::function<double(std::size_t)>> kinds[] = {
        {"all equal", [](std::size_t) { return 4711.25; }},
        {"two values, the middle between them",
         [](std::size_t at) { return at % 2 == 0 ? 1.0 : 2.0; }},
        {"cpu times", [&](std::size_t) { return hours(random); }},
        {"one range", [](std::size_t at) { return 4096.0 + static_cast<double>(at) / 1e6; }},
        {"signs, zeros and tiny numbers",
         [&](std::size_t at) {
             const double value = std::ldexp(1.0, static_cast<int>(exponent(random)));
             return at % 5 == 0 ? 0.0 : at % 5 == 1 ? -0.0 : at % 2 == 0 ? value : -value;
         }},
        {"rising", [](std::size_t at) { return static_cast<double>(at); }},
    };
    for (const auto& [kind, value_at] : kinds) {
        for (const std::size_t size : {1, 2, 65535, 65536, 65537, 200000, 200001}) {
            std::vector<double> values(size);
            for (std::size_t at = 0; at < size; ++at) {
                values[at] = value_at(at);
            }
            std::vector<double> copy = values;
            EXPECT_EQ(median(values), median_by_selection(copy)) << kind << ", " << size;
        }
    }
    std::vector<double> none;
    EXPECT_EQ(median(none), std::nullopt);
}

struct StampCase {
    const char* label;
    std::string field;
    std::optional<Stamp> stamp;
};
PRINT_CASE_BY_LABEL(StampCase)

class Stamps : public testing::TestWithParam<StampCase> {};

TEST_P(Stamps, AreExactlyAValidDateAndTime) {
    EXPECT_EQ(parse_stamp(GetParam().field), GetParam().stamp);
    if (GetParam().stamp) {
        EXPECT_EQ(format_stamp(*GetParam().stamp), GetParam().field);
    }
}

// The time of a date field known to be valid.
Stamp at(std::string_view field) {
    return parse_stamp(field).value();
}

Stamp make_stamp(int year, unsigned month, unsigned day, int seconds) {
    using namespace std::chrono;
    return {sys_days{year_month_day{std::chrono::year{year}, std::chrono::month{month},
                                    std::chrono::day{day}}},
            duration<std::int32_t>{seconds}};
}

const StampCase stamp_cases[] = {
    {"ordinary", "2026.01.05 07:03:09", make_stamp(2026, 1, 5, 7 * 3600 + 3 * 60 + 9)},
    {"leap_day", "2024.02.29 00:00:00", make_stamp(2024, 2, 29, 0)},
    {"leap_second", "2016.12.31 23:59:60", make_stamp(2016, 12, 31, 86400)},
    {"no_leap_day_in_a_century", "1900.02.29 00:00:00", std::nullopt},
    {"leap_day_of_400", "2000.02.29 12:00:00", make_stamp(2000, 2, 29, 12 * 3600)},
    {"thirty_first_of_april", "2026.04.31 00:00:00", std::nullopt},
    {"month_thirteen", "2026.13.01 00:00:00", std::nullopt},
    {"day_zero", "2026.01.00 00:00:00", std::nullopt},
    {"hour_24", "2026.01.05 24:00:00", std::nullopt},
    {"minute_60", "2026.01.05 07:60:00", std::nullopt},
    {"dashes", "2026-01-05 07:03:09", std::nullopt},
    {"short", "2026.01.05 07:03", std::nullopt},
    {"sign_for_a_digit", "2026.01.05 07:03:+9", std::nullopt},
};

INSTANTIATE_TEST_SUITE_P(Cases, Stamps, testing::ValuesIn(stamp_cases), testing_support::ByLabel{});

TEST(Stamps, FollowTheTimes) {
    EXPECT_LT(at("2016.12.31 23:59:59"), at("2016.12.31 23:59:60"));
    EXPECT_LT(at("2016.12.31 23:59:60"), at("2017.01.01 00:00:00"));
    EXPECT_LT(at("2025.12.31 23:00:00"), at("2026.01.01 01:00:00"));
}

TEST(Days, CountFromTheEpochAndBack) {
    using std::chrono::months;
    EXPECT_EQ(days_since_epoch(at("1970.01.01 00:00:00")), 0);
    EXPECT_EQ(days_since_epoch(at("2026.01.05 12:00:00")), 20458.5);
    EXPECT_EQ(format_day(20458.5), "2026-01-05");
    EXPECT_EQ(month_of_day(days_since_epoch(at("2024.02.29 23:59:59"))),
              month_of(at("2024.02.01 00:00:00")));
    const Month december = month_of(at("2026.12.31 23:59:59"));
    EXPECT_EQ(format_month(december + months{1}), "2027-01");
    EXPECT_EQ(month_start_days(december + months{1}), days_since_epoch(at("2027.01.01 00:00:00")));
    EXPECT_EQ(month_of_index(month_index(december)), december);
    EXPECT_EQ(month_index(december + months{1}), month_index(december) + 1);
    EXPECT_EQ(stamp_of_days(days_since_epoch(at("2026.12.31 23:59:59"))),
              at("2026.12.31 23:59:59"));
    EXPECT_EQ(stamp_of_days(-0.5), at("1969.12.31 12:00:00"));
}

struct MarkupCase {
    const char* label;
    std::string text;
    std::string markup;
};
PRINT_CASE_BY_LABEL(MarkupCase)

class Markup : public testing::TestWithParam<MarkupCase> {};

TEST_P(Markup, IsEscapedAndValidUtf8) {
    EXPECT_EQ(escape_markup(GetParam().text), GetParam().markup);
}

const MarkupCase markup_cases[] = {
    {"specials", "<a href=\"x\">&'", "&lt;a href=&quot;x&quot;&gt;&amp;&#39;"},
    {"utf8_kept", "Z\xC3\xBCrich \xE2\x82\xAC \xF0\x9F\x98\x80",
     "Z\xC3\xBCrich \xE2\x82\xAC \xF0\x9F\x98\x80"},
    {"latin1_byte", "Z\xFCrich", "Z\xEF\xBF\xBDrich"},
    {"cut_sequence", "a\xE2\x82", "a\xEF\xBF\xBD\xEF\xBF\xBD"},
    {"overlong", "\xC0\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD"},
    {"surrogate", "\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
    {"control_bytes", std::string("a\0b\x1b\tc", 6),
     "a\xEF\xBF\xBD"
     "b\xEF\xBF\xBD\tc"},
    {"carriage_return_and_line_feed", "a\r\nb", "a\xEF\xBF\xBD\nb"},
    {"noncharacters", "\xEF\xBF\xBE\xEF\xBF\xBF\xEF\xBF\xBD",
     "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
};

struct PrintableCase {
    const char* label;
    std::string text;
    std::string shown;
};
PRINT_CASE_BY_LABEL(PrintableCase)

class Printable : public testing::TestWithParam<PrintableCase> {};

TEST_P(Printable, ShowsNoControlByte) {
    EXPECT_EQ(printable(GetParam().text), GetParam().shown);
}

const PrintableCase printable_cases[] = {
    {"c0_and_delete", std::string("a\0\x1b[2J\x7f", 7), "a??[2J?"},
    {"stray_c1_bytes",
     "a\x85\x9b"
     "b",
     "a??b"},
    {"c1_code_points_in_utf8_kept", "\xC2\x85", "\xC2\x85"},
    {"other_stray_bytes_kept", "Z\xFCrich", "Z\xFCrich"},
    {"utf8_kept", "Z\xC3\xBCrich \xE2\x82\xAC", "Z\xC3\xBCrich \xE2\x82\xAC"},
};

INSTANTIATE_TEST_SUITE_P(Cases, Printable, testing::ValuesIn(printable_cases),
                         testing_support::ByLabel{});

INSTANTIATE_TEST_SUITE_P(Cases, Markup, testing::ValuesIn(markup_cases),
                         testing_support::ByLabel{});

TEST(NameSet, AgreesWithAPlainSetThroughGrowth) {
    const NameKey key;
    NameSet names;
    std::set<std::string> plain;
    for (int i = 0; i < 50000; ++i) {
        // Repeats, long names, and names of every length below a word.
        const std::string name = i % 5000 == 0 ? std::string(1'500'000 + i % 3, 'n')
                                 : i % 7 == 0  ? std::string(static_cast<std::size_t>(i % 9), 'x')
                                               : "unit." + std::to_string(i * 7919 % 20011);
        EXPECT_EQ(names.insert(key.hash(name)), plain.insert(name).second) << name.substr(0, 20);
        EXPECT_TRUE(names.contains(key.hash(name)));
    }
    EXPECT_EQ(names.size(), plain.size());
}

// The name hash's mixing step and its inverse, to make names that fall on
// one place under a key known in advance.
std::uint64_t mix(std::uint64_t value) {
    value ^= value >> 31;
    value *= 0x94d049bb133111ebULL;
    return value ^ (value >> 32);
}

std::uint64_t unmix(std::uint64_t value) {
    value ^= value >> 32;
    std::uint64_t inverse = 0x94d049bb133111ebULL; // Newton's steps to the inverse mod 2^64
    for (int step = 0; step < 5; ++step) {
        inverse *= 2 - 0x94d049bb133111ebULL * inverse;
    }
    value *= inverse;
    return value ^ (value >> 31) ^ (value >> 62);
}

// Sixteen-byte names whose hashes' low words under a key whose low word is
// `low` are all the same, so that they all want one place.
std::vector<std::string> colliding_names(std::uint64_t low, std::size_t count) {
    const std::uint64_t start = low ^ 16;
    const std::uint64_t target = 0x0123456789abcdefULL;
    std::vector<std::string> names;
    for (std::uint64_t first = 0; first < count; ++first) {
        const std::uint64_t second = unmix(target) ^ mix(start ^ first);
        std::string name(16, '\0');
        std::memcpy(name.data(), &first, 8);
        std::memcpy(name.data() + 8, &second, 8);
        names.push_back(name);
    }
    return names;
}

TEST(NameSet, NamesMadeToCollideUnderOneKeyDoNotUnderAnother) {
    constexpr std::uint64_t known_low = 0x9e3779b97f4a7c15ULL;
    constexpr std::size_t count = 4000;
    const auto names = colliding_names(known_low, count);
    const NameKey known(known_low, 42);
    const NameKey drawn;
    NameSet under_known;
    NameSet under_drawn;
    for (const std::string& name : names) {
        EXPECT_TRUE(under_known.insert(known.hash(name))) << "told apart by the high word";
        EXPECT_TRUE(under_drawn.insert(drawn.hash(name)));
    }
    // Under the known key every insert walks past all the names before it.
    EXPECT_GT(under_known.probes(), count * count / 4);
    EXPECT_LT(under_drawn.probes(), count * 8);
}

TEST(Ticks, AreRoundAndReachTheLargestValue) {
    EXPECT_EQ(nice_ticks(61, 5), (std::vector<double>{0, 20, 40, 60, 80}));
    EXPECT_EQ(nice_ticks(9.5, 5), (std::vector<double>{0, 2, 4, 6, 8, 10}));
    EXPECT_EQ(nice_ticks(0.9, 4), (std::vector<double>{0, 0.25, 0.5, 0.75, 1}));
    EXPECT_EQ(nice_ticks(0, 5), (std::vector<double>{0, 1}));
    EXPECT_EQ(nice_ticks(1, 5, true), (std::vector<double>{0, 1}));
    EXPECT_EQ(nice_ticks(12, 5, true), (std::vector<double>{0, 5, 10, 15}));
}

} // namespace
} // namespace wutally::report
