// A run end to end: loading, writing, the command line and write failures.
#include "client_fixture.hpp"
#include "harness.hpp"

#include "by_label.hpp"

#include <gtest/gtest.h>
#include <version.hpp>

#include <filesystem>

namespace wutally::e2e {
namespace {

namespace fs = std::filesystem;

// Checks that the run saved a row whose date is the success line's time, and
// returns the log with its times masked.
std::string saved_log(const RunResult& run, const fs::path& log) {
    EXPECT_EQ(run.status, 0);
    const std::string bytes = read_file(log);
    EXPECT_EQ(success_time(run.output), last_row_time(bytes));
    return masked(bytes);
}

TEST(Run, LogsEveryKeyIntoANewLog) {
    ScratchDirectory dir;
    ClientFiles{}.write_to(dir.path());
    const RunResult run = run_program(dir.path());
    EXPECT_EQ(masked(run.output), console_text(saved_line));
    EXPECT_EQ(saved_log(run, dir / "WUTally.csv"), header_row + masked_row());
}

TEST(Run, SecondRunAppendsARowWithNoFinalLineBreak) {
    ScratchDirectory dir;
    ClientFiles files;
    files.write_to(dir.path());
    run_program(dir.path());
    ClientFiles::set(files.result, "name", "second");
    files.write_to(dir.path());
    const RunResult run = run_program(dir.path());
    EXPECT_EQ(saved_log(run, dir / "WUTally.csv"),
              header_row + masked_row() + masked_row_named("\"second\""));
}

TEST(Run, EmptyExistingLogGetsTheHeader) {
    ScratchDirectory dir;
    ClientFiles{}.write_to(dir.path());
    write_file(dir / "WUTally.csv", "");
    EXPECT_EQ(saved_log(run_program(dir.path()), dir / "WUTally.csv"), header_row + masked_row());
}

TEST(Run, NoKeyFoundWritesEmptyFieldsAfterFiftySixMessages) {
    ScratchDirectory dir;
    const std::string nothing = "nothing=here\n";
    ClientFiles{nothing, nothing, nothing}.write_to(dir.path());
    const RunResult run = run_program(dir.path());
    const std::string log = saved_log(run, dir / "WUTally.csv");
    EXPECT_EQ(log, header_row + masked_row(std::string(56, ',')));
    EXPECT_EQ(log.size() - header_row.size() - 2, 77U);
    std::string expected;
    for (const char* key : {"id", "key", "email_addr", "name"}) {
        expected += std::string("WUTally: Could not find \"") + key + "\" in file.\n\n";
    }
    EXPECT_TRUE(masked(run.output).starts_with(console_text(expected)));
    EXPECT_TRUE(masked(run.output)
                    .ends_with(console_text("WUTally: Could not find \"bg_fft_len\" in file.\n\n" +
                                            saved_line)));
    std::size_t messages = 0;
    for (std::size_t at = 0; (at = run.output.find("Could not find \"", at)) != std::string::npos;
         ++at) {
        ++messages;
    }
    EXPECT_EQ(messages, 56U);
}

TEST(Run, KeyOnTheLastLineWithoutABreakLeavesItsFieldEmpty) {
    ScratchDirectory dir;
    ClientFiles files;
    files.state.pop_back();
    files.write_to(dir.path());
    const RunResult run = run_program(dir.path());
    EXPECT_EQ(
        masked(run.output),
        console_text("WUTally: Could not find end of \"bg_fft_len\" in file.\n" + saved_line));
    std::string values = ClientFiles::row_values;
    values.resize(values.size() - 2);
    EXPECT_EQ(saved_log(run, dir / "WUTally.csv"), header_row + masked_row(values));
}

struct ValueCase {
    const char* label;
    std::string key;
    std::string value;
    std::string field;
};

PRINT_CASE_BY_LABEL(ValueCase)

class Values : public testing::TestWithParam<ValueCase> {};

// Each value lands in the user's "url" column, which stands sixth.
TEST_P(Values, AreStoredAsValidCsvFields) {
    ScratchDirectory dir;
    ClientFiles files;
    ClientFiles::set(files.user_info, GetParam().key, GetParam().value);
    files.write_to(dir.path());
    std::string values = ClientFiles::row_values;
    values.replace(values.find(",,\"Netherlands\""), 2, "," + GetParam().field + ",");
    EXPECT_EQ(saved_log(run_program(dir.path()), dir / "WUTally.csv"),
              header_row + masked_row(values));
}

const ValueCase value_cases[] = {
    {"comma_quoted", "url", "1,5", "\"1,5\""},
    {"quotes_doubled", "url", "a \"b\" c", "\"a \"\"b\"\" c\""},
    {"letters_quoted", "url", "http://example.org/~ada", "\"http://example.org/~ada\""},
    {"digits_bare", "url", "-12.5", "-12.5"},
    {"leading_spaces_dropped", "url", "   7 ", "7 "},
    {"only_spaces_empty", "url", "   ", ""},
    {"per_cent_as_is", "url", "100%s", "\"100%s\""},
};

INSTANTIATE_TEST_SUITE_P(Cases, Values, testing::ValuesIn(value_cases), testing_support::ByLabel{});

TEST(Run, CrLfClientFilesGiveTheSameRow) {
    ScratchDirectory dir;
    const ClientFiles lf;
    ClientFiles{with_crlf(lf.state), with_crlf(lf.result), with_crlf(lf.user_info)}.write_to(
        dir.path());
    EXPECT_EQ(saved_log(run_program(dir.path()), dir / "WUTally.csv"), header_row + masked_row());
}

struct LoadCase {
    const char* label;
    std::string state;
    std::string result;
    std::string user_info;
    std::string output;
};

PRINT_CASE_BY_LABEL(LoadCase)

constexpr const char* absent = "<absent>";
constexpr const char* directory = "<directory>";

class LoadFailures : public testing::TestWithParam<LoadCase> {};

void place(const fs::path& path, const std::string& content) {
    if (content == directory) {
        fs::create_directory(path);
    } else if (content != absent) {
        write_file(path, content);
    }
}

TEST_P(LoadFailures, StopBeforeTheLogIsCreated) {
    const LoadCase& test = GetParam();
    ScratchDirectory dir;
    place(dir / "state.txt", test.state);
    place(dir / "result.txt", test.result);
    place(dir / "user_info.txt", test.user_info);
    const RunResult run = run_program(dir.path());
    EXPECT_EQ(run.output, console_text(test.output));
    EXPECT_EQ(run.status, 1);
    EXPECT_FALSE(fs::exists(dir / "WUTally.csv"));
}

const std::string good = "name=x\n";

const LoadCase load_cases[] = {
    {"state_missing", absent, absent, absent, "WUTally: Could not open state.txt\n"},
    {"state_missing_others_present", absent, good, good, "WUTally: Could not open state.txt\n"},
    {"state_empty", "", absent, absent, "WUTally: state file is empty\n"},
    {"state_directory", directory, good, good, "WUTally: Could not open state.txt\n"},
    {"result_missing", good, absent, absent, "WUTally: Could not open result.txt\n"},
    {"result_empty", good, "", absent, "WUTally: result.txt is empty\n"},
    {"result_directory", good, directory, good, "WUTally: Could not open result.txt\n"},
    {"user_info_missing", good, good, absent, "WUTally: Could not open user_info.txt\n"},
    {"user_info_empty", good, good, "", "WUTally: user_info file is empty\n"},
    {"user_info_directory", good, good, directory, "WUTally: Could not open user_info.txt\n"},
};

INSTANTIATE_TEST_SUITE_P(Cases, LoadFailures, testing::ValuesIn(load_cases),
                         testing_support::ByLabel{});

const std::string version_line = "WUTally Version " + std::string(version) + "\n";
const std::string help_text =
    version_line + "Saves information about a completed Starsweep work unit into WUTally.csv\n\n"
                   "WUTally [/?] [/Ppath]\n\n"
                   "/? - Displays this help text.\n"
                   "/P - Path to the WUTally.csv file. If WUTally.csv does not exist one will be "
                   "created.\n\n"
                   "Example: WUTally /Pc:\\temp\\sweep\n"
                   "     or: WUTally /P\"c:\\program files\\starsweep\"\n";

struct RequestCase {
    const char* label;
    std::vector<std::string> arguments;
    std::string output;
};

PRINT_CASE_BY_LABEL(RequestCase)

class Requests : public testing::TestWithParam<RequestCase> {};

TEST_P(Requests, PrintOnlyTheirTextAndOpenNothing) {
    ScratchDirectory dir;
    ClientFiles{}.write_to(dir.path());
    const RunResult run = run_program(dir.path(), GetParam().arguments);
    EXPECT_EQ(run.output, console_text(GetParam().output));
    EXPECT_EQ(run.status, 0);
    EXPECT_FALSE(fs::exists(dir / "WUTally.csv"));
}

const RequestCase request_cases[] = {
    {"help_after_a_directory", {"/Plogs", "/?"}, help_text},
    {"long_help", {"--help"}, help_text},
    {"short_help", {"x", "-h"}, help_text},
    {"version", {"--version"}, version_line},
    {"first_request_wins", {"--version", "--help"}, version_line},
};

INSTANTIATE_TEST_SUITE_P(Cases, Requests, testing::ValuesIn(request_cases),
                         testing_support::ByLabel{});

struct DirectoryCase {
    const char* label;
    std::vector<std::string> arguments;
    std::string printed; // the directory in the path line ("|" for the separator)
    std::string log;     // where the log lands, relative to the working directory
};

PRINT_CASE_BY_LABEL(DirectoryCase)

class LogDirectory : public testing::TestWithParam<DirectoryCase> {};

TEST_P(LogDirectory, PutsTheLogThere) {
    const DirectoryCase& test = GetParam();
    ScratchDirectory dir;
    ClientFiles{}.write_to(dir.path());
    fs::create_directories(dir / "logs");
    fs::create_directories(dir / "%s%n");
    const RunResult run = run_program(dir.path(), test.arguments);
    const std::string path_line =
        test.printed.empty()
            ? ""
            : "WUTally: Path to WUTally.csv set to: " + native(test.printed) + "\n";
    EXPECT_EQ(masked(run.output), console_text(path_line + saved_line));
    EXPECT_EQ(saved_log(run, dir / test.log), header_row + masked_row());
}

const DirectoryCase directory_cases[] = {
    {"relative", {"/Plogs"}, "logs|", "logs/WUTally.csv"},
    {"trailing_quote", {"/Plogs\""}, "logs|", "logs/WUTally.csv"},
    {"empty", {"/P"}, "", "WUTally.csv"},
    {"lone_quote", {"/P\""}, "", "WUTally.csv"},
    {"per_cent_signs", {"/P%s%n"}, "%s%n|", "%s%n/WUTally.csv"},
    {"lower_case_ignored", {"/plogs"}, "", "WUTally.csv"},
    {"separate_directory", {"/P", "logs"}, "logs|", "logs/WUTally.csv"},
    {"separate_directory_after_another", {"/Pother", "/P", "logs"}, "logs|", "logs/WUTally.csv"},
};

INSTANTIATE_TEST_SUITE_P(Cases, LogDirectory, testing::ValuesIn(directory_cases),
                         testing_support::ByLabel{});

TEST(LogDirectory, SeparatorAlreadyThereIsNotDoubled) {
    ScratchDirectory dir;
    ClientFiles{}.write_to(dir.path());
    fs::create_directories(dir / "logs");
    const std::string logs = native("logs|");
    const RunResult run = run_program(dir.path(), {"/P" + logs});
    EXPECT_EQ(masked(run.output),
              console_text("WUTally: Path to WUTally.csv set to: " + logs + "\n" + saved_line));
    EXPECT_EQ(saved_log(run, dir / "logs" / "WUTally.csv"), header_row + masked_row());
}

// A mistyped option stops the run before it reads anything: the work unit
// is not logged where it was not meant to go, nor anywhere else.
TEST(LogDirectory, AMistypedOptionLogsNothing) {
    for (const std::string typed : {"-help", "-P", "--path=logs", "--verison"}) {
        ScratchDirectory dir;
        ClientFiles{}.write_to(dir.path());
        fs::create_directories(dir / "logs");
        const RunResult quiet = run_program(dir.path(), {typed, "logs"});
        EXPECT_EQ(quiet.status, 1) << typed;
        EXPECT_EQ(quiet.output, "") << typed;
        const RunResult told = run_program(dir.path(), {typed}, RunOptions{.with_errors = true});
        EXPECT_EQ(told.output, console_text("WUTally: " + typed +
                                            " is no option, and nothing was logged; the log's "
                                            "folder is set with /P DIR, and /? shows the help\n"));
        EXPECT_FALSE(fs::exists(dir / "WUTally.csv")) << typed;
        EXPECT_FALSE(fs::exists(dir / "logs" / "WUTally.csv")) << typed;
    }
}

// "|" stands for the separator in these tables.
struct OpenCase {
    const char* label;
    std::string argument;
    std::string path_line;
    std::string log_path;
};

PRINT_CASE_BY_LABEL(OpenCase)

class LogOpenFailures : public testing::TestWithParam<OpenCase> {};

TEST_P(LogOpenFailures, SayCouldNotOpenWithTheFullPath) {
    const OpenCase& test = GetParam();
    ScratchDirectory dir;
    ClientFiles{}.write_to(dir.path());
    fs::create_directories(dir / "logs" / "WUTally.csv");
    const RunResult run = run_program(dir.path(), {test.argument});
    EXPECT_EQ(run.output, console_text(native(test.path_line) + "WUTally: Could not open " +
                                       native(test.log_path) + "\n"));
    EXPECT_EQ(run.status, 1);
}

const OpenCase open_cases[] = {
    {"missing_directory", "/Pmissing", "WUTally: Path to WUTally.csv set to: missing|\n",
     "missing|WUTally.csv"},
    {"log_is_a_directory", "/Plogs", "WUTally: Path to WUTally.csv set to: logs|\n",
     "logs|WUTally.csv"},
};

INSTANTIATE_TEST_SUITE_P(Cases, LogOpenFailures, testing::ValuesIn(open_cases),
                         testing_support::ByLabel{});

// The run waits for the log, up to its bound, then gives up.
TEST(LogHeldOpen, PastTheBoundByAnotherProcessIsLeftAlone) {
    ScratchDirectory dir;
    ClientFiles{}.write_to(dir.path());
    ASSERT_EQ(run_program(dir.path()).status, 0);
    const std::string before = read_file(dir / "WUTally.csv");
    RunResult run;
    {
        const HeldOpen holder(dir.path(), "WUTally.csv");
        ASSERT_TRUE(holder.held());
        run = run_program(dir.path());
    }
    EXPECT_EQ(run.output, console_text("WUTally: Could not open WUTally.csv\n"));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(read_file(dir / "WUTally.csv"), before);
}

} // namespace
} // namespace wutally::e2e
