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
    std::optional<LookupFailure> failure;
};

PRINT_CASE_BY_LABEL(LookupCase)

class FindValue : public testing::TestWithParam<LookupCase> {};

TEST_P(FindValue, ReturnsTheValueOrWhyNot) {
    const LookupCase& test = GetParam();
    const Lookup lookup = find_value(test.text, test.key);
    ASSERT_EQ(lookup.has_value(), test.value.has_value());
    if (test.value) {
        EXPECT_EQ(*lookup, *test.value);
    } else {
        EXPECT_EQ(lookup.error(), *test.failure);
    }
}

const LookupCase lookup_cases[] = {
    {"first_line", "id=42\nkey=7\n", "id", "42", std::nullopt},
    {"later_line", "id=42\nkey=7\n", "key", "7", std::nullopt},
    {"name_before_show_name", "name=Ada\nshow_name=1\n", "name", "Ada", std::nullopt},
    {"show_name_first_wins", "show_name=1\nname=Ada\n", "name", "1", std::nullopt},
    {"ifft_len_first_wins", "ifft_len=8\nfft_len=2048\n", "fft_len", "8", std::nullopt},
    {"g_fft_ind_inside_bg_fft_ind", "bg_fft_ind=211\n", "g_fft_ind", "211", std::nullopt},
    {"pattern_inside_a_value", "a=x name=inner\nname=outer\n", "name", "inner", std::nullopt},
    {"empty_value", "url=\nid=1\n", "url", "", std::nullopt},
    {"leading_spaces_kept", "id=  42 \n", "id", "  42 ", std::nullopt},
    {"carriage_return_kept", "id=42\r\n", "id", "42\r", std::nullopt},
    {"case_matters", "Name=Ada\n", "name", std::nullopt, LookupFailure::no_key},
    {"key_without_equals", "name Ada\n", "name", std::nullopt, LookupFailure::no_key},
    {"last_line_without_break", "id=1\nname=Ada", "name", std::nullopt, LookupFailure::no_end},
    {"value_longer_than_5000_bytes", "id=" + std::string(6000, '7') + "\n", "id",
     std::string(6000, '7'), std::nullopt},
};

INSTANTIATE_TEST_SUITE_P(Cases, FindValue, testing::ValuesIn(lookup_cases),
                         testing_support::ByLabel{});

} // namespace
} // namespace wutally::client
