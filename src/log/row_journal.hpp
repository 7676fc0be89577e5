// The row journal: before a holder writes its row, it leaves where the row
// starts and the row's bytes in a file of its own in the lock directory,
// flushed to the disk; it removes the file once the row is written whole
// or taken back. Whoever holds the log next and finds a journal whose
// holder is gone takes back what of that row was written, where it is not
// whole, before anything is written behind it.
#pragma once

#include "log/lock_record.hpp"
#include "platform/file_system.hpp"
#include "platform/machine.hpp"
#include "platform/result.hpp"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace wutally::log {

// The journal's name in the lock directory.
std::string journal_name(std::string_view token);
bool is_journal_name(std::string_view name);

Result<void, platform::FileError> write_journal(platform::FileSystem& files,
                                                const std::string& path,
                                                const platform::ProcessIdentity& holder,
                                                std::string_view token, const PendingRow& row);

// What of a row its writer did not finish was taken back off the log.
struct TakenBackRow {
    std::optional<platform::ProcessIdentity> holder; // none where its journal named none
    std::uint64_t bytes = 0;
};

// Proves, just before a cut, that this run still holds the log: a cut by a
// run that has lost it could take off a row another run has written since.
using Fence = std::function<bool()>;

// Takes back the row's bytes at the end of the log where they are the
// start of the row, and, with `whole_too`, where they are the whole row;
// bytes that are not the row's are never touched. How many were taken
// back; `held` where the fence found the hold lost, and nothing was cut.
Result<std::uint64_t, platform::FileError>
take_back(const platform::File& log, const PendingRow& row, bool whole_too, const Fence& fence);

// Reads the journal at the path, takes back the part of its row that was
// written, where it is not whole, and then removes the journal; a journal
// whose part could not be taken back stays. None where nothing was taken
// back.
Result<std::optional<TakenBackRow>, platform::FileError> recover_row(platform::FileSystem& files,
                                                                     const platform::File& log,
                                                                     const std::string& path,
                                                                     const Fence& fence);

} // namespace wutally::log
