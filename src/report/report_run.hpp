// One run of the report: read the logs, then print or write what they hold.
#pragma once

#include "platform/console.hpp"
#include "platform/file_system.hpp"
#include "platform/local_zone.hpp"

#include <span>
#include <string_view>

namespace wutally::report {

enum class ReportStatus : int { success = 0, failure = 1, usage_error = 2 };

// Where a report prints its results and its messages, the files it reads
// and writes, and the zone its logs' local times are read in.
struct ReportServices {
    platform::Console& out;
    platform::Console& errors;
    platform::FileSystem& files;
    platform::LocalZone& zone;
};

// Takes the arguments after the program's name.
int run_report(std::span<const std::string_view> arguments, const ReportServices& services);

} // namespace wutally::report
