// Which logs the command line names: a folder of machines' folders stands
// for each machine's log, and on Windows, whose Command Prompt leaves them
// to the program, "*" and "?" in a path's last part are expanded here.
#pragma once

#include "platform/file_system.hpp"

#include <string>
#include <vector>

namespace wutally::report {

struct LogPaths {
    std::vector<std::string> paths;
    // Several logs were asked for: one that a machine has not written yet
    // is a log with no work units, not a failure.
    bool several = false;
};

LogPaths log_paths(platform::FileSystem& files, const std::vector<std::string>& given,
                   bool expand_wildcards);

// Whether the name matches the pattern, in which "*" stands for any run of
// characters and "?" for one; letters match in either case where asked.
bool matches(std::string_view name, std::string_view pattern, bool any_case);

} // namespace wutally::report
