// The rows of a log that the figures skip, one by one.
#pragma once

#include "platform/file_system.hpp"
#include "platform/result.hpp"
#include "report/reading/scan_error.hpp"

#include <functional>
#include <string>
#include <string_view>

namespace wutally::report {

// Hands each row of the log that the figures skip to `take`, as
// "FILE:LINE: REASON\n", the way compilers point at a line: FILE as the
// path names it, LINE counted from 1 for the header row, each CR LF, LF or
// CR ending one line and a blank line counting as one.
Result<void, ScanError> list_skipped(platform::FileSystem& files, const std::string& given,
                                     const std::function<void(std::string_view)>& take);

} // namespace wutally::report
