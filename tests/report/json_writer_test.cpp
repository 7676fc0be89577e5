// The JSON writer against golden texts.
#include "by_label.hpp"
#include "report/rendering/json_writer.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace wutally::report {
namespace {

struct TextCase {
    const char* label;
    std::string bytes;
    std::string json;
};
PRINT_CASE_BY_LABEL(TextCase)

class JsonString : public testing::TestWithParam<TextCase> {};

TEST_P(JsonString, EscapesWhatJsonAsks) {
    EXPECT_EQ(json_string(GetParam().bytes), GetParam().json);
}

const TextCase text_cases[] = {
    {"plain", "unit.1", R"("unit.1")"},
    {"quote_and_backslash", "a\"b\\c", R"("a\"b\\c")"},
    {"short_escapes", "\b\f\n\r\t", R"("\b\f\n\r\t")"},
    {"other_controls_as_u_escapes", std::string("\0\x01\x1f", 3), R"("\u0000\u0001\u001f")"},
    {"delete_and_slash_as_they_are", "\x7f/", "\"\x7f/\""},
    {"valid_utf8_as_it_is", "Z\xC3\xBCrich \xE2\x82\xAC \xF0\x9F\x99\x82",
     "\"Z\xC3\xBCrich \xE2\x82\xAC \xF0\x9F\x99\x82\""},
    {"stray_byte",
     "a\xFF"
     "b",
     "\"a\xEF\xBF\xBD"
     "b\""},
    {"cut_sequence", "\xE2\x82", "\"\xEF\xBF\xBD\xEF\xBF\xBD\""},
    {"overlong_form", "\xC0\xAF", "\"\xEF\xBF\xBD\xEF\xBF\xBD\""},
    {"surrogate", "\xED\xA0\x80", "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\""},
    {"above_unicode", "\xF4\x90\x80\x80", "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\""},
};

INSTANTIATE_TEST_SUITE_P(Cases, JsonString, testing::ValuesIn(text_cases),
                         testing_support::ByLabel{});

TEST(JsonString, EveryControlByteIsEscaped) {
    for (int byte = 0; byte < 0x20; ++byte) {
        const std::string json = json_string(std::string(1, static_cast<char>(byte)));
        EXPECT_EQ(json[1], '\\') << byte;
        EXPECT_TRUE(json.size() == 4 || json.size() == 8) << byte;
    }
}

struct NumberCase {
    const char* label;
    double value;
    std::string json;
};
PRINT_CASE_BY_LABEL(NumberCase)

class JsonNumber : public testing::TestWithParam<NumberCase> {};

TEST_P(JsonNumber, IsTheShortestTextThatReadsBack) {
    EXPECT_EQ(json_number(GetParam().value), GetParam().json);
}

const NumberCase number_cases[] = {
    {"zero", 0.0, "0"},
    {"negative_zero", -0.0, "0"},
    {"whole", 1284.0, "1284"},
    {"negative_whole", -3.0, "-3"},
    {"fraction", 2.25, "2.25"},
    {"shortest", 0.1, "0.1"},
    {"thirds", 1.0 / 3, "0.3333333333333333"},
    {"largest_exact_whole", 9007199254740991.0, "9007199254740991"},
    {"beyond_exact_wholes", 9007199254740992.0, "9007199254740992"},
    {"huge", 1e300, "1e+300"},
    {"largest", std::numeric_limits<double>::max(), "1.7976931348623157e+308"},
    {"tiny", 5e-324, "5e-324"},
    {"small", 1e-7, "1e-07"},
    {"infinity", std::numeric_limits<double>::infinity(), "null"},
    {"not_a_number", std::nan(""), "null"},
};

INSTANTIATE_TEST_SUITE_P(Cases, JsonNumber, testing::ValuesIn(number_cases),
                         testing_support::ByLabel{});

TEST(JsonWriter, IndentsByTwoAndKeepsTheOrder) {
    JsonWriter json;
    json.begin_object();
    json.key("logs");
    json.begin_array();
    json.begin_object();
    json.key("path");
    json.string("a");
    json.key("rows");
    json.count(18446744073709551615U);
    json.end_object();
    json.end_array();
    json.key("empty");
    json.begin_array();
    json.end_array();
    json.key("first");
    json.optional(std::optional<double>{});
    json.key("name");
    json.optional(std::optional<std::string>{"x"});
    json.end_object();
    EXPECT_EQ(json.finish(), "{\n"
                             "  \"logs\": [\n"
                             "    {\n"
                             "      \"path\": \"a\",\n"
                             "      \"rows\": 18446744073709551615\n"
                             "    }\n"
                             "  ],\n"
                             "  \"empty\": [],\n"
                             "  \"first\": null,\n"
                             "  \"name\": \"x\"\n"
                             "}\n");
}

} // namespace
} // namespace wutally::report
