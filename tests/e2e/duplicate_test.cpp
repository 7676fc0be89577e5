// The duplicate check: a work unit already in the log is refused and the log
// is left byte for byte as it was.
#include "by_label.hpp"
#include "client_fixture.hpp"
#include "harness.hpp"

#include <gtest/gtest.h>

namespace wutally::e2e {
namespace {

namespace fs = std::filesystem;

const std::string standard_name = "14fe06ac.27316.8322.42";

std::string logged_line(const std::string& name) {
    return "WUTally: Work Unit " + name + " has already been logged.\n";
}

std::string already_logged(const std::string& name) {
    return console_text(logged_line(name));
}

std::string crlf_to_lf(std::string text) {
    std::string converted;
    for (const char byte : text) {
        if (byte != '\r') {
            converted += byte;
        }
    }
    return converted;
}

struct ExistingLogCase {
    const char* label;
    std::string log;    // the log before the run; "YYYY.MM.DD hh:mm:ss" for times
    std::string name;   // the work unit's name in result.txt
    std::string output; // as printed before a text stream converts line ends
    int status;
};
PRINT_CASE_BY_LABEL(ExistingLogCase)

class ExistingLog : public testing::TestWithParam<ExistingLogCase> {};

// Runs against the given log; a refused run must leave it untouched, a saved
// one must add exactly the new row.
TEST_P(ExistingLog, IsCheckedBeforeAnythingIsWritten) {
    const ExistingLogCase& test = GetParam();
    ScratchDirectory dir;
    ClientFiles files;
    ClientFiles::set(files.result, "name", test.name);
    files.write_to(dir.path());
    write_file(dir / "WUTally.csv", test.log);
    const RunResult run = run_program(dir.path());
    EXPECT_EQ(masked(run.output), console_text(test.output));
    EXPECT_EQ(run.status, test.status);
    const std::string after = masked(read_file(dir / "WUTally.csv"));
    if (test.status == 0) {
        EXPECT_EQ(success_time(run.output), last_row_time(read_file(dir / "WUTally.csv")));
        std::string stored = test.name;
        stored.erase(0, stored.find_first_not_of(' '));
        // A log that already ends in a line break gets no second one.
        std::string row = masked_row_named("\"" + stored + "\"");
        if (test.log.ends_with('\r') || test.log.ends_with('\n')) {
            row.erase(0, 2);
        }
        EXPECT_EQ(after, test.log + row);
    } else {
        EXPECT_EQ(after, test.log);
    }
}

const std::string one_row = header_row + masked_row_named("\"unit.1\"");

const ExistingLogCase existing_log_cases[] = {
    {"header_only", header_row, "unit.2", saved_line, 0},
    {"same_name", one_row, "unit.1", logged_line("unit.1"), 2},
    {"other_name", one_row, "unit.2", saved_line, 0},
    {"other_letter_case", one_row, "UNIT.1", saved_line, 0},
    {"leading_spaces_skipped", one_row, "   unit.1", logged_line("unit.1"), 2},
    {"name_as_user_name_only",
     header_row + masked_row_named("\"x\"").replace(masked_row_named("").find("\"Ada Volunteer\""),
                                                    15, "\"unit.9\""),
     "unit.9", saved_line, 0},
    {"lf_line_ends", crlf_to_lf(one_row), "unit.1", logged_line("unit.1"), 2},
    {"lone_cr_line_ends",
     crlf_to_lf(header_row) + "\r" + crlf_to_lf(masked_row_named("\"unit.1\"")).substr(1), "unit.1",
     logged_line("unit.1"), 2},
    {"ends_with_a_line_break", one_row + "\r\n", "unit.1", logged_line("unit.1"), 2},
    {"saved_by_a_spreadsheet_crlf", one_row + "\r\n", "unit.2", saved_line, 0},
    {"saved_by_a_spreadsheet_lf", crlf_to_lf(one_row) + "\n", "unit.2", saved_line, 0},
    {"saved_by_a_spreadsheet_cr", one_row + "\r", "unit.2", saved_line, 0},
    {"header_only_saved_by_a_spreadsheet", header_row + "\r\n", "unit.2", saved_line, 0},
    {"name_in_a_later_row",
     one_row + masked_row_named("\"unit.2\"") + masked_row_named("\"unit.3\""), "unit.3",
     logged_line("unit.3"), 2},
    {"header_without_name_no_rows", "\"date\",\"id\"", "unit.1", saved_line, 0},
    {"header_without_name_then_blank_line", "\"date\",\"id\"\r\n\r\n", "unit.1",
     "WUTally: Could not find name in CSV file.\n", 1},
    {"header_without_name_then_row", "\"date\",\"id\"\r\n1,2", "unit.1",
     "WUTally: Could not find name in CSV file.\n", 1},
    {"empty_slot_hides_name", "\"date\",,\"name\"\r\nd,,unit.1", "unit.1",
     "WUTally: Could not find name in CSV file.\n", 1},
    {"name_in_another_column", "\"name\",\"date\"\r\nunit.1,x", "unit.1", logged_line("unit.1"), 2},
    {"blank_and_short_lines_pass", one_row + "\r\n\r\nd,1,2", "unit.2", saved_line, 0},
    {"line_longer_than_5000_bytes",
     header_row + "\r\n" + std::string(20, ',') + "\"" + std::string(6000, 'u') + "\"",
     std::string(6000, 'u'), logged_line(std::string(6000, 'u')), 2},
};

INSTANTIATE_TEST_SUITE_P(Cases, ExistingLog, testing::ValuesIn(existing_log_cases),
                         testing_support::ByLabel{});

struct LongLogCase {
    const char* label;
    std::size_t row_of_the_name; // among 6,000 rows; past the end for none
    const char* ending;          // what the log ends with
    int status;
};
PRINT_CASE_BY_LABEL(LongLogCase)

class LongLog : public testing::TestWithParam<LongLogCase> {};

// A log of some 4 MB is read in two halves at once; a name in either half
// is found, and a row is added after either kind of ending.
TEST_P(LongLog, IsCheckedInTwoHalves) {
    const LongLogCase& test = GetParam();
    ScratchDirectory dir;
    ClientFiles{}.write_to(dir.path());
    std::string log = header_row;
    for (std::size_t row = 0; row < 6000; ++row) {
        std::string line =
            masked_row_named(row == test.row_of_the_name ? "\"" + standard_name + "\""
                                                         : "\"unit." + std::to_string(row) + "\"");
        log += line.replace(line.find("YYYY.MM.DD hh:mm:ss"), 19, "2026.01.01 00:00:00");
    }
    log += test.ending;
    write_file(dir / "WUTally.csv", log);
    const RunResult run = run_program(dir.path());
    EXPECT_EQ(run.status, test.status);
    const std::string after = read_file(dir / "WUTally.csv");
    if (test.status == 2) {
        EXPECT_EQ(run.output, already_logged(standard_name));
        EXPECT_EQ(after, log);
    } else {
        const std::string row = masked(after.substr(log.size()));
        EXPECT_EQ(row, masked_row().substr(std::string_view(test.ending).empty() ? 0 : 2));
    }
}

const LongLogCase long_log_cases[] = {
    {"name_in_the_first_half", 10, "", 2},
    {"name_in_the_second_half", 5990, "", 2},
    {"name_in_the_last_row", 5999, "", 2},
    {"name_nowhere", 6000, "", 0},
    {"name_nowhere_log_ends_in_a_line_break", 6000, "\r\n", 0},
};

INSTANTIATE_TEST_SUITE_P(Cases, LongLog, testing::ValuesIn(long_log_cases),
                         testing_support::ByLabel{});

TEST(Duplicate, SameWorkUnitTwiceIsRefused) {
    ScratchDirectory dir;
    ClientFiles{}.write_to(dir.path());
    ASSERT_EQ(run_program(dir.path()).status, 0);
    const std::string before = read_file(dir / "WUTally.csv");
    const RunResult run = run_program(dir.path());
    EXPECT_EQ(run.output, already_logged(standard_name));
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(read_file(dir / "WUTally.csv"), before);
}

struct NameCase {
    const char* label;
    std::string value;  // in result.txt
    std::string stored; // as the message shows it
};
PRINT_CASE_BY_LABEL(NameCase)

class Names : public testing::TestWithParam<NameCase> {};

// Whatever the name holds, the row the program writes is found again.
TEST_P(Names, ReadBackAsWritten) {
    ScratchDirectory dir;
    ClientFiles files;
    ClientFiles::set(files.result, "name", "first");
    files.write_to(dir.path());
    ASSERT_EQ(run_program(dir.path()).status, 0);
    ClientFiles::set(files.result, "name", GetParam().value);
    files.write_to(dir.path());
    ASSERT_EQ(run_program(dir.path()).status, 0);
    const std::string before = read_file(dir / "WUTally.csv");
    const RunResult run = run_program(dir.path());
    EXPECT_EQ(run.output, already_logged(GetParam().stored));
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(read_file(dir / "WUTally.csv"), before);
}

const NameCase name_cases[] = {
    {"digits_only_bare", "1234567", "1234567"},
    {"with_letters_quoted", "14fe06ac.1", "14fe06ac.1"},
    {"comma", "12,34", "12,34"},
    {"quotes", "say \"x\" now", "say \"x\" now"},
    {"leading_spaces", "  42ab", "42ab"},
    {"carriage_return", "42ab\r", "42ab"},
    {"carriage_returns_of_a_twice_converted_file", "42ab\r\r", "42ab"},
    {"inner_carriage_return", "Ada\rVolunteer", "Ada Volunteer"},
    {"carriage_return_before_spaces", "\r 42ab", "42ab"},
    {"per_cent", "%s%n", "%s%n"},
};

INSTANTIATE_TEST_SUITE_P(Cases, Names, testing::ValuesIn(name_cases), testing_support::ByLabel{});

TEST(Duplicate, EmptyNameMatchesTheFirstBlankLine) {
    ScratchDirectory dir;
    ClientFiles files;
    ClientFiles::set(files.result, "name", "");
    files.write_to(dir.path());
    write_file(dir / "WUTally.csv", header_row + "\r\n" + masked_row_named("\"unit.1\""));
    const RunResult run = run_program(dir.path());
    EXPECT_EQ(run.output, already_logged(""));
    EXPECT_EQ(run.status, 2);
}

TEST(Duplicate, MissingNameInResultStopsWithTheLookupMessageOnly) {
    ScratchDirectory dir;
    ClientFiles files;
    files.result.replace(files.result.find("name="), 5, "nome=");
    files.write_to(dir.path());
    write_file(dir / "WUTally.csv", one_row);
    const RunResult run = run_program(dir.path());
    EXPECT_EQ(run.output, console_text("WUTally: Could not find \"name\" in file.\n\n"));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(read_file(dir / "WUTally.csv"), one_row);
}

TEST(Duplicate, ManyRunsKeepOneRowEach) {
    ScratchDirectory dir;
    ClientFiles files;
    constexpr int runs = 40;
    for (int unit = 0; unit < runs; ++unit) {
        ClientFiles::set(files.result, "name", "unit." + std::to_string(unit));
        files.write_to(dir.path());
        ASSERT_EQ(run_program(dir.path()).status, 0) << "unit " << unit;
    }
    const std::string log = read_file(dir / "WUTally.csv");
    for (const int unit : {0, 17, runs - 1}) {
        ClientFiles::set(files.result, "name", "unit." + std::to_string(unit));
        files.write_to(dir.path());
        EXPECT_EQ(run_program(dir.path()).status, 2) << "unit " << unit;
    }
    EXPECT_EQ(read_file(dir / "WUTally.csv"), log);
    std::size_t rows = 0;
    for (std::size_t at = 0; (at = log.find("\r\n", at)) != std::string::npos; at += 2) {
        ++rows;
    }
    EXPECT_EQ(rows, static_cast<std::size_t>(runs));
}

} // namespace
} // namespace wutally::e2e
