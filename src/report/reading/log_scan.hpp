// Reading one log for the report: opened for reading only, shared with the
// logger, and never written, locked or created.
#pragma once

#include "platform/file_system.hpp"
#include "platform/result.hpp"
#include "report/figures/figure_collector.hpp"

#include <cstdint>
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
    semicolons, // no "name" column, but one where texts are separated by semicolons
    tabs,       // or by tabs
    no_date_column,
    not_a_log,
};

// A log's first line that has not ended after this many bytes is no log.
inline constexpr std::uint64_t longest_header = std::uint64_t{1} << 20;

// A log of `split_from` bytes or more is read on two threads, in pieces of
// about `piece` bytes, and in no fewer than `fewest_pieces`: the threads
// share the work no better than a piece's worth.
struct ScanSizes {
    std::uint64_t split_from = std::uint64_t{2} << 20;
    std::uint64_t piece = std::uint64_t{16} << 20;
    std::uint64_t fewest_pieces = 16;
};

// The reason, as the message after "wutally-report: PATH: " gives it.
std::string_view describe(ScanError error);

// Reads every line after the header row into the collector, as the log
// named `log`; `given` is the path as the command line gave it.
Result<void, ScanError> scan_log(platform::FileSystem& files, const std::string& given, LogName log,
                                 FigureCollector& collector, ScanSizes sizes = {});

// Lists each row of the log that the figures skip, as "FILE:LINE: REASON",
// one a line, the way compilers point at a line: FILE as the path names
// it, LINE counted from 1 for the header row, each CR LF, LF or CR ending
// one line and a blank line counting as one.
Result<void, ScanError> list_skipped(platform::FileSystem& files, const std::string& given,
                                     std::string& listing);

} // namespace wutally::report
