#include "report/figure_collector.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <tuple>

namespace wutally::report {

namespace {

std::optional<double> number_at(const log::Record& record, std::optional<std::size_t> column) {
    return column ? parse_number(log::field_at(record, *column)) : std::nullopt;
}

// The median, the mean of the two middle values for an even count.
std::optional<double> median(std::vector<double> values) {
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

// Sum, mean and median of CPU seconds, and the first and last dates, over
// the units given.
struct UnitTotals {
    std::optional<Stamp> first;
    std::optional<Stamp> last;
    std::vector<double> cpu_s;

    void add(Stamp date, double cpu) {
        first = std::min(first.value_or(date), date);
        last = std::max(last.value_or(date), date);
        if (!std::isnan(cpu)) {
            cpu_s.push_back(cpu);
        }
    }

    void fill(LogFigures& figures) {
        figures.first = first;
        figures.last = last;
        if (!cpu_s.empty()) {
            double sum = 0;
            for (const double value : cpu_s) {
                sum += value;
            }
            figures.cpu_hours = sum / 3600;
            figures.cpu_mean_s = sum / static_cast<double>(cpu_s.size());
            figures.cpu_median_s = median(std::move(cpu_s));
        }
    }
};

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

struct Group {
    std::uint64_t work_units = 0;
    std::vector<double> cpu_s;

    void add(double cpu) {
        ++work_units;
        if (!std::isnan(cpu)) {
            cpu_s.push_back(cpu);
        }
    }
};

} // namespace

std::size_t ReportColumns::fields_needed() const {
    std::size_t needed = std::max(date, name) + 1;
    for (const auto& column : {cpu, version, bg_score, bg_power, bg_chisq, bs_score, bs_power,
                               user_name, nwus, nresults, total_cpu}) {
        if (column) {
            needed = std::max(needed, *column + 1);
        }
    }
    return needed;
}

ReportColumns find_columns(const log::HeaderTable& header, std::size_t date, std::size_t name) {
    ReportColumns columns;
    columns.date = date;
    columns.name = name;
    columns.cpu = header.column_of("cpu");
    columns.version = header.column_of("version");
    columns.bg_score = header.column_of("bg_score");
    columns.bg_power = header.column_of("bg_power");
    columns.bg_chisq = header.column_of("bg_chisq");
    columns.bs_score = header.column_of("bs_score");
    columns.bs_power = header.column_of("bs_power");
    columns.user_name = header.column_of("user_name");
    columns.nwus = header.column_of("nwus");
    columns.nresults = header.column_of("nresults");
    columns.total_cpu = header.column_of("total_cpu");
    return columns;
}

void FigureCollector::begin_log(std::string path, const ReportColumns& columns) {
    columns_ = columns;
    logs_.emplace_back();
    logs_.back().path = std::move(path);
    any_version_column_ = any_version_column_ || columns.version.has_value();
    if (columns.bg_score && !best_gaussians_) {
        best_gaussians_.emplace();
    }
    if (columns.bs_score && !best_spikes_) {
        best_spikes_.emplace();
    }
}

void FigureCollector::add_row(const log::Record& record) {
    LogFigures& figures = logs_.back();
    const auto date = parse_stamp(log::field_at(record, columns_.date));
    const std::string_view name = log::field_at(record, columns_.name);
    if (!date || name.empty()) {
        ++figures.skipped;
        return;
    }
    ++figures.rows;
    take_account(record, *date);
    if (!names_.insert(name)) {
        ++figures.repeated;
        return;
    }
    ++figures.work_units;
    add_work_unit(record, *date, name);
}

void FigureCollector::add_work_unit(const log::Record& record, Stamp date, std::string_view name) {
    const auto cpu = number_at(record, columns_.cpu);
    const std::uint32_t version =
        columns_.version ? version_id(log::field_at(record, *columns_.version)) : no_version;
    units_.push_back({date, cpu.value_or(std::numeric_limits<double>::quiet_NaN()), version,
                      static_cast<std::uint32_t>(logs_.size() - 1)});
    if (best_gaussians_) {
        offer_best(*best_gaussians_, columns_.bg_score, columns_.bg_power, columns_.bg_chisq,
                   record, date, name);
    }
    if (best_spikes_) {
        offer_best(*best_spikes_, columns_.bs_score, columns_.bs_power, std::nullopt, record, date,
                   name);
    }
}

// Of equal dates, the row read last stands, as the later one logged.
void FigureCollector::take_account(const log::Record& record, Stamp date) {
    if (account_ && date < account_->date) {
        return;
    }
    if (!account_) {
        account_.emplace();
    }
    account_->date = date;
    if (columns_.user_name) {
        account_->user_name = log::field_at(record, *columns_.user_name);
    } else {
        account_->user_name.reset();
    }
    account_->nwus = number_at(record, columns_.nwus);
    account_->nresults = number_at(record, columns_.nresults);
    account_->total_cpu = number_at(record, columns_.total_cpu);
}

std::uint32_t FigureCollector::version_id(std::string_view version) {
    const auto found = version_ids_.find(version);
    if (found != version_ids_.end()) {
        return found->second;
    }
    const auto id = static_cast<std::uint32_t>(versions_.size());
    versions_.emplace_back(version);
    version_ids_.emplace(std::string(version), id);
    return id;
}

void FigureCollector::offer_best(std::vector<BestUnit>& best, std::optional<std::size_t> score,
                                 std::optional<std::size_t> power, std::optional<std::size_t> chisq,
                                 const log::Record& record, Stamp date,
                                 std::string_view name) const {
    const auto value = number_at(record, score);
    if (!value) {
        return;
    }
    const Rank rank{*value, date, name};
    if (best.size() == best_count && !ranks_before(rank, rank_of(best.back()))) {
        return;
    }
    const auto place = std::find_if(best.begin(), best.end(), [&](const BestUnit& other) {
        return ranks_before(rank, rank_of(other));
    });
    best.insert(place, BestUnit{std::string(name), date, *value, number_at(record, power),
                                number_at(record, chisq)});
    if (best.size() > best_count) {
        best.pop_back();
    }
}

Figures FigureCollector::finish() {
    Figures figures;
    std::vector<UnitTotals> per_log(logs_.size());
    UnitTotals all;
    std::map<int, Group> months;
    std::vector<Group> versions(versions_.size());
    for (const Unit& unit : units_) {
        per_log[unit.log].add(unit.date, unit.cpu_s);
        all.add(unit.date, unit.cpu_s);
        months[month_of(unit.date)].add(unit.cpu_s);
        if (unit.version != no_version) {
            versions[unit.version].add(unit.cpu_s);
        }
        if (!std::isnan(unit.cpu_s)) {
            figures.units.push_back({unit.date, unit.cpu_s});
        }
    }
    for (std::size_t log = 0; log < logs_.size(); ++log) {
        per_log[log].fill(logs_[log]);
        figures.all.rows += logs_[log].rows;
        figures.all.skipped += logs_[log].skipped;
        figures.all.repeated += logs_[log].repeated;
    }
    figures.all.work_units = units_.size();
    all.fill(figures.all);
    for (auto& [month, group] : months) {
        figures.months.push_back({month, group.work_units, median(std::move(group.cpu_s))});
    }
    if (any_version_column_) {
        figures.versions.emplace();
        for (std::size_t id = 0; id < versions.size(); ++id) {
            figures.versions->push_back(
                {versions_[id], versions[id].work_units, median(std::move(versions[id].cpu_s))});
        }
        std::sort(figures.versions->begin(), figures.versions->end(),
                  [](const VersionFigures& a, const VersionFigures& b) {
                      return std::tie(b.work_units, a.version) < std::tie(a.work_units, b.version);
                  });
    }
    figures.logs = std::move(logs_);
    figures.best_gaussians = std::move(best_gaussians_);
    figures.best_spikes = std::move(best_spikes_);
    figures.account = std::move(account_);
    return figures;
}

} // namespace wutally::report
