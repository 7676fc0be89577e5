// The best work units by a score: the one list kept of the logs' work
// units, and of the candidates among a piece's rows.
#pragma once

#include "report/figures/figures.hpp"
#include "report/figures/log_time.hpp"
#include "report/figures/row_fields.hpp"

#include <cstddef>
#include <optional>
#include <vector>

namespace wutally::report {

// Where a log keeps a kind of score and the figures shown beside it.
struct ScoreColumns {
    Column score;
    Column power;
    std::optional<Column> chisq;
};

inline constexpr ScoreColumns gaussian_scores{Column::bg_score, Column::bg_power, Column::bg_chisq};
inline constexpr ScoreColumns spike_scores{Column::bs_score, Column::bs_power, std::nullopt};

// Higher scores first, then earlier dates, then names in byte order.
bool ranks_before(const BestUnit& a, const BestUnit& b);

// The best `kept` units offered, best first, each with the number of the
// row it came from.
class BestList {
  public:
    struct Entry {
        BestUnit unit;
        std::size_t row = 0;
    };

    explicit BestList(std::size_t kept) : kept_(kept) {}

    // The row's unit, where its score is a number that could enter the
    // list: most rows are told without reading the number.
    [[nodiscard]] std::optional<BestUnit> candidate(const RowFields& row, Stamp stamp,
                                                    const ScoreColumns& columns) const;
    void offer(BestUnit unit, std::size_t row = 0);

    [[nodiscard]] const std::vector<Entry>& entries() const { return entries_; }
    [[nodiscard]] std::vector<BestUnit> units() const;

  private:
    std::size_t kept_;
    std::vector<Entry> entries_;
};

} // namespace wutally::report
