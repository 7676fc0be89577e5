// A log's header row, read for the report: where its columns stand.
#pragma once

#include "log/line_reader.hpp"
#include "platform/result.hpp"
#include "report/reading/report_columns.hpp"
#include "report/reading/scan_error.hpp"

#include <cstdint>

namespace wutally::report {

// A log's first line that has not ended after this many bytes is no log.
inline constexpr std::uint64_t longest_header = std::uint64_t{1} << 20;

// Reads the header row from the reader, which stands at the log's start.
Result<ReportColumns, ScanError> read_header(log::LogReader& reader);

} // namespace wutally::report
