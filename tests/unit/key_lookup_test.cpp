#include "client/key_lookup.hpp"

#include "by_label.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace wutally::client {
namespace {

struct LookupCase {
    const char* label;
    std::string text;
    std::string key;
    std::optional<std::string> value;
    std::string message;
};

PRINT_CASE_BY_LABEL(LookupCase)

class FindValue : public testing::TestWithParam<LookupCase> {};

TEST_P(FindValue, ReturnsTheValueOrSaysWhyNot) {
    const LookupCase& test = GetParam();
    platform::CapturedOutput console;
    const auto value = find_value(test.text, test.key, console);
    EXPECT_EQ(value.has_value(), test.value.has_value());
    if (value && test.value) {
        EXPECT_EQ(*value, *test.value);
    }
    EXPECT_EQ(console.text(), test.message);
}

const LookupCase lookup_cases[] = {
    {"first_line", "id=42\nkey=7\n", "id", "42", ""},
    {"later_line", "id=42\nkey=7\n", "key", "7", ""},
    {"name_before_show_name", "name=Ada\nshow_name=1\n", "name", "Ada", ""},
    {"show_name_first_wins", "show_name=1\nname=Ada\n", "name", "1", ""},
    {"ifft_len_first_wins", "ifft_len=8\nfft_len=2048\n", "fft_len", "8", ""},
    {"g_fft_ind_inside_bg_fft_ind", "bg_fft_ind=211\n", "g_fft_ind", "211", ""},
    {"pattern_inside_a_value", "a=x name=inner\nname=outer\n", "name", "inner", ""},
    {"empty_value", "url=\nid=1\n", "url", "", ""},
    {"leading_spaces_kept", "id=  42 \n", "id", "  42 ", ""},
    {"carriage_return_kept", "id=42\r\n", "id", "42\r", ""},
    {"case_matters", "Name=Ada\n", "name", std::nullopt,
     "WUTally: Could not find \"name\" in file.\n\n"},
    {"key_without_equals", "name Ada\n", "name", std::nullopt,
     "WUTally: Could not find \"name\" in file.\n\n"},
    {"last_line_without_break", "id=1\nname=Ada", "name", std::nullopt,
     "WUTally: Could not find end of \"name\" in file.\n"},
    {"per_cent_in_key_printed_as_is", "", "%s%n", std::nullopt,
     "WUTally: Could not find \"%s%n\" in file.\n\n"},
    {"value_longer_than_5000_bytes", "id=" + std::string(6000, '7') + "\n", "id",
     std::string(6000, '7'), ""},
};

INSTANTIATE_TEST_SUITE_P(Cases, FindValue, testing::ValuesIn(lookup_cases),
                         testing_support::ByLabel{});

} // namespace
} // namespace wutally::client
