// Gathers the rows of one log after another and works out their figures.
#pragma once

#include "log/log_reader.hpp"
#include "report/figures.hpp"
#include "report/name_set.hpp"

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace wutally::report {

// The columns the report reads, found in each log by their header text.
enum Column : std::size_t {
    date,
    name,
    cpu,
    version,
    bg_score,
    bg_power,
    bg_chisq,
    bs_score,
    bs_power,
    user_name,
    nwus,
    nresults,
    total_cpu,
    column_count,
};

inline constexpr std::array<std::string_view, column_count> column_headers{
    "date",     "name",     "cpu",       "version", "bg_score", "bg_power", "bg_chisq",
    "bs_score", "bs_power", "user_name", "nwus",    "nresults", "total_cpu"};

// The largest CPU time, in seconds, that the CPU figures take as plausible.
inline constexpr double longest_cpu_seconds = 1e9;

// Where a log keeps each column; none where its header lacks it.
using ReportColumns = std::array<std::optional<std::size_t>, column_count>;

ReportColumns find_columns(const log::HeaderTable& header);

// How many fields of a row must be split to reach every column.
std::size_t fields_needed(const ReportColumns& columns);

// One row's fields by column; empty where the log has no such column.
using RowFields = std::array<std::string_view, column_count>;

// The latest used row's account fields, read as numbers at the end.
struct LatestRow {
    Stamp date{};
    std::array<std::optional<std::string>, 4> fields; // user_name to total_cpu
};

class FigureCollector {
  public:
    // Only used rows dated within [since, until] count; none for no bound.
    void restrict_dates(std::optional<Stamp> since, std::optional<Stamp> until);
    // The rows added next belong to this log, which has "date" and "name".
    void begin_log(std::string path, const ReportColumns& columns);
    // Lines after the header; blank lines are not rows and are not added.
    void add_rows(std::span<const RowFields> rows);
    Figures finish();

  private:
    struct Unit {
        Stamp date;
        double cpu_s; // NaN when "cpu" is not a number
        std::uint32_t version;
        std::uint32_t log;
        std::string_view name; // the name set's copy
    };
    static constexpr std::uint32_t no_version = UINT32_MAX;

    void add_row(const RowFields& row, std::uint64_t name_hash);
    void add_work_unit(const RowFields& row, Stamp stamp, std::string_view kept);
    void take_account(const RowFields& row, Stamp stamp);
    std::uint32_t version_id(std::string_view text);
    void add_months(Figures& figures) const;
    void add_versions(Figures& figures) const;

    ReportColumns columns_{};
    std::vector<LogFigures> logs_;
    NameSet names_;
    std::deque<Unit> units_; // grows without copying what it holds
    std::map<std::string, std::uint32_t, std::less<>> version_ids_;
    std::vector<std::string> versions_;
    bool any_version_column_ = false;
    std::optional<std::vector<BestUnit>> best_gaussians_;
    std::optional<std::vector<BestUnit>> best_spikes_;
    std::optional<LatestRow> latest_;
    std::optional<Stamp> since_;
    std::optional<Stamp> until_;
};

} // namespace wutally::report
