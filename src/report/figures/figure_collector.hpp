// Takes in the rows of one log after another and works out their figures.
// The pieces of a log, or whole logs, read on a second thread while the
// collector takes the rows before them, come in as prepared rows; the
// figures are the same.
#pragma once

#include "log/line_reader.hpp"
#include "platform/result.hpp"
#include "report/figures/best_list.hpp"
#include "report/figures/figures.hpp"
#include "report/figures/latest_row.hpp"
#include "report/figures/name_set.hpp"
#include "report/figures/piece_rows.hpp"
#include "report/figures/row_fields.hpp"
#include "report/figures/row_kind.hpp"
#include "report/figures/work_units.hpp"

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
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

    [[nodiscard]] DayRange range() const { return {since, until}; }
};

// A log as the report names it.
struct LogName {
    std::string path;
    std::string label;
};

class FigureCollector {
  public:
    explicit FigureCollector(CollectorOptions options = {});

    [[nodiscard]] const CollectorOptions& options() const { return options_; }
    [[nodiscard]] const NameKey& key() const { return key_; }

    // The rows taken next belong to this log, which has "date" and "name".
    void begin_log(LogName log, ColumnSet columns);
    // About how many rows are to come, so that room for them is made once.
    void expect_rows(std::size_t rows);
    // A line after the header; blank lines are not rows and are not added.
    void add_row(const RowFields& row);
    // The rows of the current log's next piece, prepared while the rows
    // before were added. Where its best rows turn out to be too many
    // repeated work units to tell the best lists from, `again` reads its
    // rows once more.
    Result<void, log::ReadError> add_piece(PieceRows&& piece, const ReadRowsAgain& again);
    Figures finish();

  private:
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
    void offer_best(std::optional<BestList>& best, std::optional<BestUnit> unit);
    std::vector<bool> take_units_of(PieceRows& piece);
    void take_best_of(PieceRows& piece, const std::vector<bool>& is_unit);
    Result<void, log::ReadError> offer_rows_again(const ReadRowsAgain& again,
                                                  const std::vector<bool>& is_unit,
                                                  ColumnSet columns);
    [[nodiscard]] std::uint32_t current_log() const {
        return static_cast<std::uint32_t>(logs_.size() - 1);
    }

    CollectorOptions options_;
    NameKey key_;
    ColumnSet columns_;
    RowClassifier kinds_;
    std::vector<LogFigures> logs_;
    NameSet names_;
    std::deque<Unit> units_; // grows without copying what it holds
    std::size_t drawn_ = 0;  // units with a CPU time
    std::vector<std::string> point_names_;
    VersionIds versions_;
    bool any_version_column_ = false;
    // None where no log has the column the list comes from.
    std::optional<BestList> best_gaussians_;
    std::optional<BestList> best_spikes_;
    std::optional<LatestRow> latest_;
    std::array<Pending, 8> pending_{};
    std::size_t pending_count_ = 0;
    std::size_t pending_next_ = 0;
};

} // namespace wutally::report
