// What a lease's holder file names and what a journal holds are read back
// as written, and only when whole.
#include "by_label.hpp"
#include "log/holder_name.hpp"
#include "log/lock_record.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace wutally::log {
namespace {

const platform::ProcessIdentity elsewhere{"there", "machine-there", "boot-x", 300, 9};

struct RecordCase {
    const char* label;
    std::string text;
    bool whole;
    std::optional<std::uint64_t> row_start;
};
PRINT_CASE_BY_LABEL(RecordCase)

class LockRecords : public testing::TestWithParam<RecordCase> {};

TEST_P(LockRecords, ReadBackOnlyWhenWhole) {
    const auto record = parse_lock_record(GetParam().text);
    ASSERT_EQ(record.has_value(), GetParam().whole);
    if (record) {
        EXPECT_EQ(record->holder, elsewhere);
        EXPECT_EQ(record->row ? std::optional(record->row->start) : std::nullopt,
                  GetParam().row_start);
    }
}

const std::string record = format_lock_record(elsewhere, "token-of-300");
const RecordCase record_cases[] = {
    {"holder", record, true, std::nullopt},
    {"with_its_row", record + format_pending_row({42, "a\nrow=1 1\nb"}), true, 42},
    {"a_later_row_stands", record + format_pending_row({1, "x"}) + format_pending_row({2, "y"}),
     true, 2},
    {"row_cut_short", record + format_pending_row({42, "abc"}).substr(0, 11), true, std::nullopt},
    {"being_written", record.substr(0, record.size() / 2), false, std::nullopt},
    {"empty", "", false, std::nullopt},
    {"another_programs_file", "pid=300\nstart=9\ntoken=x\n", false, std::nullopt},
};

INSTANTIATE_TEST_SUITE_P(Cases, LockRecords, testing::ValuesIn(record_cases),
                         testing_support::ByLabel{});

struct NameCase {
    const char* label;
    platform::ProcessIdentity process;
    std::string host_read_back;
};
PRINT_CASE_BY_LABEL(NameCase)

class HolderNames : public testing::TestWithParam<NameCase> {};

// The name is all another run learns of the holder: it must give back the
// same holder, and the same boot must be seen as the same boot.
TEST_P(HolderNames, ReadBackAsTheHolderTheyName) {
    Holder holder = holder_of(GetParam().process, "0123456789abcdef0123456789abcdef");
    holder.generation = 17;
    const std::string name = holder_name(holder);
    EXPECT_LE(name.size(), 255U);
    const auto read = parse_holder_name(name);
    ASSERT_TRUE(read.has_value()) << name;
    EXPECT_EQ(*read, holder);
    EXPECT_EQ(read->host, GetParam().host_read_back);
    EXPECT_EQ(same_boot(*read, holder), !GetParam().process.boot.empty());
}

const NameCase name_cases[] = {
    {"plain", elsewhere, "there"},
    {"dots_and_spaces", {"node 7.example.org", "id", "boot", 1, 2}, "node 7.example.org"},
    {"per_cent_and_line_break", {"a%b\nc", "id", "boot", 1, 2}, "a%b\nc"},
    {"no_machine_id_nor_boot", {"bsd", "", "", 5, 0}, "bsd"},
    {"host_too_long_is_cut", {std::string(300, '.'), "id", "boot", 1, 2}, std::string(26, '.')},
};

INSTANTIATE_TEST_SUITE_P(Cases, HolderNames, testing::ValuesIn(name_cases),
                         testing_support::ByLabel{});

TEST(HolderNames, OtherNamesAreNoHolders) {
    for (const char* name : {"token.row", "h.x", "hx.a.1.2.-.-.host", "h1.a.b.2.-.-.host", ""}) {
        EXPECT_FALSE(parse_holder_name(name).has_value()) << name;
    }
}

} // namespace
} // namespace wutally::log
