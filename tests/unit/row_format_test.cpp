#include "log/row_format.hpp"

#include "by_label.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace wutally::log {
namespace {

std::vector<std::string> split_on_commas(const std::string& row) {
    std::vector<std::string> fields(1);
    for (const char byte : row) {
        if (byte == ',') {
            fields.emplace_back();
        } else {
            fields.back() += byte;
        }
    }
    return fields;
}

TEST(HeaderRow, HasFiftySevenQuotedHeadersInColumnOrder) {
    const std::string row = header_row();
    EXPECT_EQ(row.size(), 656U);
    const auto fields = split_on_commas(row);
    ASSERT_EQ(fields.size(), 57U);
    EXPECT_EQ(fields[0], "\"date\"");
    EXPECT_EQ(fields[4], "\"user_name\"");
    EXPECT_EQ(fields[20], "\"name\"");
    EXPECT_EQ(fields[54], "\"g_fft_ind\"");
    EXPECT_EQ(fields[56], "\"bg_fft_len\"");
}

struct ValueCase {
    const char* label;
    std::string value;
    std::string field;
};

PRINT_CASE_BY_LABEL(ValueCase)

class ValueRule : public testing::TestWithParam<ValueCase> {};

TEST_P(ValueRule, FormatsTheField) {
    std::string row;
    append_value_field(row, GetParam().value);
    EXPECT_EQ(row, GetParam().field);
}

const ValueCase value_cases[] = {
    {"digits_points_minus_bare", "-17.402933", "-17.402933"},
    {"one_letter_quoted", "1.2e+01", "\"1.2e+01\""},
    {"upper_case_letter_quoted", "X", "\"X\""},
    {"empty_bare", "", ""},
    {"only_spaces_empty", "    ", ""},
    {"leading_spaces_dropped_trailing_kept", "  42  ", "42  "},
    {"leading_spaces_dropped_before_quoting", "  Ada", "\"Ada\""},
    {"tab_kept", "\t42", "\t42"},
    {"trailing_carriage_return_dropped", "42\r", "42"},
    {"every_trailing_carriage_return_dropped", "42\r\r", "42"},
    {"spaces_then_carriage_return_empty", "  \r", ""},
    {"inner_carriage_return_a_space", "Ada\rVolunteer", "\"Ada Volunteer\""},
    {"carriage_returns_then_leading_spaces", "\r \r7\r\r", "7"},
    {"carriage_return_after_quote", "\"\r\r", "\"\"\"\""},
    {"comma_quoted", "1,5", "\"1,5\""},
    {"quote_doubled", "say \"hi\"", "\"say \"\"hi\"\"\""},
    {"lone_quote", "\"", "\"\"\"\""},
    {"non_ascii_bytes_bare", "\xC3\xA9\xFF", "\xC3\xA9\xFF"},
    {"non_ascii_with_letter_quoted", "Z\xC3\xBCrich", "\"Z\xC3\xBCrich\""},
    {"per_cent_signs_as_is", "%s%d", "\"%s%d\""},
    {"long_value_whole", std::string(7000, '9'), std::string(7000, '9')},
};

INSTANTIATE_TEST_SUITE_P(Cases, ValueRule, testing::ValuesIn(value_cases),
                         testing_support::ByLabel{});

std::tm sample_time() {
    std::tm time{};
    time.tm_year = 2026 - 1900;
    time.tm_mon = 0;
    time.tm_mday = 5;
    time.tm_hour = 7;
    time.tm_min = 3;
    time.tm_sec = 9;
    return time;
}

TEST(Timestamp, IsZeroPaddedWithPointsSpaceAndColons) {
    EXPECT_EQ(format_timestamp(sample_time()), "2026.01.05 07:03:09");
}

TEST(DataRow, WithNoKeyFoundIsTheDateAndFiftyFiveCommas) {
    const DataRow row = data_row(ClientTexts{}, sample_time());
    EXPECT_EQ(row.bytes, "\"2026.01.05 07:03:09\"" + std::string(56, ','));
    EXPECT_EQ(row.bytes.size(), 77U);
    ASSERT_EQ(row.missing.size(), 56U);
    EXPECT_EQ(row.missing.front().key, "id");
    EXPECT_EQ(row.missing.back().key, "bg_fft_len");
}

TEST(DataRow, TakesEachListFromItsOwnText) {
    const ClientTexts texts{"name=user\n", "name=unit\n", "bg_fft_len=16\n"};
    const auto fields = split_on_commas(data_row(texts, sample_time()).bytes);
    ASSERT_EQ(fields.size(), 57U);
    EXPECT_EQ(fields[4], "\"user\"");
    EXPECT_EQ(fields[20], "\"unit\"");
    EXPECT_EQ(fields[56], "16");
}

} // namespace
} // namespace wutally::log
