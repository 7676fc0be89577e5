// Faults that only a POSIX build meets the same way: file-size limits and a
// log on a full device.
#include "client_fixture.hpp"
#include "harness.hpp"

#include "by_label.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sys/stat.h>

namespace wutally::e2e {
namespace {

namespace fs = std::filesystem;

const std::string error_writing = "WUTally: Error writing WUTally.csv\n";

class PosixFaults : public testing::Test {
  protected:
    void SetUp() override {
        if (!program_under_test().posix) {
            GTEST_SKIP() << "POSIX build only";
        }
        ClientFiles{}.write_to(dir.path());
    }
    [[nodiscard]] fs::path log() const { return dir / "WUTally.csv"; }

    ScratchDirectory dir;
};

// The size of one row of the fixture, with its leading line break.
const std::size_t row_size = masked_row().size();

struct LimitCase {
    const char* label;
    bool existing_log;      // a log with one row is there before the run
    long long limit_offset; // the limit, from the size before the run
};

PRINT_CASE_BY_LABEL(LimitCase)

class WriteLimits : public PosixFaults, public testing::WithParamInterface<LimitCase> {};

TEST_P(WriteLimits, RollTheLogBack) {
    const LimitCase& test = GetParam();
    if (test.existing_log) {
        log_an_earlier_work_unit(dir.path());
    }
    const std::string before = test.existing_log ? read_file(log()) : "";
    const auto limit = static_cast<long long>(before.size()) + test.limit_offset;
    const RunResult run = run_program(dir.path(), {}, RunOptions{limit});
    EXPECT_EQ(run.output, error_writing);
    EXPECT_EQ(run.status, 1);
    ASSERT_TRUE(fs::exists(log()));
    EXPECT_EQ(read_file(log()), before);
}

const auto header_size = static_cast<long long>(header_row.size());
const auto whole_row = static_cast<long long>(row_size);

const LimitCase limit_cases[] = {
    {"before_the_header", false, 0},
    {"inside_the_header", false, 100},
    {"at_the_header_end", false, header_size},
    {"inside_the_first_row", false, header_size + 40},
    {"before_the_row", true, 0},
    {"inside_the_line_break", true, 1},
    {"inside_the_row", true, 200},
    {"at_the_very_end_of_the_row", true, whole_row - 1},
};

INSTANTIATE_TEST_SUITE_P(Cases, WriteLimits, testing::ValuesIn(limit_cases),
                         testing_support::ByLabel{});

TEST_F(PosixFaults, RowThatJustFitsTheLimitIsSaved) {
    log_an_earlier_work_unit(dir.path());
    const auto limit = static_cast<long long>(read_file(log()).size()) + whole_row;
    const RunResult run = run_program(dir.path(), {}, RunOptions{limit});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(masked(run.output), saved_line);
}

TEST_F(PosixFaults, LogOnAFullDeviceIsAWriteError) {
    fs::create_symlink("/dev/full", log());
    const RunResult run = run_program(dir.path());
    EXPECT_EQ(run.output, error_writing);
    EXPECT_EQ(run.status, 1);
}

TEST_F(PosixFaults, FifoAsAClientFileDoesNotHangTheRun) {
    fs::remove(dir / "state.txt");
    ASSERT_EQ(::mkfifo((dir / "state.txt").c_str(), 0600), 0);
    const RunResult run = run_program(dir.path());
    EXPECT_EQ(run.output, "WUTally: state file is empty\n");
    EXPECT_EQ(run.status, 1);
    EXPECT_FALSE(fs::exists(log()));
}

// A log of exactly 4 GiB (its header, then zero bytes, sparse on the disk) is
// not empty: the row is appended, the header not written again.
TEST_F(PosixFaults, LogOfFourGibibytesIsNotTakenForEmpty) {
    constexpr std::uintmax_t four_gib = std::uintmax_t{4} << 30;
    write_file(log(), header_row);
    fs::resize_file(log(), four_gib);
    const RunResult run = run_program(dir.path());
    EXPECT_EQ(masked(run.output), saved_line);
    ASSERT_EQ(fs::file_size(log()), four_gib + row_size);
    std::ifstream in(log(), std::ios::binary);
    std::string start(header_row.size(), '\0');
    in.read(start.data(), static_cast<std::streamsize>(start.size()));
    EXPECT_EQ(start, header_row);
    std::string row(row_size, '\0');
    in.seekg(static_cast<std::streamoff>(four_gib));
    in.read(row.data(), static_cast<std::streamsize>(row.size()));
    EXPECT_EQ(masked(row), masked_row());
}

} // namespace
} // namespace wutally::e2e
