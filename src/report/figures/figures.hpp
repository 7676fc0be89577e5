// What the report shows: the figures of one or more logs, over work units
// (distinct names, each taken from the first row that has it).
#pragma once

#include "report/figures/log_time.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace wutally::report {

// The figures of one log, or of all logs together.
struct LogFigures {
    std::string path;           // as given; empty for all logs together
    std::string label;          // short and unique among the logs (see log_labels)
    std::uint64_t rows = 0;     // used rows, repeated ones included
    std::uint64_t skipped = 0;  // rows without a valid date or a name
    std::uint64_t repeated = 0; // used rows whose name came earlier
    std::uint64_t work_units = 0;
    std::optional<Stamp> first;
    std::optional<Stamp> last;
    // Over the work units whose "cpu" is a number; none when there is none.
    std::optional<double> cpu_seconds;
    std::optional<double> cpu_hours;
    std::optional<double> cpu_mean_s;
    std::optional<double> cpu_median_s;
    // Its last work unit is more than the days asked for older than the
    // newest of all logs, or it has none while others have; never where
    // there is one log.
    bool silent = false;
    // The median CPU time over the work units logged in the recent_days
    // before the newest work unit of all logs.
    std::optional<double> recent_cpu_median_s;
};

// A month's work units of one log.
struct MonthOfLog {
    std::uint64_t work_units = 0;
    std::optional<double> cpu_median_s;
};

struct MonthFigures {
    Month month;
    std::uint64_t work_units = 0;
    std::optional<double> cpu_median_s;
    std::vector<MonthOfLog> logs; // one for each log, in order, for the page
};

struct VersionFigures {
    std::string version;
    std::uint64_t work_units = 0;
    std::optional<double> cpu_median_s;
};

// One of the best work units by a score.
struct BestUnit {
    std::string name;
    Stamp date{};
    double score = 0;
    std::optional<double> power;
    std::optional<double> chisq; // gaussians only
    std::uint32_t log = 0;       // which log found it
};

// The account as the latest used row shows it. A field is none where its
// column is missing, or, for the numbers, where it is not a number.
struct Account {
    Stamp date{};
    std::optional<std::string> user_name;
    std::optional<double> nwus;
    std::optional<double> nresults;
    std::optional<double> total_cpu;
};

// A work unit with a CPU time, as a chart places it.
struct UnitPoint {
    Stamp date{};
    double cpu_s = 0;
    std::uint32_t log = 0;
};

// Where a client version is first seen in a log that logged with another
// before it.
struct VersionStart {
    Stamp date{};
    std::string version;
    std::uint32_t log = 0;
};

struct Figures {
    // The range of days asked for; none for no bound.
    std::optional<Stamp> since;
    std::optional<Stamp> until;
    int silent_after_days = 0;
    std::vector<LogFigures> logs;
    LogFigures all;
    std::vector<MonthFigures> months; // oldest first
    // None where no log has the column the figures come from.
    std::optional<std::vector<VersionFigures>> versions; // most work units first
    std::optional<std::vector<BestUnit>> best_gaussians; // highest "bg_score" first
    std::optional<std::vector<BestUnit>> best_spikes;    // highest "bs_score" first
    std::optional<Account> account;                      // none without a used row
    // Where they were asked for: every work unit with a CPU time, in reading
    // order, and their names where there are no more than were asked for.
    std::vector<UnitPoint> points;
    std::vector<std::string> point_names;
    std::vector<VersionStart> version_starts; // where points are kept; oldest first
};

inline constexpr std::size_t best_count = 5;
inline constexpr int recent_days = 7;

// What the text and the page say of logs without a used row.
inline constexpr std::string_view no_work_units = "no work units yet";

} // namespace wutally::report
