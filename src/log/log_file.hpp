// Where the log is.
#pragma once

#include <string>
#include <string_view>

namespace wutally::log {

inline constexpr std::string_view log_file_name = "WUTally.csv";

// The log directory (empty, or ending in a separator) followed by the name.
std::string log_path(std::string_view log_directory);

} // namespace wutally::log
