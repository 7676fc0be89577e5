#include "report/figures/best_list.hpp"

#include "report/figures/field_values.hpp"

#include <algorithm>
#include <string>
#include <tuple>

namespace wutally::report {

namespace {

std::optional<double> number_of(const RowFields& row, std::optional<Column> column) {
    return column ? parse_number(row[*column]) : std::nullopt;
}

} // namespace

bool ranks_before(const BestUnit& a, const BestUnit& b) {
    return std::tie(b.score, a.date, a.name) < std::tie(a.score, b.date, b.name);
}

std::optional<BestUnit> BestList::candidate(const RowFields& row, Stamp stamp,
                                            const ScoreColumns& columns) const {
    const bool full = entries_.size() == kept_;
    if (full && is_surely_below(row[columns.score], entries_.back().unit.score)) {
        return std::nullopt;
    }
    const auto score = parse_number(row[columns.score]);
    // The text of the unit's name only decides among equal scores and
    // dates, so a score below the last kept one never enters.
    if (!score || (full && *score < entries_.back().unit.score)) {
        return std::nullopt;
    }
    return BestUnit{std::string(row[Column::name]), stamp, *score, number_of(row, columns.power),
                    number_of(row, columns.chisq),  0};
}

void BestList::offer(BestUnit unit, std::size_t row) {
    if (entries_.size() == kept_ && !ranks_before(unit, entries_.back().unit)) {
        return;
    }
    const auto place = std::find_if(entries_.begin(), entries_.end(), [&](const Entry& other) {
        return ranks_before(unit, other.unit);
    });
    entries_.insert(place, Entry{std::move(unit), row});
    if (entries_.size() > kept_) {
        entries_.pop_back();
    }
}

std::vector<BestUnit> BestList::units() const {
    std::vector<BestUnit> units;
    for (const Entry& entry : entries_) {
        units.push_back(entry.unit);
    }
    return units;
}

} // namespace wutally::report
