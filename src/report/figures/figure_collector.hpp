// Gathers the rows of one log after another and works out their figures.
// A long log's later part may be prepared on a second thread while the
// collector takes the part before it; the figures are the same.
#pragma once

#include "report/figures/figures.hpp"
#include "report/figures/name_set.hpp"
#include "report/figures/row_fields.hpp"

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace wutally::report {

// A log is silent when its last work unit is this many days older than the
// newest of all logs: longer than a slow machine's longest work unit or a
// weekend away from the network, short enough that a stall shows that week.
inline constexpr int default_silent_after_days = 3;

struct CollectorOptions {
    // Only used rows dated within [since, until] count; none for no bound.
    std::optional<Stamp> since;
    std::optional<Stamp> until;
    // Keep the place of every work unit with a CPU time (Figures::points),
    // and their names where there are no more than this many.
    bool keep_points = false;
    std::size_t named_points = 0;
    int silent_after_days = default_silent_after_days;
};

// A log as the report names it.
struct LogName {
    std::string path;
    std::string label;
};

// What the figures keep of a work unit.
struct Unit {
    Stamp date;
    double cpu_s;          // NaN when "cpu" is not a plausible CPU time
    std::uint32_t version; // an index into the versions seen, or none
    std::uint32_t log;
};

inline constexpr std::uint32_t no_version = UINT32_MAX;

// One of the best rows by a score, as a candidate for the best lists.
struct Candidate {
    BestUnit unit;
    std::size_t row = 0; // which row of its part
};

// The latest used row's account fields, read as numbers at the end.
struct LatestRow {
    Stamp date{};
    std::array<std::optional<std::string>, 4> fields; // user_name to total_cpu
};

// The versions seen, each with its index, the last one looked up first: rows
// of one version come in long runs.
class VersionIds {
  public:
    std::uint32_t id_of(std::string_view text);
    [[nodiscard]] const std::vector<std::string_view>& texts() const { return texts_; }

  private:
    std::map<std::string, std::uint32_t, std::less<>> ids_;
    std::vector<std::string_view> texts_; // the map's keys, by index
    const std::pair<const std::string, std::uint32_t>* last_ = nullptr;
};

class FigureCollector;

// The used rows of a later part of a log, read on a second thread: all the
// figures need of them but which of them are new work units, which only
// the collector can tell once it has taken every row before.
class PreparedRows {
  public:
    PreparedRows(const FigureCollector& collector, ColumnSet columns);
    // A line after the header; blank lines are not rows and are not added.
    void add_row(const RowFields& row);
    // Room for about this many rows, so that the list is not copied as it
    // grows.
    void expect_rows(std::size_t rows) { rows_.reserve(rows); }

  private:
    friend class FigureCollector;

    struct Row {
        Stamp date;
        double cpu_s;
        NameHash name;
        std::uint32_t version; // into versions_
    };

    void offer(std::vector<Candidate>& best, const RowFields& row, Stamp stamp, Column score,
               Column power, std::optional<Column> chisq) const;

    const FigureCollector& collector_;
    ColumnSet columns_;
    StampReader stamps_;
    std::vector<Row> rows_;
    std::uint64_t skipped_ = 0;
    VersionIds versions_;
    std::vector<Candidate> gaussians_;
    std::vector<Candidate> spikes_;
    std::uint64_t scored_rows_[2] = {0, 0}; // rows with a gaussian and a spike score
    std::optional<LatestRow> latest_;
    // The names of the first rows with a CPU time, while they are few.
    NameSet named_;
    std::vector<std::pair<std::size_t, std::string>> names_;
};

class FigureCollector {
  public:
    explicit FigureCollector(CollectorOptions options = {});

    [[nodiscard]] const CollectorOptions& options() const { return options_; }
    [[nodiscard]] const NameKey& key() const { return key_; }

    // The rows added next belong to this log, which has "date" and "name".
    void begin_log(LogName log, ColumnSet columns);
    // About how many rows are to come, so that room for them is made once.
    void expect_rows(std::size_t rows);
    // A line after the header; blank lines are not rows and are not added.
    void add_row(const RowFields& row);
    // The rows of the current log's next part, prepared while the rows
    // before were added.
    void add_prepared(PreparedRows&& prepared);
    // Where the best lists could not be told from the prepared rows alone (too
    // many of their best rows were repeated work units), each line of the
    // last prepared part must be offered again, in order.
    [[nodiscard]] bool needs_prepared_rows_again() const { return !rows_again_.empty(); }
    void offer_again(const RowFields& fields);
    Figures finish();

  private:
    friend class PreparedRows;

    // A row waiting for its name's place in the set to be loaded.
    struct Pending {
        Stamp date;
        double cpu_s;
        NameHash name;
        std::uint32_t version;
        std::optional<BestUnit> gaussian;
        std::optional<BestUnit> spike;
        std::string point_name;
    };

    void settle(Pending& row);
    void settle_all();
    void add_unit(const Unit& unit);
    void take_latest(const LatestRow& row);
    void merge_best(std::vector<BestUnit>& best, std::vector<Candidate>& candidates,
                    const std::vector<bool>& is_unit);
    void add_recent_medians(LogFigures& all);
    void add_months(Figures& figures) const;
    void add_versions(Figures& figures) const;
    void add_version_starts(Figures& figures) const;

    CollectorOptions options_;
    NameKey key_;
    ColumnSet columns_;
    StampReader stamps_;
    std::vector<LogFigures> logs_;
    NameSet names_;
    std::deque<Unit> units_; // grows without copying what it holds
    std::size_t drawn_ = 0;  // units with a CPU time
    std::vector<std::string> point_names_;
    VersionIds versions_;
    bool any_version_column_ = false;
    std::optional<std::vector<BestUnit>> best_gaussians_;
    std::optional<std::vector<BestUnit>> best_spikes_;
    std::optional<LatestRow> latest_;
    std::array<Pending, 8> pending_{};
    std::size_t pending_count_ = 0;
    std::size_t pending_next_ = 0;
    // The last prepared part's rows that are new work units, where they
    // must be offered again.
    std::vector<bool> rows_again_;
    std::size_t row_again_ = 0;
};

} // namespace wutally::report
