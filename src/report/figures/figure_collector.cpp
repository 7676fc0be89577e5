#include "report/figures/figure_collector.hpp"

#include "report/figures/field_values.hpp"
#include "report/figures/unit_totals.hpp"

#include <algorithm>
#include <cmath>

namespace wutally::report {

namespace {

// Whether a piece's best work units are all among the candidates it kept:
// rows below them may be, where too many of them were repeated work units.
bool candidates_suffice(const BestList& candidates, std::uint64_t scored_rows,
                        const std::vector<bool>& is_unit) {
    const auto& entries = candidates.entries();
    const auto units =
        std::count_if(entries.begin(), entries.end(),
                      [&](const BestList::Entry& entry) { return is_unit[entry.row]; });
    return static_cast<std::size_t>(units) >= best_count || scored_rows <= entries.size();
}

} // namespace

FigureCollector::FigureCollector(CollectorOptions options) : options_(options) {}

void FigureCollector::begin_log(LogName log, ColumnSet columns) {
    settle_all();
    columns_ = columns;
    LogFigures& figures = logs_.emplace_back();
    figures.path = std::move(log.path);
    figures.label = std::move(log.label);
    kinds_ = RowClassifier(options_.range());
    any_version_column_ = any_version_column_ || columns[index_of(Column::version)];
    if (columns[index_of(Column::bg_score)] && !best_gaussians_) {
        best_gaussians_.emplace(best_count);
    }
    if (columns[index_of(Column::bs_score)] && !best_spikes_) {
        best_spikes_.emplace(best_count);
    }
}

void FigureCollector::expect_rows(std::size_t rows) {
    names_.reserve(names_.size() + rows);
}

// Each row waits for its name's place in the set to be loaded while the
// next few rows are read; only what cannot wait (the texts it may need) is
// copied out of the row now.
void FigureCollector::add_row(const RowFields& row) {
    const SortedRow sorted = kinds_.classify(row);
    LogFigures& figures = logs_.back();
    if (sorted.kind != RowKind::used) {
        figures.skipped += sorted.kind == RowKind::out_of_range ? 0 : 1;
        return;
    }
    ++figures.rows;
    keep_if_latest(latest_, row, sorted.stamp, columns_);
    if (pending_count_ == pending_.size()) {
        settle(pending_[pending_next_]);
        --pending_count_;
    }
    Pending& waiting = pending_[pending_next_];
    pending_next_ = (pending_next_ + 1) % pending_.size();
    ++pending_count_;
    waiting.date = sorted.stamp;
    waiting.cpu_s = cpu_seconds(row[Column::cpu]);
    waiting.name = key_.hash(row[Column::name]);
    names_.prefetch(waiting.name);
    waiting.version =
        columns_[index_of(Column::version)] ? versions_.id_of(row[Column::version]) : no_version;
    waiting.gaussian.reset();
    waiting.spike.reset();
    if (best_gaussians_ && columns_[index_of(Column::bg_score)]) {
        waiting.gaussian = best_gaussians_->candidate(row, sorted.stamp, gaussian_scores);
    }
    if (best_spikes_ && columns_[index_of(Column::bs_score)]) {
        waiting.spike = best_spikes_->candidate(row, sorted.stamp, spike_scores);
    }
    // Whichever unit is the last to be named is named before it settles.
    waiting.point_name.clear();
    if (drawn_ <= options_.named_points) {
        waiting.point_name = row[Column::name];
    }
}

void FigureCollector::offer_best(std::optional<BestList>& best, std::optional<BestUnit> unit) {
    if (best && unit) {
        unit->log = current_log();
        best->offer(*std::move(unit));
    }
}

void FigureCollector::settle(Pending& row) {
    if (!names_.insert(row.name)) {
        ++logs_.back().repeated;
        return;
    }
    if (!std::isnan(row.cpu_s) && drawn_ < options_.named_points + 1) {
        point_names_.push_back(std::move(row.point_name));
    }
    add_unit({row.date, row.cpu_s, row.version, current_log()});
    offer_best(best_gaussians_, std::move(row.gaussian));
    offer_best(best_spikes_, std::move(row.spike));
}

void FigureCollector::settle_all() {
    while (pending_count_ > 0) {
        const std::size_t oldest =
            (pending_next_ + pending_.size() - pending_count_) % pending_.size();
        settle(pending_[oldest]);
        --pending_count_;
    }
}

void FigureCollector::add_unit(const Unit& unit) {
    units_.push_back(unit);
    if (!std::isnan(unit.cpu_s)) {
        ++drawn_;
    }
}

// The piece's rows that are new work units become units, in order.
std::vector<bool> FigureCollector::take_units_of(PieceRows& piece) {
    LogFigures& figures = logs_.back();
    figures.skipped += piece.skipped_;
    figures.rows += piece.rows_.size();
    std::vector<std::uint32_t> versions;
    for (const std::string_view text : piece.versions_.texts()) {
        versions.push_back(versions_.id_of(text));
    }
    std::vector<bool> is_unit(piece.rows_.size());
    auto name = piece.names_.begin();
    constexpr std::size_t ahead = 8;
    for (std::size_t at = 0; at < piece.rows_.size(); ++at) {
        if (at + ahead < piece.rows_.size()) {
            names_.prefetch(piece.rows_[at + ahead].name);
        }
        const PieceRows::Row& row = piece.rows_[at];
        while (name != piece.names_.end() && name->first < at) {
            ++name;
        }
        if (!names_.insert(row.name)) {
            ++figures.repeated;
            continue;
        }
        is_unit[at] = true;
        if (!std::isnan(row.cpu_s) && drawn_ < options_.named_points + 1 &&
            name != piece.names_.end() && name->first == at) {
            point_names_.push_back(std::move(name->second));
        }
        add_unit({row.date, row.cpu_s,
                  row.version == no_version ? no_version : versions[row.version], current_log()});
    }
    return is_unit;
}

// The piece's candidates that are new work units go to the best lists.
void FigureCollector::take_best_of(PieceRows& piece, const std::vector<bool>& is_unit) {
    const auto merge = [&](std::optional<BestList>& best, const BestList& candidates) {
        for (const BestList::Entry& entry : candidates.entries()) {
            if (is_unit[entry.row]) {
                offer_best(best, entry.unit);
            }
        }
    };
    merge(best_gaussians_, piece.gaussians_.candidates);
    merge(best_spikes_, piece.spikes_.candidates);
}

Result<void, log::ReadError> FigureCollector::offer_rows_again(const ReadRowsAgain& again,
                                                               const std::vector<bool>& is_unit,
                                                               ColumnSet columns) {
    RowClassifier kinds(options_.range());
    std::size_t used = 0;
    return again([&](const RowFields& row) {
        const SortedRow sorted = kinds.classify(row);
        // A row the piece did not have (a log that grew since) is left out.
        if (sorted.kind != RowKind::used || used >= is_unit.size() || !is_unit[used++]) {
            return;
        }
        if (columns[index_of(Column::bg_score)] && best_gaussians_) {
            offer_best(best_gaussians_,
                       best_gaussians_->candidate(row, sorted.stamp, gaussian_scores));
        }
        if (columns[index_of(Column::bs_score)] && best_spikes_) {
            offer_best(best_spikes_, best_spikes_->candidate(row, sorted.stamp, spike_scores));
        }
    });
}

Result<void, log::ReadError> FigureCollector::add_piece(PieceRows&& piece,
                                                        const ReadRowsAgain& again) {
    settle_all();
    const std::vector<bool> is_unit = take_units_of(piece);
    if (piece.latest_) {
        keep_if_latest(latest_, *piece.latest_);
    }
    if (candidates_suffice(piece.gaussians_.candidates, piece.gaussians_.rows, is_unit) &&
        candidates_suffice(piece.spikes_.candidates, piece.spikes_.rows, is_unit)) {
        take_best_of(piece, is_unit);
        return {};
    }
    return offer_rows_again(again, is_unit, piece.columns_);
}

Figures FigureCollector::finish() {
    settle_all();
    names_ = NameSet{}; // no longer needed; its memory is the largest part
    Figures figures;
    add_unit_totals({units_, versions_, any_version_column_}, options_.silent_after_days,
                    options_.keep_points, logs_, figures);
    figures.since = options_.since;
    figures.until = options_.until;
    figures.silent_after_days = options_.silent_after_days;
    figures.logs = std::move(logs_);
    if (best_gaussians_) {
        figures.best_gaussians = best_gaussians_->units();
    }
    if (best_spikes_) {
        figures.best_spikes = best_spikes_->units();
    }
    if (latest_) {
        figures.account = account_of(*latest_);
    }
    if (options_.keep_points) {
        figures.points.reserve(drawn_);
        for (const Unit& unit : units_) {
            if (!std::isnan(unit.cpu_s)) {
                figures.points.push_back({unit.date, unit.cpu_s, unit.log});
            }
        }
        if (drawn_ <= options_.named_points) {
            figures.point_names = std::move(point_names_);
        }
    }
    units_.clear();
    return figures;
}

} // namespace wutally::report
