#include "log/header_table.hpp"
#include "log/line_reader.hpp"
#include "log/record_parser.hpp"

#include "by_label.hpp"
#include "fake/fake_file_system.hpp"
#include "support/test_random.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <string>
#include <tuple>
#include <vector>

namespace wutally::log {
namespace {

using namespace std::string_literals;

using Lines = std::vector<std::string>;

// Writes the bytes to a file and reads its lines back: every line, or with a
// search text, the lines the reader does not skip.
Lines read_lines(const std::string& bytes, const std::optional<std::string>& search = {},
                 std::size_t read_size = LogReader::default_read_size) {
    fake::FakeFileSystem files;
    files.put_file("log", bytes);
    const auto file = files.open_read("log");
    Lines lines;
    LogReader reader(**file, read_size);
    const std::string wanted = search.value_or("");
    const SearchText text(wanted);
    const auto keep = [&](std::span<char> line) {
        lines.emplace_back(line.begin(), line.end());
        return true;
    };
    EXPECT_TRUE(search ? for_each_line_holding(reader, text, keep) : for_each_line(reader, keep));
    EXPECT_EQ(files.reads_out_of_step(), 0U);
    return lines;
}

struct LineCase {
    const char* label;
    std::string bytes;
    Lines lines;
};
PRINT_CASE_BY_LABEL(LineCase)

class ReadLogLine : public testing::TestWithParam<LineCase> {};

TEST_P(ReadLogLine, YieldsTheLines) {
    EXPECT_EQ(read_lines(GetParam().bytes), GetParam().lines);
}

const std::string long_line(70000, 'x');

const LineCase line_cases[] = {
    {"empty_log", "", {}},
    {"crlf", "a\r\nb\r\nc", {"a", "b", "c"}},
    {"final_crlf_gives_no_extra_line", "a\r\nb\r\n", {"a", "b"}},
    {"lf_only", "a\nb\nc\n", {"a", "b", "c"}},
    {"lone_cr", "a\rb\rc", {"a", "b", "c"}},
    {"byte_after_lone_cr_kept", "a\rxb", {"a", "xb"}},
    {"cr_cr_lf", "a\r\r\nb", {"a", "", "b"}},
    {"lf_cr_is_two_breaks", "a\n\rb", {"a", "", "b"}},
    {"blank_lines", "\r\n\r\nz", {"", "", "z"}},
    {"zero_bytes_left_out", "a\0b\r\n\0"s, {"ab", ""}},
    {"only_a_zero_byte", "\0"s, {""}},
    {"long_run_of_zero_bytes",
     "a\r\n" + std::string(300000, '\0') + "b\r\n" + std::string(300000, '\0'),
     {"a", "b", ""}},
    {"line_longer_than_the_buffer", long_line + "\r\nend", {long_line, "end"}},
    {"two_long_lines_lf", long_line + "\n" + long_line, {long_line, long_line}},
    {"byte_order_mark_before_the_header", "\xEF\xBB\xBF\"date\"\r\nx", {"\"date\"", "x"}},
    {"only_the_first_lines_mark",
     "\xEF\xBB\xBF"
     "a\r\n\xEF\xBB\xBF"
     "b",
     {"a", "\xEF\xBB\xBF"
           "b"}},
    {"part_of_a_mark_kept",
     "\xEF\xBB"
     "a",
     {"\xEF\xBB"
      "a"}},
};

INSTANTIATE_TEST_SUITE_P(Cases, ReadLogLine, testing::ValuesIn(line_cases),
                         testing_support::ByLabel{});

// Input that never ends a line, like /dev/zero, is given up at the limit
// rather than read forever.
TEST(ReadLogLine, GivesUpOnALineAtTheLimit) {
    for (const auto& [bytes, lines, too_long] :
         {std::tuple{std::string(5000, '\0'), Lines{}, true},
          std::tuple{std::string(5000, 'x'), Lines{}, true},
          std::tuple{std::string(900, 'x') + "\r\n" + std::string(5000, 'y'),
                     Lines{std::string(900, 'x')}, true},
          std::tuple{std::string(1000, 'x') + "\n" + std::string(900, 'y'),
                     Lines{std::string(1000, 'x'), std::string(900, 'y')}, false}}) {
        fake::FakeFileSystem files;
        files.put_file("log", bytes);
        const auto file = files.open_read("log");
        LogReader reader(**file, 64);
        reader.limit_line_length(1024);
        Lines read;
        const auto read_all = for_each_line(reader, [&](std::span<char> line) {
            read.emplace_back(line.begin(), line.end());
            return true;
        });
        EXPECT_EQ(read, lines);
        EXPECT_EQ(!read_all && read_all.error() == ReadError::line_too_long, too_long);
    }
}

// A CR LF pair, or a lone CR, falling on either side of a read boundary must
// still end exactly one line.
TEST(ReadLogLine, LineEndsAcrossReadBoundaries) {
    for (std::size_t first = 65530; first <= 65540; ++first) {
        for (const std::string end : {"\r\n", "\r", "\n"}) {
            const std::string bytes = std::string(first, 'a') + end + "b" + end + "c";
            EXPECT_EQ(read_lines(bytes), (Lines{std::string(first, 'a'), "b", "c"}))
                << "first line of " << first << " bytes";
        }
    }
}

// A log read in two ranges split where line_start_after says gives the same
// lines as read whole, wherever it is split and whatever the read size.
TEST(ReadLogLine, TwoRangesSplitAtALineStartGiveTheSameLines) {
    for (const LineCase& test : line_cases) {
        if (test.bytes.size() > 1000) {
            continue;
        }
        fake::FakeFileSystem files;
        files.put_file("log", test.bytes);
        const auto file = files.open_read("log");
        const auto lines_of = [&](ByteRange range, std::size_t read_size) {
            LogReader reader(**file, range, read_size);
            Lines lines;
            EXPECT_TRUE(for_each_line(reader, [&](std::span<char> line) {
                lines.emplace_back(line.begin(), line.end());
                return true;
            }));
            return lines;
        };
        for (std::size_t at = 1; at <= test.bytes.size(); ++at) {
            const auto middle = line_start_after(at, std::span(test.bytes).subspan(at - 1));
            if (!middle) {
                continue;
            }
            for (const std::size_t read_size : {2, 7, 4096}) {
                Lines lines = lines_of({0, *middle}, read_size);
                const Lines second = lines_of({*middle}, read_size);
                lines.insert(lines.end(), second.begin(), second.end());
                EXPECT_EQ(lines, test.lines) << test.label << " split at " << *middle;
            }
        }
        EXPECT_EQ(files.reads_out_of_step(), 0U) << test.label;
    }
}

// Read from a range, each line's offset is where it stands in the file,
// whatever the lines' lengths and the read size; and every read lands in
// step with the file.
TEST(ReadLogLine, LinesFromARangeKeepTheirOffsets) {
    std::string bytes;
    std::vector<std::uint64_t> starts;
    for (std::size_t row = 0; row < 3000; ++row) {
        starts.push_back(bytes.size());
        bytes += std::string(row * 7 % 301, 'a') + "\r\n";
    }
    for (const std::size_t read_size : {2, 4096, 128 * 1024}) {
        fake::FakeFileSystem files;
        files.put_file("log", bytes);
        const auto file = files.open_read("log");
        LogReader reader(**file, ByteRange{starts[1001], bytes.size()}, read_size);
        std::size_t row = 1001;
        EXPECT_TRUE(for_each_line(reader, [&](std::span<char>) {
            EXPECT_LT(row, starts.size());
            EXPECT_EQ(reader.line_offset(), starts[row++]) << "read size " << read_size;
            return row < starts.size() + 1;
        }));
        EXPECT_EQ(row, starts.size());
        EXPECT_EQ(files.reads_out_of_step(), 0U) << "read size " << read_size;
    }
}

struct LineStartCase {
    const char* label;
    std::string bytes; // from the byte before the place asked about
    std::optional<std::uint64_t> start;
};
PRINT_CASE_BY_LABEL(LineStartCase)

class LineStartAfter : public testing::TestWithParam<LineStartCase> {};

// Asked about place 10, with the bytes from place 9 on.
TEST_P(LineStartAfter, IsJustAfterALineBreakThatIsNoCrOfACrLf) {
    EXPECT_EQ(line_start_after(10, GetParam().bytes), GetParam().start);
}

const LineStartCase line_start_cases[] = {
    {"line_break_just_before", "\nabc", 10},
    {"in_a_line", "ab\ncd", 12},
    {"crlf", "ab\r\ncd", 13},
    {"cr_of_a_crlf_just_before", "\r\nab", 11},
    {"lone_cr", "ab\rcd", 12},
    {"cr_cr_lf", "a\r\r\nb", 11},
    {"cr_at_the_end_may_be_a_crlf", "ab\r", std::nullopt},
    {"no_line_break", "abcdef", std::nullopt},
    {"nothing", "", std::nullopt},
};

INSTANTIATE_TEST_SUITE_P(Cases, LineStartAfter, testing::ValuesIn(line_start_cases),
                         testing_support::ByLabel{});

TEST(ReadLogLine, ManyRowsInConstantBuffer) {
    std::string bytes = "header";
    Lines expected{"header"};
    for (int row = 0; row < 5000; ++row) {
        expected.push_back("row " + std::to_string(row) +
                           std::string(static_cast<std::size_t>(row % 97), ','));
        bytes += "\r\n" + expected.back();
    }
    EXPECT_EQ(read_lines(bytes), expected);
}

struct SearchCase {
    const char* label;
    std::string bytes;
    std::string text;
};
PRINT_CASE_BY_LABEL(SearchCase)

class ReadLogLineHolding : public testing::TestWithParam<SearchCase> {};

// Skipping may pass over lines without the text, never over one with it.
TEST_P(ReadLogLineHolding, NeverSkipsALineThatHoldsTheText) {
    const SearchCase& test = GetParam();
    const Lines all = read_lines(test.bytes);
    Lines holding;
    std::copy_if(all.begin(), all.end(), std::back_inserter(holding), [&](const std::string& line) {
        return line.find(test.text) != std::string::npos;
    });
    for (const std::size_t read_size : {LogReader::default_read_size, std::size_t{5}}) {
        Lines returned = read_lines(test.bytes, test.text, read_size);
        EXPECT_LE(returned.size(), all.size());
        std::erase_if(returned, [&](const std::string& line) {
            return line.find(test.text) == std::string::npos;
        });
        EXPECT_EQ(returned, holding) << "reading " << read_size << " bytes at a time";
    }
}

std::string rows(int count, const std::string& line_end, int holding_every) {
    std::string bytes = "header";
    for (int row = 0; row < count; ++row) {
        bytes += line_end + std::to_string(row) + std::string(400, ',') +
                 (row % holding_every == 0 ? "needle" : "needl") + std::string(300, '.');
    }
    return bytes;
}

const SearchCase search_cases[] = {
    {"none", rows(1000, "\r\n", 1000000), "needle"},
    {"every_row_crlf", rows(1000, "\r\n", 1), "needle"},
    {"some_rows_crlf", rows(1000, "\r\n", 97), "needle"},
    {"some_rows_lf", rows(1000, "\n", 89), "needle"},
    {"some_rows_lone_cr", rows(1000, "\r", 83), "needle"},
    {"first_line", "needle\r\nx\r\ny", "needle"},
    {"last_line_without_end", "x\r\ny\r\nneedle", "needle"},
    {"text_across_a_read_boundary",
     std::string(131070, 'x') + "\r\n" + std::string(5, 'y') + "needle" + "\r\nz", "needle"},
    {"line_end_across_a_read_boundary", std::string(131071, 'x') + "\r\nneedle", "needle"},
    {"zero_byte_inside_the_text", "a\r\nnee\0dle\r\nb"s, "needle"},
    {"zero_bytes_elsewhere", "\0\r\nneedle\0\r\nb\0"s, "needle"},
    {"longer_than_a_line", "nee\r\ndle", "needle"},
};

INSTANTIATE_TEST_SUITE_P(Cases, ReadLogLineHolding, testing::ValuesIn(search_cases),
                         testing_support::ByLabel{});

// The search, with the vector byte masks and with the plain ones, against a
// plain search, on texts built to trip it: repeats, overlaps, bytes of
// every value, matches on either side of a block's edge and at the very end,
// and texts longer than a block.
TEST(SearchText, FindsWhatAPlainSearchFinds) {
    testing_support::TestRandom random(12345);
    const auto next = [&random](std::size_t bound) { return random.below(bound); };
    const std::string alphabets[] = {"ab", "0123456789.", "\x01\x11\x21", "a\x80\xff",
                                     std::string("\0\x7f\x80\xfe\xff,\"", 7)};
    for (int round = 0; round < 3000; ++round) {
        const std::string& alphabet = alphabets[static_cast<std::size_t>(round) % 5];
        const auto random_text = [&](std::size_t size) {
            std::string text;
            for (std::size_t i = 0; i < size; ++i) {
                text += alphabet[next(alphabet.size())];
            }
            return text;
        };
        const std::string needle = random_text(1 + next(round % 10 == 0 ? 400 : 12));
        std::string haystack = random_text(next(2000));
        if (next(2) == 0) {
            // Often just before or after a multiple of 64, or at the end.
            const std::size_t edge = next(haystack.size() / 64 + 1) * 64 + next(5) - 2;
            const std::size_t place = next(3) == 0 ? haystack.size() : edge;
            haystack.insert(std::min(place, haystack.size()), needle);
        }
        const SearchText search(needle, std::string_view(haystack).substr(0, next(300)));
        const char* first = haystack.data();
        const char* last = haystack.data() + haystack.size();
        const std::size_t expected = std::min(haystack.find(needle), haystack.size());
        ASSERT_EQ(static_cast<std::size_t>(search.find(first, last) - first), expected)
            << "needle " << needle << " in " << haystack;
        ASSERT_EQ(static_cast<std::size_t>(search.find_plain(first, last) - first), expected)
            << "needle " << needle << " in " << haystack;
    }
}

struct RecordCase {
    const char* label;
    std::string line;
    std::vector<std::string> fields;
};
PRINT_CASE_BY_LABEL(RecordCase)

class ParseLogRecord : public testing::TestWithParam<RecordCase> {};

TEST_P(ParseLogRecord, SplitsTheFields) {
    std::string line = GetParam().line;
    Record record;
    parse_log_record(line, record);
    const std::vector<std::string> fields(record.begin(), record.end());
    EXPECT_EQ(fields, GetParam().fields);
}

const RecordCase record_cases[] = {
    {"bare", "1,2.5,-3", {"1", "2.5", "-3"}},
    {"bare_keeps_spaces", " a , b ", {" a ", " b "}},
    {"quoted", "\"a,b\",\"c\"", {"a,b", "c"}},
    {"doubled_quote", "\"say \"\"hi\"\"\",x", {"say \"hi\"", "x"}},
    {"empty_fields", "a,,b", {"a", "", "b"}},
    {"blank_line", "", {""}},
    {"trailing_comma", "a,", {"a", ""}},
    {"lone_quote_at_end_is_no_field", "a,\"", {"a"}},
    {"empty_quoted", "\"\",x", {"", "x"}},
    {"empty_quoted_at_end", "x,\"\"", {"x", ""}},
    {"closing_quote_at_end", "1,\"abc\"", {"1", "abc"}},
    {"unclosed_quote_runs_to_end", "\"ab,c", {"ab,c"}},
    {"quote_then_space_is_content", "\"say \"hi\" now\",x", {"say \"hi\" now", "x"}},
    {"quote_inside_bare_is_content", "a\"b,c", {"a\"b", "c"}},
    {"quoted_then_bare", "\"a\",b,\"c\"", {"a", "b", "c"}},
    {"only_a_quoted_quote", "\"\"\"\"", {"\""}},
};

INSTANTIATE_TEST_SUITE_P(Cases, ParseLogRecord, testing::ValuesIn(record_cases),
                         testing_support::ByLabel{});

TEST(ParseLogRecord, StopsAtTheFieldLimit) {
    std::string line = "a,\"b\",c,d";
    Record record;
    parse_log_record(line, record, 2);
    EXPECT_EQ(record, (Record{"a", "b"}));
}

TEST(FieldAt, PastTheLastFieldIsEmpty) {
    const Record record{"a", "b"};
    EXPECT_EQ(field_at(record, 1), "b");
    EXPECT_EQ(field_at(record, 2), "");
    EXPECT_EQ(field_at(Record{}, 0), "");
}

struct HeaderCase {
    const char* label;
    std::vector<std::string> header;
    std::string text;
    std::optional<std::size_t> column;
};
PRINT_CASE_BY_LABEL(HeaderCase)

class HeaderLookup : public testing::TestWithParam<HeaderCase> {};

TEST_P(HeaderLookup, FindsTheFirstEqualSlotBeforeAnEmptyOne) {
    HeaderTable table;
    table.load_header_table(Record(GetParam().header.begin(), GetParam().header.end()));
    EXPECT_EQ(table.column_of(GetParam().text), GetParam().column);
}

const HeaderCase header_cases[] = {
    {"found", {"date", "user_name", "name"}, "name", 2},
    {"first_of_two", {"name", "x", "name"}, "name", 0},
    {"missing", {"date", "id"}, "name", std::nullopt},
    {"case_matters", {"Name"}, "name", std::nullopt},
    {"empty_slot_ends_table", {"date", "", "name"}, "name", std::nullopt},
    {"long_header_texts", {std::string(100, 'h'), "name"}, "name", 1},
    {"more_than_100_slots",
     [] {
         std::vector<std::string> many(150, "h");
         many.back() = "name";
         return many;
     }(),
     "name", 149},
};

INSTANTIATE_TEST_SUITE_P(Cases, HeaderLookup, testing::ValuesIn(header_cases),
                         testing_support::ByLabel{});

TEST(ValueByHeader, GivesTheFieldUnderTheHeader) {
    HeaderTable table;
    table.load_header_table({"date", "name"});
    EXPECT_EQ(value_by_header({"d", "unit"}, table, "name"), "unit");
    EXPECT_EQ(value_by_header({"d"}, table, "name"), "");
    EXPECT_EQ(value_by_header({"d", "unit"}, table, "id"), std::nullopt);
}

} // namespace
} // namespace wutally::log
