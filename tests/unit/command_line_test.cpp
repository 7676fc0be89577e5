#include "run/command_line.hpp"

#include "platform/file.hpp"

#include "by_label.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace wutally::run {
namespace {

struct NormaliseCase {
    const char* label;
    std::string directory;
    char separator;
    std::string normalised;
};

PRINT_CASE_BY_LABEL(NormaliseCase)

class NormaliseDirectory : public testing::TestWithParam<NormaliseCase> {};

TEST_P(NormaliseDirectory, EndsInOneSeparator) {
    const NormaliseCase& test = GetParam();
    EXPECT_EQ(normalise_directory(test.directory, test.separator), test.normalised);
}

const NormaliseCase normalise_cases[] = {
    {"empty_stays_empty", "", '\\', ""},
    {"windows_separator_added", "c:\\temp\\sweep", '\\', "c:\\temp\\sweep\\"},
    {"windows_separator_kept", "c:\\temp\\", '\\', "c:\\temp\\"},
    {"trailing_quote_dropped", "c:\\program files\\starsweep\"", '\\',
     "c:\\program files\\starsweep\\"},
    {"quote_after_separator", "c:\\temp\\\"", '\\', "c:\\temp\\"},
    {"lone_quote_empty", "\"", '\\', ""},
    {"only_one_quote_dropped", "a\"\"", '/', "a\"/"},
    {"posix_separator_added", "/var/log/sweep", '/', "/var/log/sweep/"},
    {"posix_separator_kept", "/var/log/", '/', "/var/log/"},
    {"posix_backslash_is_a_character", "logs\\", '/', "logs\\/"},
};

INSTANTIATE_TEST_SUITE_P(Cases, NormaliseDirectory, testing::ValuesIn(normalise_cases),
                         testing_support::ByLabel{});

struct ParseCase {
    const char* label;
    std::vector<std::string_view> arguments;
    std::string directory; // without the separator
    bool help;
};

PRINT_CASE_BY_LABEL(ParseCase)

class ParseCommandLine : public testing::TestWithParam<ParseCase> {};

TEST_P(ParseCommandLine, SetsTheDirectoryOrPrintsHelp) {
    const ParseCase& test = GetParam();
    platform::CapturedOutput console;
    const auto directory = parse_command_line(test.arguments, console);
    if (test.help) {
        EXPECT_FALSE(directory.has_value());
        EXPECT_EQ(console.text(), help_text);
        return;
    }
    ASSERT_TRUE(directory.has_value());
    const std::string expected =
        test.directory.empty() ? "" : test.directory + platform::directory_separator;
    EXPECT_EQ(*directory, expected);
    const std::string path_line =
        expected.empty() ? "" : "WUTally: Path to WUTally.csv set to: " + expected + "\n";
    EXPECT_EQ(console.text(), path_line);
}

const ParseCase parse_cases[] = {
    {"no_arguments", {}, "", false},
    {"directory", {"/Plogs"}, "logs", false},
    {"last_p_wins", {"/Pfirst", "/Psecond"}, "second", false},
    {"empty_p_wins_over_earlier", {"/Pfirst", "/P"}, "", false},
    {"lone_quote_is_empty", {"/P\""}, "", false},
    {"characters_before_p", {"ab/Pxyz"}, "/Pxyz", false},
    {"lower_case_p_ignored", {"/plogs"}, "", false},
    {"other_arguments_ignored", {"-v", "/Plogs", "x"}, "logs", false},
    {"per_cent_printed_as_is", {"/P%s%n"}, "%s%n", false},
    {"help", {"/?"}, "", true},
    {"help_inside_an_argument", {"x/?y"}, "", true},
    {"help_after_p", {"/Plogs", "/?"}, "", true},
    {"help_inside_p", {"/P/?"}, "", true},
};

INSTANTIATE_TEST_SUITE_P(Cases, ParseCommandLine, testing::ValuesIn(parse_cases),
                         testing_support::ByLabel{});

} // namespace
} // namespace wutally::run
