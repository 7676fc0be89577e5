// The clock of the machine that keeps the log's folder: the server, for a
// folder on a share. Machines' own clocks may differ from it by hours, so
// that a lock's age is judged by it alone.
#pragma once

#include "platform/file_system.hpp"
#include "platform/result.hpp"

#include <chrono>
#include <string>

namespace wutally::log {

// The time now by that clock: the change time of a file made beside the log
// and removed again, named `probe`.
Result<std::chrono::nanoseconds, platform::FileError> share_time(platform::FileSystem& files,
                                                                 const std::string& probe);

} // namespace wutally::log
