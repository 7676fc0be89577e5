// Whatever bytes the client files hold, the row reads back as one line of
// 57 fields, and the work unit is found when it is logged again.
#include "by_label.hpp"
#include "fake/round_trip.hpp"

#include <gtest/gtest.h>

namespace wutally {
namespace {

struct RoundTripCase {
    const char* label;
    std::string value; // of every key, the work unit's name included
};
PRINT_CASE_BY_LABEL(RoundTripCase)

class RowRoundTrip : public testing::TestWithParam<RoundTripCase> {};

// Client files in which every key the log takes has the case's value.
std::string client_text(const std::string& value) {
    std::string text;
    for (const char* key :
         {"id", "key", "email_addr", "name", "url", "country", "show_name", "version", "task",
          "cpu", "prog", "bg_score", "bg_fft_len", "nwus", "total_cpu"}) {
        text += std::string(key) + "=" + value + "\n";
    }
    return text;
}

TEST_P(RowRoundTrip, ReadsBackAsOneLineAndIsFoundAgain) {
    const std::string text = client_text(GetParam().value);
    const fake::RoundTrip trip = fake::log_twice(text, text, text);
    EXPECT_EQ(trip.first_status, static_cast<int>(run::ExitStatus::success));
    EXPECT_EQ(trip.fields, (std::vector<std::size_t>{57, 57}));
    EXPECT_EQ(trip.second_status, static_cast<int>(run::ExitStatus::already_logged));
}

const RoundTripCase round_trip_cases[] = {
    {"plain", "unit.1"},
    {"inner_carriage_return", "Ada\rVolunteer"},
    {"line_ends_converted_twice", "unit.1\r\r"},
    {"only_carriage_returns", "\r\r\r"},
    {"carriage_return_first", "\r unit"},
    {"spaces_around_carriage_return", "  \r  7\r"},
    {"quotes_and_commas", "\"a\",\"b\"\r"},
    {"lone_quote_and_carriage_return", "\"\r"},
    {"digits_and_carriage_return", "12\r34"},
    {"control_bytes", "\x01\x0b\x0c\x7f"},
    {"empty", ""},
};

INSTANTIATE_TEST_SUITE_P(Cases, RowRoundTrip, testing::ValuesIn(round_trip_cases),
                         testing_support::ByLabel{});

} // namespace
} // namespace wutally
