// Appending a work unit's row to the log, whatever else runs beside it:
// take the log, check it for the work unit, journal the row, fence, write,
// confirm, release, and take the log again where the fence finds the hold
// lost before anything was written.
#pragma once

#include "log/duplicate_check.hpp"
#include "log/holder_judgment.hpp"
#include "log/lock_events.hpp"
#include "log/log_lock.hpp"
#include "log/row_format.hpp"

#include <ctime>
#include <optional>
#include <string>
#include <vector>

namespace wutally::log {

enum class AppendOutcome {
    saved,
    refused,     // the duplicate check refused the row: see `check`
    cannot_open, // the log could not be had: see `why`
    read_error,
    write_error,
};

struct Appended {
    AppendOutcome outcome = AppendOutcome::cannot_open;
    std::tm time{};                    // the row's date, with saved
    std::vector<MissingValue> missing; // the keys the row was built without
    DuplicateCheck check{};            // with refused
    TakeFailure why = TakeFailure::failed;
    LockEvents events;
};

// Appends the row of the work unit the client texts describe to the log at
// the path, made if missing, with a header row where it is empty.
Appended append_work_unit(const std::string& path, const ClientTexts& texts,
                          const LockServices& services);

} // namespace wutally::log
