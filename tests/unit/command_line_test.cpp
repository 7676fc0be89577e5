#include "run/command_line.hpp"

#include "platform/file_system.hpp"

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
    Request request;
    std::string directory; // without the separator
    std::vector<std::string> unknown = {};
    std::string bad = {}; // the argument of a usage error
};

PRINT_CASE_BY_LABEL(ParseCase)

class ParseCommandLine : public testing::TestWithParam<ParseCase> {};

TEST_P(ParseCommandLine, SetsTheRequestAndTheDirectory) {
    const ParseCase& test = GetParam();
    const CommandLine command_line = parse_command_line(test.arguments);
    EXPECT_EQ(command_line.request, test.request);
    const std::string expected =
        test.directory.empty() ? "" : test.directory + platform::directory_separator;
    EXPECT_EQ(command_line.log_directory, expected);
    EXPECT_EQ(command_line.unknown_options, test.unknown);
    EXPECT_EQ(command_line.bad_argument, test.bad);
}

constexpr Request log = Request::log;
constexpr Request help = Request::help;
constexpr Request version = Request::version;
constexpr Request usage_error = Request::usage_error;

const ParseCase parse_cases[] = {
    {"no_arguments", {}, log, ""},
    {"directory", {"/Plogs"}, log, "logs"},
    {"last_p_wins", {"/Pfirst", "/Psecond"}, log, "second"},
    {"empty_p_wins_over_earlier", {"/Pfirst", "/P"}, log, ""},
    {"lone_quote_is_empty", {"/P\""}, log, ""},
    {"characters_before_p", {"ab/Pxyz"}, log, "/Pxyz"},
    {"lower_case_p_ignored", {"/plogs"}, log, "", {"/plogs"}},
    {"other_arguments_ignored_and_slash_options_named",
     {"/v", "/Plogs", "x", "/H"},
     log,
     "logs",
     {"/v", "/H"}},
    // An argument that begins with "-" and is no option may be a mistyped
    // one: nothing is logged, where the row might have gone astray.
    {"dash_p", {"-P", "logs"}, usage_error, "", {}, "-P"},
    {"long_path_option", {"--path=logs"}, usage_error, "", {}, "--path=logs"},
    {"misspelt_version", {"--verison"}, usage_error, "", {}, "--verison"},
    {"one_dash_help", {"-help"}, usage_error, "", {}, "-help"},
    {"the_first_is_named", {"/Plogs", "-v", "--helpx"}, usage_error, "", {}, "-v"},
    {"a_dash_argument_holding_p", {"-x/Plogs"}, log, "/Plogs"},
    {"help_wins_over_a_usage_error", {"-v", "/?"}, help, ""},
    {"version_wins_over_a_usage_error", {"-P", "--version"}, version, ""},
    {"lower_case_p", {"/p", "logs"}, log, "", {"/p"}},
    {"a_path_without_p", {"/home/ada/logs"}, log, "", {"/home/ada/logs"}},
    {"the_value_after_p_is_no_option", {"/P", "-logs"}, log, "-logs"},
    {"per_cent_kept", {"/P%s%n"}, log, "%s%n"},
    {"p_then_a_separate_directory", {"/P", "/home/ada/logs"}, log, "/home/ada/logs"},
    {"p_takes_the_next_whatever_it_holds", {"/P", "--version"}, log, "--version"},
    {"p_takes_an_empty_next", {"/Pfirst", "/P", ""}, log, ""},
    {"separate_directory_then_later_p", {"/P", "a", "/Pb"}, log, "b"},
    {"help", {"/?"}, help, ""},
    {"help_inside_an_argument", {"x/?y"}, help, ""},
    {"help_after_p", {"/Plogs", "/?"}, help, ""},
    {"help_inside_p", {"/P/?"}, help, ""},
    {"long_help", {"--help"}, help, ""},
    {"short_help", {"/Plogs", "-h"}, help, ""},
    {"version", {"--version"}, version, ""},
    {"first_request_wins_help", {"-h", "--version"}, help, ""},
    {"first_request_wins_version", {"--version", "/?"}, version, ""},
};

INSTANTIATE_TEST_SUITE_P(Cases, ParseCommandLine, testing::ValuesIn(parse_cases),
                         testing_support::ByLabel{});

} // namespace
} // namespace wutally::run
