// Refusing a work unit the log already holds.
#pragma once

#include "client/key_lookup.hpp"
#include "log/piece_schedule.hpp"
#include "platform/file_system.hpp"
#include "platform/result.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace wutally::log {

enum class CheckOutcome {
    not_logged,     // the row may be appended
    no_name_value,  // "name" has no value in the result text
    no_name_column, // a row follows a header without a "name" column
    already_logged,
};

enum class CheckError {
    read_failed,
};

struct DuplicateCheck {
    CheckOutcome outcome = CheckOutcome::not_logged;
    std::string name{}; // the work unit's name as the log stores it
    // Why "name" has no value, with no_name_value.
    client::LookupFailure name_failure = client::LookupFailure::no_key;
    // The log ends in a CR or LF (a spreadsheet saved it), so a new row needs
    // no line break in front of it; not told with already_logged, whose
    // reading ends where the name is found.
    bool ends_with_line_break = false;
    // Where the header row has "name"; none without one.
    std::optional<std::size_t> name_column{};
    // With already_logged: where the line that holds the name starts, where
    // that can be told.
    std::optional<std::uint64_t> match_offset{};
    // How far the log was read: short of its size where it shrank
    // meanwhile; not told with already_logged either.
    std::uint64_t read_to = 0;
    // With no_name_column: the header's texts are separated by this instead.
    std::optional<char> other_separator{};
};

// A check of the log made before this run held it, so that the hold needs
// to read only what was appended since.
struct EarlierCheck {
    platform::FileIdentity file;
    std::uint64_t size = 0; // how much of the log was checked
    DuplicateCheck check;   // not_logged with a name column, or already_logged
    // The last bytes checked: a row that was then taken back, and another
    // written in its place, shows there.
    std::string tail;
};

using CheckResult = Result<DuplicateCheck, CheckError>;

// Reads the whole log, of `log_size` bytes, from its start and compares the
// column headed "name" of every row after the header with the work unit's
// name, stored form against stored form, exactly and case-sensitively. A
// long log is read in pieces from both ends at once.
CheckResult is_already_logged(const platform::File& log, std::uint64_t log_size,
                              std::string_view result_text, const PieceSizes& sizes = {});

// Checks the log at the path, if there is a non-empty one that can be read
// now, without holding it. None where that check could not decide anything
// a later one may build on, a failure to read it included: the check under
// the hold then reads the whole log and meets the failure itself.
std::optional<EarlierCheck> check_before_hold(platform::FileSystem& files, const std::string& path,
                                              std::string_view result_text);

// A check of the log, of `log_size` bytes, kept for a later check to build
// on; none where it decided nothing such a check may build on.
std::optional<EarlierCheck> remember_check(const platform::File& log, std::uint64_t log_size,
                                           const DuplicateCheck& check);

// The check of the held log, of `log_size` bytes, as is_already_logged
// gives it. Where the earlier check read the same file, which has not
// shrunk and whose checked part still ends as it did, with a whole line,
// only the lines appended since are read, and a row found to hold the name
// is read again, as it may have been taken back since; otherwise the whole
// log is read.
CheckResult check_under_hold(const platform::File& log, std::uint64_t log_size,
                             std::string_view result_text,
                             const std::optional<EarlierCheck>& earlier);

} // namespace wutally::log
