// Short names that tell the logs of a report apart.
#pragma once

#include "platform/file_system.hpp"

#include <span>
#include <string>
#include <vector>

namespace wutally::report {

// For each log file: the name of the directory that holds it, or, for a
// file not called WUTally.csv, the file's name without ".csv"; with the
// names of the directories above put before it, parted by "/", only where
// two labels would otherwise be the same. Relative paths, "." and ".."
// are taken from `base` and name the real directories. Standard input is
// "standard input".
std::vector<std::string> log_labels(platform::FileSystem& file_system,
                                    std::span<const std::string> files, const std::string& base);

} // namespace wutally::report
