// The logs the command line names.
#pragma once

#include "platform/file_system.hpp"

#include <string>
#include <string_view>

namespace wutally::report {

// A path that stands for standard input.
inline constexpr std::string_view standard_input_path = "-";

// The log a command-line path stands for: the path itself, or
// "WUTally.csv" in it if it is a directory; "-" stays standard input.
std::string log_file_of(platform::FileSystem& files, const std::string& path);

} // namespace wutally::report
