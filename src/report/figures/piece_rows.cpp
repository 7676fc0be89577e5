#include "report/figures/piece_rows.hpp"

#include "report/figures/field_values.hpp"
#include "report/figures/figure_collector.hpp"

#include <cmath>

namespace wutally::report {

PieceRows::PieceRows(const FigureCollector& collector, ColumnSet columns)
    : collector_(collector), columns_(columns), kinds_(collector.options().range()) {}

void PieceRows::offer(Scored& scored, const RowFields& row, Stamp stamp,
                      const ScoreColumns& columns) {
    if (!columns_[index_of(columns.score)] || row[columns.score].empty()) {
        return;
    }
    ++scored.rows;
    if (auto unit = scored.candidates.candidate(row, stamp, columns)) {
        scored.candidates.offer(*std::move(unit), rows_.size());
    }
}

void PieceRows::add_row(const RowFields& row) {
    const SortedRow sorted = kinds_.classify(row);
    if (sorted.kind != RowKind::used) {
        skipped_ += sorted.kind == RowKind::out_of_range ? 0 : 1;
        return;
    }
    keep_if_latest(latest_, row, sorted.stamp, columns_);
    const double cpu_s = cpu_seconds(row[Column::cpu]);
    const NameHash name = collector_.key().hash(row[Column::name]);
    const std::uint32_t version =
        columns_[index_of(Column::version)] ? versions_.id_of(row[Column::version]) : no_version;
    offer(gaussians_, row, sorted.stamp, gaussian_scores);
    offer(spikes_, row, sorted.stamp, spike_scores);
    const std::size_t named_points = collector_.options().named_points;
    if (named_points > 0 && !std::isnan(cpu_s) && named_.size() <= named_points &&
        named_.insert(name)) {
        names_.emplace_back(rows_.size(), row[Column::name]);
    }
    rows_.push_back({sorted.stamp, cpu_s, name, version});
}

} // namespace wutally::report
