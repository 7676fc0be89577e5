// The logs the command line names, opened for reading only, shared with
// the logger, and never written, locked or created.
#pragma once

#include "platform/file_system.hpp"
#include "platform/result.hpp"
#include "report/reading/scan_error.hpp"

#include <memory>
#include <string>
#include <string_view>

namespace wutally::report {

// A path that stands for standard input.
inline constexpr std::string_view standard_input_path = "-";

// The name in the folder, with a separator between them where the folder
// does not end in one; the name alone in the working folder ("").
std::string in_folder(const std::string& folder, std::string_view name);

// The log a command-line path stands for: the path itself, or
// "WUTally.csv" in it if it is a directory; "-" stays standard input.
std::string log_file_of(platform::FileSystem& files, const std::string& path);

// Whether the log is read as it comes (standard input, a pipe, a FIFO):
// once, from its start, and never by offset.
enum class Reading { by_offset, as_it_comes };

struct OpenedLog {
    std::unique_ptr<platform::File> file;
    Reading reading = Reading::as_it_comes;
};

// The log `file` that the command line's `given` path names.
Result<OpenedLog, ScanError> open_log(platform::FileSystem& files, const std::string& given,
                                      const std::string& file);

} // namespace wutally::report
