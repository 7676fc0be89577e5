// Reading the logs into the figures. Every log is a piece, or several where
// it is long, and the pieces of all logs are handed out to two threads: one
// takes them in order from the first and adds their rows to the figures,
// the other takes them from the last and prepares theirs, which the figures
// then take in order. A farm of many small logs uses both threads as one
// long log does.
#pragma once

#include "log/piece_schedule.hpp"
#include "platform/file_system.hpp"
#include "platform/result.hpp"
#include "report/figures/figure_collector.hpp"
#include "report/reading/scan_error.hpp"

#include <string>
#include <vector>

namespace wutally::report {

struct LogToScan {
    std::string given; // the path as the command line gave it
    LogName name;      // the log file it stands for, and its label
};

// What a directory without a log is: a failure, or, among a farm's
// machines, one that has not logged yet.
enum class MissingLog { fails, counts_as_empty };

enum class LogScanned { read, not_written_yet };

// Reads every line after each log's header into the collector, the logs in
// the order given; gives what came of each log, in the same order.
std::vector<Result<LogScanned, ScanError>> scan_logs(platform::FileSystem& files,
                                                     const std::vector<LogToScan>& logs,
                                                     FigureCollector& collector, MissingLog missing,
                                                     const log::PieceSizes& sizes = {});

} // namespace wutally::report
