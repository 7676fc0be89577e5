// Picking fields the fast way against the plain parser: every line it
// takes gives the fields the plain parser gives, and the rows the program
// writes are among the lines it takes.
#include "log/fast_record.hpp"
#include "platform/concat.hpp"

#include "by_label.hpp"
#include "support/test_random.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace wutally::log {
namespace {

using Fields = std::vector<std::string>;

Fields plain_fields(std::string line, const std::vector<std::size_t>& places) {
    Record record;
    parse_log_record(line, record, places.empty() ? 0 : places.back() + 1);
    Fields fields;
    for (const std::size_t place : places) {
        fields.emplace_back(field_at(record, place));
    }
    return fields;
}

// None where the fast way leaves the line to the plain parser.
std::optional<Fields> fast_fields(const std::string& line, const std::vector<std::size_t>& places) {
    std::vector<std::string_view> picked(places.size());
    std::vector<std::size_t> slots(places.size());
    for (std::size_t at = 0; at < slots.size(); ++at) {
        slots[at] = at;
    }
    if (!pick_fields_fast(line, places, slots, picked)) {
        return std::nullopt;
    }
    return Fields(picked.begin(), picked.end());
}

// The first `count` places.
std::vector<std::size_t> first(std::size_t count) {
    std::vector<std::size_t> places(count);
    for (std::size_t at = 0; at < count; ++at) {
        places[at] = at;
    }
    return places;
}

struct LineCase {
    const char* label;
    std::string line;
    bool fast; // taken whole by the fast parser
};
PRINT_CASE_BY_LABEL(LineCase)

class FastRecord : public testing::TestWithParam<LineCase> {};

TEST_P(FastRecord, SplitsAsThePlainParserDoes) {
    const LineCase& test = GetParam();
    const std::vector<std::vector<std::size_t>> wanted{first(1), first(3),  {0, 20, 42, 52},
                                                       {2, 5},   first(60), {100}};
    for (const auto& places : wanted) {
        // A line may be taken up to a field before what sends it to the
        // plain parser.
        const auto fast = fast_fields(test.line, places);
        if (places == first(60)) {
            EXPECT_EQ(fast.has_value(), test.fast);
        }
        if (fast) {
            EXPECT_EQ(*fast, plain_fields(test.line, places)) << places.size() << " places";
        }
    }
}

const std::string long_row = [] {
    std::string row = "\"2026.01.01 00:00:00\"";
    for (int field = 1; field < 57; ++field) {
        row += field % 3 == 0 ? concat(",\"text, with a comma ", std::to_string(field), "\"")
                              : concat(",", std::to_string(field * 1234.5));
    }
    return row;
}();

const LineCase line_cases[] = {
    {"empty", "", true},
    {"bare", "a,b,,c", true},
    {"quoted", "\"a\",\"b,c\",d", true},
    {"empty_quoted", "\"\",x", true},
    {"quoted_last", "a,\"b\"", true},
    {"row_over_many_blocks", long_row, true},
    {"comma_at_a_block_edge", std::string(63, 'x') + ",\"" + std::string(70, 'y') + "\",z", true},
    {"doubled_quote", "\"say \"\"hi\"\"\",x", false},
    {"quote_inside_a_bare_field", "ab\"c,d", false},
    {"older_unescaped_quotes", "\"say \"hi\" now\",x", false},
    {"never_closed", "a,\"b,c", false},
    {"lone_quote_at_the_end", "a,\"", false},
    {"byte_after_a_closing_quote", "\"a\"b,c", false},
};

INSTANTIATE_TEST_SUITE_P(Cases, FastRecord, testing::ValuesIn(line_cases),
                         testing_support::ByLabel{});

// Lines of fields bare and quoted, with commas and quotes where they
// belong and, now and then, where they do not, against the plain parser.
TEST(FastRecord, AgreesWithThePlainParserOnManyLines) {
    testing_support::TestRandom random(0x5eed);
    const auto next = [&random](std::size_t bound) { return random.below(bound); };
    constexpr std::string_view text_bytes = "ab ,\"";
    std::size_t taken = 0;
    for (int round = 0; round < 20000; ++round) {
        std::string line;
        const std::uint64_t fields = next(30);
        for (std::uint64_t field = 0; field < fields; ++field) {
            std::string text(next(12), 'a');
            for (char& byte : text) {
                byte = text_bytes[next(next(8) == 0 ? text_bytes.size() : 3)];
            }
            const bool quoted = next(2) == 0;
            line += concat(field == 0 ? "" : ",", quoted ? concat("\"", text, "\"") : text);
        }
        std::vector<std::size_t> places;
        for (std::size_t place = next(3); place < 40; place += 1 + next(6)) {
            places.push_back(place);
        }
        if (const auto fast = fast_fields(line, places)) {
            ++taken;
            ASSERT_EQ(*fast, plain_fields(line, places)) << line;
        }
    }
    EXPECT_GT(taken, 5000U) << "the fast parser takes most well-formed lines";
}

} // namespace
} // namespace wutally::log
