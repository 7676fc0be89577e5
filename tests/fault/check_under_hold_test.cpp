// A check made before the hold, carried on under it over what was appended
// since, must decide as a check of the whole held log does.
#include "by_label.hpp"
#include "fake/fake_file_system.hpp"
#include "log/duplicate_check.hpp"

#include <gtest/gtest.h>

#include <string>

namespace wutally::log {
namespace {

const std::string path = "WUTally.csv";
const std::string header = "\"date\",\"name\"";
const std::string result_text = "name=unit.x\n";

std::string row(const std::string& name) {
    return "\"2026.01.01 00:00:00\",\"" + name + "\"";
}

struct HoldCase {
    const char* label;
    std::string before; // the log when the run reads it before the hold
    std::string after;  // the log under the hold
    bool replaced;      // another file was put under the name meanwhile
    CheckOutcome outcome;
};
PRINT_CASE_BY_LABEL(HoldCase)

class CheckUnderHold : public testing::TestWithParam<HoldCase> {};

TEST_P(CheckUnderHold, DecidesAsAWholeCheckDoes) {
    const HoldCase& test = GetParam();
    fake::FakeFileSystem files;
    files.put_file(path, test.before);
    const auto earlier = check_before_hold(files, path, result_text);
    if (test.replaced) {
        files.put_file(path, test.after);
    } else {
        files.rewrite_file(path, test.after);
    }
    const auto log = files.open_read(path);
    const auto carried = check_under_hold(**log, test.after.size(), result_text, earlier);
    const auto whole = is_already_logged(**log, test.after.size(), result_text);
    ASSERT_TRUE(carried && whole);
    EXPECT_EQ(carried->outcome, test.outcome);
    EXPECT_EQ(whole->outcome, test.outcome);
    EXPECT_EQ(carried->ends_with_line_break, whole->ends_with_line_break);
    // Read in pieces from both ends, however small, the check decides the same.
    for (const std::uint64_t piece : {1, 16, 64}) {
        const auto pieces =
            is_already_logged(**log, test.after.size(), result_text, log::PieceSizes{1, piece, 2});
        ASSERT_TRUE(pieces);
        EXPECT_EQ(pieces->outcome, whole->outcome) << "pieces of " << piece;
        if (whole->outcome != CheckOutcome::already_logged) { // a found row ends the reading
            EXPECT_EQ(pieces->ends_with_line_break, whole->ends_with_line_break) << piece;
            EXPECT_EQ(pieces->read_to, whole->read_to) << "pieces of " << piece;
        }
    }
}

const std::string one = header + "\r\n" + row("unit.1");

const HoldCase hold_cases[] = {
    {"nothing_appended", one, one, false, CheckOutcome::not_logged},
    {"row_appended", one, one + "\r\n" + row("unit.2"), false, CheckOutcome::not_logged},
    {"the_unit_appended", one, one + "\r\n" + row("unit.x"), false, CheckOutcome::already_logged},
    {"the_unit_after_others", one,
     one + "\r\n" + row("unit.2") + "\r\n" + row("unit.x") + "\r\n" + row("unit.3"), false,
     CheckOutcome::already_logged},
    {"only_a_line_break_appended", one, one + "\r\n", false, CheckOutcome::not_logged},
    {"lf_appended", one, one + "\n" + row("unit.x"), false, CheckOutcome::already_logged},
    {"log_ended_in_cr_lf", one + "\r\n", one + "\r\n" + row("unit.x"), false,
     CheckOutcome::already_logged},
    {"cr_then_lf_appended", one + "\r", one + "\r\n" + row("unit.x"), false,
     CheckOutcome::already_logged},
    {"last_line_carried_on", header + "\r\n\"2026.01.01 00:00:00\",\"unit",
     header + "\r\n" + row("unit.x"), false, CheckOutcome::already_logged},
    {"found_before_the_hold", one + "\r\n" + row("unit.x"),
     one + "\r\n" + row("unit.x") + "\r\n" + row("unit.2"), false, CheckOutcome::already_logged},
    {"shrank", one + "\r\n" + row("unit.2"), one, false, CheckOutcome::not_logged},
    {"replaced_without_the_unit", one + "\r\n" + row("unit.x"), one, true,
     CheckOutcome::not_logged},
    {"replaced_with_the_unit", one, header + "\r\n" + row("unit.x"), true,
     CheckOutcome::already_logged},
    {"header_only_then_rows", header, header + "\r\n" + row("unit.x"), false,
     CheckOutcome::already_logged},
    // A row seen before the hold may have been taken back by its run since.
    {"found_row_taken_back_and_another_written", one + "\r\n" + row("unit.x"),
     one + "\r\n" + row("unit.y"), false, CheckOutcome::not_logged},
    {"found_row_taken_back_then_written_again", one + "\r\n" + row("unit.x"),
     one + "\r\n" + row("unit.2") + "\r\n" + row("unit.x"), false, CheckOutcome::already_logged},
    {"other_row_taken_back_and_the_unit_written", one + "\r\n" + row("unit.y"),
     one + "\r\n" + row("unit.x"), false, CheckOutcome::already_logged},
};

INSTANTIATE_TEST_SUITE_P(Cases, CheckUnderHold, testing::ValuesIn(hold_cases),
                         testing_support::ByLabel{});

} // namespace
} // namespace wutally::log
