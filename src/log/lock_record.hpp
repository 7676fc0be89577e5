// What the lock file beside the log says: which process holds the log, the
// token that tells its lock file from any other, and, once it knows them,
// where its row starts and the row's bytes, so that whoever finds the
// holder gone can take a partial row back.
#pragma once

#include "platform/machine.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace wutally::log {

struct PendingRow {
    std::uint64_t start = 0; // the log's size before the row
    std::string bytes;       // everything the holder writes from there
};

struct LockRecord {
    platform::ProcessIdentity holder;
    std::string token;
    std::optional<PendingRow> row; // the last one written whole
};

// The holder and its token, one "key=value" line each.
std::string format_lock_record(const platform::ProcessIdentity& holder, std::string_view token);

// A line appended to the record before the row is written, followed by the
// row's bytes; a later one stands for an earlier.
std::string format_pending_row(const PendingRow& row);

// None where the text is no whole record: a lock file still being written,
// or one some other program made.
std::optional<LockRecord> parse_lock_record(std::string_view text);

} // namespace wutally::log
