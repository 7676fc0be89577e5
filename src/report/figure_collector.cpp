#include "report/figure_collector.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <span>
#include <tuple>

namespace wutally::report {

namespace {

std::optional<double> number_in(const std::optional<std::string>& field) {
    return field ? parse_number(*field) : std::nullopt;
}

// The median, the mean of the two middle values for an even count. The
// values are reordered.
std::optional<double> median(std::span<double> values) {
    if (values.empty()) {
        return std::nullopt;
    }
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    if (values.size() % 2 == 1) {
        return *middle;
    }
    const double below = *std::max_element(values.begin(), middle);
    return (below + *middle) / 2;
}

struct Rank {
    double score;
    Stamp date;
    std::string_view name;
};

Rank rank_of(const BestUnit& unit) {
    return {unit.score, unit.date, unit.name};
}

// Higher scores first, then earlier dates, then names in byte order.
bool ranks_before(const Rank& a, const Rank& b) {
    return std::tie(b.score, a.date, a.name) < std::tie(a.score, b.date, b.name);
}

// The columns of a score and of what is shown beside it.
struct ScoreColumns {
    Column score;
    Column power;
    std::optional<Column> chisq;
};

std::optional<double> number_of(const RowFields& row, std::optional<Column> column) {
    return column ? parse_number(row[*column]) : std::nullopt;
}

// Keeps the unit among the best if its score is a number that ranks high
// enough. Fields of columns the log lacks are empty, so they read as none.
void offer_best(std::vector<BestUnit>& best, const RowFields& row, Stamp stamp, std::uint32_t log,
                const ScoreColumns& columns) {
    const auto value = parse_number(row[columns.score]);
    if (!value) {
        return;
    }
    const Rank rank{*value, stamp, row[name]};
    if (best.size() == best_count && !ranks_before(rank, rank_of(best.back()))) {
        return;
    }
    const auto place = std::find_if(best.begin(), best.end(), [&](const BestUnit& other) {
        return ranks_before(rank, rank_of(other));
    });
    best.insert(place, BestUnit{std::string(row[name]), stamp, *value,
                                number_of(row, columns.power), number_of(row, columns.chisq), log});
    if (best.size() > best_count) {
        best.pop_back();
    }
}

// A group of work units: their count, first and last dates, and the sum
// and median of the CPU times that are numbers.
struct GroupTotals {
    std::uint64_t work_units = 0;
    std::optional<Stamp> first;
    std::optional<Stamp> last;
    std::size_t counted = 0;
    double cpu_sum = 0;
    std::optional<double> cpu_median;

    void fill(LogFigures& figures) const {
        figures.first = first;
        figures.last = last;
        if (counted > 0) {
            figures.cpu_hours = cpu_sum / 3600;
            figures.cpu_mean_s = cpu_sum / static_cast<double>(counted);
            figures.cpu_median_s = cpu_median;
        }
    }
};

// The totals of each key in [0, keys), grouping the units by key_of (a key
// of `keys` or more leaves a unit out). The CPU times are laid out group by
// group in one array, so memory stays one number a unit whatever the groups.
template <class Units, class KeyOf>
std::vector<GroupTotals> group_totals(const Units& units, std::size_t keys, KeyOf key_of) {
    std::vector<GroupTotals> groups(keys);
    std::vector<std::size_t> starts(keys + 1, 0);
    for (const auto& unit : units) {
        const std::size_t key = key_of(unit);
        if (key >= keys) {
            continue;
        }
        GroupTotals& group = groups[key];
        ++group.work_units;
        group.first = std::min(group.first.value_or(unit.date), unit.date);
        group.last = std::max(group.last.value_or(unit.date), unit.date);
        if (!std::isnan(unit.cpu_s)) {
            ++starts[key + 1];
            ++group.counted;
            group.cpu_sum += unit.cpu_s;
        }
    }
    for (std::size_t key = 0; key < keys; ++key) {
        starts[key + 1] += starts[key];
    }
    std::vector<double> cpu_s(starts[keys]);
    std::vector<std::size_t> next(starts.begin(), starts.end() - 1);
    for (const auto& unit : units) {
        const std::size_t key = key_of(unit);
        if (key < keys && !std::isnan(unit.cpu_s)) {
            cpu_s[next[key]++] = unit.cpu_s;
        }
    }
    for (std::size_t key = 0; key < keys; ++key) {
        groups[key].cpu_median = median(std::span(cpu_s).subspan(starts[key], groups[key].counted));
    }
    return groups;
}

// A CPU time in seconds, where the field holds a plausible one: none below
// zero or above a billion seconds (some 30 years), so that sums and means
// of any number of work units stay finite.
std::optional<double> parse_cpu_seconds(std::string_view field) {
    const auto seconds = parse_number(field);
    if (!seconds || *seconds < 0 || *seconds > longest_cpu_seconds) {
        return std::nullopt;
    }
    return seconds;
}

} // namespace

ReportColumns find_columns(const log::HeaderTable& header) {
    ReportColumns columns;
    for (std::size_t column = 0; column < column_count; ++column) {
        columns[column] = header.column_of(column_headers[column]);
    }
    return columns;
}

std::size_t fields_needed(const ReportColumns& columns) {
    std::size_t needed = 0;
    for (const auto& index : columns) {
        if (index) {
            needed = std::max(needed, *index + 1);
        }
    }
    return needed;
}

void FigureCollector::restrict_dates(std::optional<Stamp> since, std::optional<Stamp> until) {
    since_ = since;
    until_ = until;
}

void FigureCollector::begin_log(std::string path, const ReportColumns& columns) {
    columns_ = columns;
    logs_.emplace_back();
    logs_.back().path = std::move(path);
    any_version_column_ = any_version_column_ || columns[version].has_value();
    if (columns[bg_score] && !best_gaussians_) {
        best_gaussians_.emplace();
    }
    if (columns[bs_score] && !best_spikes_) {
        best_spikes_.emplace();
    }
}

// The name set is too large for the cache, so each row's place in it is
// asked for a few rows ahead.
void FigureCollector::add_rows(std::span<const RowFields> rows) {
    constexpr std::size_t ahead = 8;
    std::array<std::uint64_t, ahead> hashes{};
    for (std::size_t at = 0; at < std::min(ahead, rows.size()); ++at) {
        hashes[at] = names_.hash(rows[at][name]);
    }
    for (std::size_t at = 0; at < rows.size(); ++at) {
        const std::uint64_t hash = hashes[at % ahead];
        if (at + ahead < rows.size()) {
            hashes[at % ahead] = names_.hash(rows[at + ahead][name]);
            names_.prefetch(hashes[at % ahead]);
        }
        add_row(rows[at], hash);
    }
}

void FigureCollector::add_row(const RowFields& row, std::uint64_t name_hash) {
    LogFigures& figures = logs_.back();
    const auto stamp = parse_stamp(row[date]);
    if (!stamp || row[name].empty()) {
        ++figures.skipped;
        return;
    }
    if ((since_ && *stamp < *since_) || (until_ && *until_ < *stamp)) {
        return;
    }
    ++figures.rows;
    take_account(row, *stamp);
    const auto kept = names_.insert(row[name], name_hash);
    if (!kept) {
        ++figures.repeated;
        return;
    }
    ++figures.work_units;
    add_work_unit(row, *stamp, *kept);
}

void FigureCollector::add_work_unit(const RowFields& row, Stamp stamp, std::string_view kept) {
    // A column the log lacks gives empty fields, which are no number.
    const auto cpu_s = parse_cpu_seconds(row[cpu]);
    const std::uint32_t version_of = columns_[version] ? version_id(row[version]) : no_version;
    const auto log = static_cast<std::uint32_t>(logs_.size() - 1);
    units_.push_back(
        {stamp, cpu_s.value_or(std::numeric_limits<double>::quiet_NaN()), version_of, log, kept});
    if (best_gaussians_) {
        offer_best(*best_gaussians_, row, stamp, log, {bg_score, bg_power, bg_chisq});
    }
    if (best_spikes_) {
        offer_best(*best_spikes_, row, stamp, log, {bs_score, bs_power, std::nullopt});
    }
}

// Of equal dates, the row read last stands, as the later one logged. Its
// numbers are read once, at the end.
void FigureCollector::take_account(const RowFields& row, Stamp stamp) {
    if (latest_ && stamp < latest_->date) {
        return;
    }
    if (!latest_) {
        latest_.emplace();
    }
    latest_->date = stamp;
    constexpr std::array<Column, 4> account_columns{user_name, nwus, nresults, total_cpu};
    for (std::size_t at = 0; at < account_columns.size(); ++at) {
        if (columns_[account_columns[at]]) {
            latest_->fields[at] = row[account_columns[at]];
        } else {
            latest_->fields[at].reset();
        }
    }
}

std::uint32_t FigureCollector::version_id(std::string_view text) {
    const auto found = version_ids_.find(text);
    if (found != version_ids_.end()) {
        return found->second;
    }
    const auto id = static_cast<std::uint32_t>(versions_.size());
    versions_.emplace_back(text);
    version_ids_.emplace(std::string(text), id);
    return id;
}

Figures FigureCollector::finish() {
    Figures figures;
    // The page draws the units with a CPU time; where those are few, each
    // with its name.
    const auto drawn = std::count_if(units_.begin(), units_.end(),
                                     [](const Unit& unit) { return !std::isnan(unit.cpu_s); });
    const bool named = static_cast<std::size_t>(drawn) <= named_units_at_most;
    for (const Unit& unit : units_) {
        if (!std::isnan(unit.cpu_s)) {
            figures.units.push_back(
                {unit.date, unit.cpu_s, unit.log, named ? std::string(unit.name) : std::string()});
        }
    }
    names_ = NameSet{}; // no longer needed; its memory is the largest part
    const auto per_log =
        group_totals(units_, logs_.size(), [](const Unit& unit) { return std::size_t{unit.log}; });
    for (std::size_t log = 0; log < logs_.size(); ++log) {
        per_log[log].fill(logs_[log]);
        figures.all.rows += logs_[log].rows;
        figures.all.skipped += logs_[log].skipped;
        figures.all.repeated += logs_[log].repeated;
    }
    figures.all.work_units = units_.size();
    group_totals(units_, 1, [](const Unit&) { return std::size_t{0}; })[0].fill(figures.all);
    add_months(figures);
    add_versions(figures);
    figures.logs = std::move(logs_);
    figures.best_gaussians = std::move(best_gaussians_);
    figures.best_spikes = std::move(best_spikes_);
    if (latest_) {
        figures.account = Account{latest_->date, latest_->fields[0], number_in(latest_->fields[1]),
                                  number_in(latest_->fields[2]), number_in(latest_->fields[3])};
    }
    return figures;
}

void FigureCollector::add_months(Figures& figures) const {
    if (units_.empty()) {
        return;
    }
    int first = std::numeric_limits<int>::max();
    int last = 0;
    for (const Unit& unit : units_) {
        first = std::min(first, month_index(month_of(unit.date)));
        last = std::max(last, month_index(month_of(unit.date)));
    }
    const auto month_of_unit = [&](const Unit& unit) {
        return static_cast<std::size_t>(month_index(month_of(unit.date)) - first);
    };
    const std::size_t count = static_cast<std::size_t>(last - first) + 1;
    const std::size_t logs = logs_.size();
    const auto months = group_totals(units_, count, month_of_unit);
    const auto by_log = group_totals(units_, count * logs, [&](const Unit& unit) {
        return month_of_unit(unit) * logs + unit.log;
    });
    for (std::size_t at = 0; at < months.size(); ++at) {
        if (months[at].work_units == 0) {
            continue;
        }
        MonthFigures& month =
            figures.months.emplace_back(MonthFigures{month_of_index(first + static_cast<int>(at)),
                                                     months[at].work_units,
                                                     months[at].cpu_median,
                                                     {}});
        for (std::size_t log = 0; log < logs; ++log) {
            const GroupTotals& totals = by_log[at * logs + log];
            month.logs.push_back({totals.work_units, totals.cpu_median});
        }
    }
}

void FigureCollector::add_versions(Figures& figures) const {
    if (!any_version_column_) {
        return;
    }
    const auto versions = group_totals(units_, versions_.size(), [](const Unit& unit) {
        return std::size_t{unit.version}; // no_version is past every key
    });
    figures.versions.emplace();
    for (std::size_t id = 0; id < versions.size(); ++id) {
        figures.versions->push_back(
            {versions_[id], versions[id].work_units, versions[id].cpu_median});
    }
    std::sort(figures.versions->begin(), figures.versions->end(),
              [](const VersionFigures& a, const VersionFigures& b) {
                  return std::tie(b.work_units, a.version) < std::tie(a.work_units, b.version);
              });
}

} // namespace wutally::report
