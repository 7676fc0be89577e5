// The rows of a piece of a log read on another thread: all the figures need
// of them but which are new work units, which only the collector can tell
// once it has taken every row before them.
#pragma once

#include "log/line_reader.hpp"
#include "platform/result.hpp"
#include "report/figures/best_list.hpp"
#include "report/figures/latest_row.hpp"
#include "report/figures/name_set.hpp"
#include "report/figures/row_fields.hpp"
#include "report/figures/row_kind.hpp"
#include "report/figures/work_units.hpp"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace wutally::report {

class FigureCollector;

// Each row of a piece once more, in order, handed to `take`: the rare merge
// whose best lists cannot be told from the candidates kept needs them.
using TakeRow = std::function<void(const RowFields&)>;
using ReadRowsAgain = std::function<Result<void, log::ReadError>(const TakeRow& take)>;

// How many of a piece's best rows are kept as candidates: more than the
// lists show, as some may turn out to be repeated work units.
inline constexpr std::size_t candidates_kept = best_count + 11;

class PieceRows {
  public:
    PieceRows(const FigureCollector& collector, ColumnSet columns);
    // Room for about this many rows, so that the list is not copied as it
    // grows.
    void expect_rows(std::size_t rows) { rows_.reserve(rows); }
    // A line after the header; blank lines are not rows and are not added.
    void add_row(const RowFields& row);

  private:
    friend class FigureCollector;

    struct Row {
        Stamp date;
        double cpu_s;
        NameHash name;
        std::uint32_t version; // into versions_
    };

    // The candidates for a best list, and how many rows had a score.
    struct Scored {
        BestList candidates{candidates_kept};
        std::uint64_t rows = 0;
    };

    void offer(Scored& scored, const RowFields& row, Stamp stamp, const ScoreColumns& columns);

    const FigureCollector& collector_;
    ColumnSet columns_;
    RowClassifier kinds_;
    std::vector<Row> rows_;
    std::uint64_t skipped_ = 0;
    VersionIds versions_;
    Scored gaussians_;
    Scored spikes_;
    std::optional<LatestRow> latest_;
    // The names of the first rows with a CPU time, while they are few.
    NameSet named_;
    std::vector<std::pair<std::size_t, std::string>> names_;
};

} // namespace wutally::report
