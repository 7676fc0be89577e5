// Reading one log for the report: opened for reading only, shared with the
// logger, and never written, locked or created.
#pragma once

#include "platform/file_system.hpp"
#include "report/figure_collector.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace wutally::report {

enum class ScanError {
    missing,
    no_log_in_directory,
    cannot_open,
    read_error,
    empty,
    no_name_column,
    no_date_column,
    not_a_log,
};

// A path that stands for standard input.
inline constexpr std::string_view standard_input_path = "-";

// A log's first line that has not ended after this many bytes is no log.
inline constexpr std::uint64_t longest_header = std::uint64_t{1} << 20;

// The reason, as the message after "wutally-report: PATH: " gives it.
std::string_view describe(ScanError error);

// The log a command-line path stands for: the path itself, or
// "WUTally.csv" in it if it is a directory; "-" stays standard input.
std::string log_file_of(platform::FileSystem& files, const std::string& path);

// Reads every line after the header row into the collector.
std::optional<ScanError> scan_log(platform::FileSystem& files, const std::string& path,
                                  FigureCollector& collector);

// Lists each row of the log that the figures skip, as "FILE:LINE: REASON",
// one a line, the way compilers point at a line: FILE as the path names
// it, LINE counted from 1 for the header row, each CR LF, LF or CR ending
// one line and a blank line counting as one.
std::optional<ScanError> list_skipped(platform::FileSystem& files, const std::string& path,
                                      std::string& listing);

} // namespace wutally::report
