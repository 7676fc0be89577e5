#include "report/figures/figure_collector.hpp"

#include "log/byte_mask.hpp"
#include "platform/side_by_side.hpp"
#include "report/figures/field_values.hpp"
#include "report/figures/median.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <span>
#include <tuple>

namespace wutally::report {

namespace {

// How many of a prepared part's best rows are kept as candidates: more than
// the lists show, as some may turn out to be repeated work units.
constexpr std::size_t candidates_kept = best_count + 11;

std::optional<double> number_in(const std::optional<std::string>& field) {
    return field ? parse_number(*field) : std::nullopt;
}

// Higher scores first, then earlier dates, then names in byte order.
bool ranks_before(const BestUnit& a, const BestUnit& b) {
    return std::tie(b.score, a.date, a.name) < std::tie(a.score, b.date, b.name);
}

// Whether a unit with this score could enter a list of `kept` that holds
// these units: the text of the unit's name only decides among equal scores
// and dates, so a score below the last kept one never can.
bool could_enter(const std::vector<BestUnit>& best, double score, std::size_t kept) {
    return best.size() < kept || score >= best.back().score;
}

void offer(std::vector<BestUnit>& best, BestUnit unit, std::size_t kept) {
    if (best.size() == kept && !ranks_before(unit, best.back())) {
        return;
    }
    const auto place = std::find_if(
        best.begin(), best.end(), [&](const BestUnit& other) { return ranks_before(unit, other); });
    best.insert(place, std::move(unit));
    if (best.size() > kept) {
        best.pop_back();
    }
}

std::optional<double> number_of(const RowFields& row, std::optional<Column> column) {
    return column ? parse_number(row[*column]) : std::nullopt;
}

// The row as a candidate for a best list, where its score is a number that
// could enter the list.
std::optional<BestUnit> candidate(const RowFields& row, Stamp stamp,
                                  const std::vector<BestUnit>& best, std::size_t kept, Column score,
                                  Column power, std::optional<Column> chisq) {
    if (best.size() == kept && is_surely_below(row[score], best.back().score)) {
        return std::nullopt; // most rows, told without reading the number
    }
    const auto value = parse_number(row[score]);
    if (!value || !could_enter(best, *value, kept)) {
        return std::nullopt;
    }
    return BestUnit{std::string(row[Column::name]), stamp, *value, number_of(row, power),
                    number_of(row, chisq),          0};
}

// A CPU time in seconds, where the field holds a plausible one: none below
// zero or above a billion seconds (some 30 years), so that sums and means
// of any number of work units stay finite.
double cpu_seconds(std::string_view field) {
    const auto seconds = parse_number(field);
    if (!seconds || *seconds < 0 || *seconds > longest_cpu_seconds) {
        return std::numeric_limits<double>::quiet_NaN();
    }
    return *seconds;
}

bool in_range(const CollectorOptions& options, Stamp stamp) {
    return !(options.since && stamp < *options.since) && !(options.until && *options.until < stamp);
}

// The row's account fields, kept where it is the latest used row so far; of
// equal dates the row read last stands, as the later one logged.
void take_account(std::optional<LatestRow>& latest, const RowFields& row, Stamp stamp,
                  ColumnSet columns) {
    if (latest && stamp < latest->date) {
        return;
    }
    if (!latest) {
        latest.emplace();
    }
    latest->date = stamp;
    constexpr std::array<Column, 4> account{Column::user_name, Column::nwus, Column::nresults,
                                            Column::total_cpu};
    for (std::size_t at = 0; at < account.size(); ++at) {
        if (columns[index_of(account[at])]) {
            latest->fields[at] = row[account[at]];
        } else {
            latest->fields[at].reset();
        }
    }
}

} // namespace

std::uint32_t VersionIds::id_of(std::string_view text) {
    if (last_ != nullptr && text == last_->first) {
        return last_->second;
    }
    auto found = ids_.find(text);
    if (found == ids_.end()) {
        found = ids_.emplace(std::string(text), static_cast<std::uint32_t>(texts_.size())).first;
        texts_.push_back(found->first);
    }
    last_ = &*found;
    return found->second;
}

namespace {

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
        figures.work_units = work_units;
        figures.first = first;
        figures.last = last;
        if (counted > 0) {
            figures.cpu_seconds = cpu_sum;
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

} // namespace

PreparedRows::PreparedRows(const FigureCollector& collector, ColumnSet columns)
    : collector_(collector), columns_(columns) {}

void PreparedRows::offer(std::vector<Candidate>& best, const RowFields& row, Stamp stamp,
                         Column score, Column power, std::optional<Column> chisq) const {
    const bool full = best.size() == candidates_kept;
    if (full && is_surely_below(row[score], best.back().unit.score)) {
        return;
    }
    const auto value = parse_number(row[score]);
    if (!value || (full && *value < best.back().unit.score)) {
        return;
    }
    Candidate entry{BestUnit{std::string(row[Column::name]), stamp, *value, number_of(row, power),
                             number_of(row, chisq), 0},
                    rows_.size()};
    const auto place = std::find_if(best.begin(), best.end(), [&](const Candidate& other) {
        return ranks_before(entry.unit, other.unit);
    });
    best.insert(place, std::move(entry));
    if (best.size() > candidates_kept) {
        best.pop_back();
    }
}

void PreparedRows::add_row(const RowFields& row) {
    const auto stamp = stamps_.read(row[Column::date]);
    if (!stamp || row[Column::name].empty()) {
        ++skipped_;
        return;
    }
    const CollectorOptions& options = collector_.options();
    if (!in_range(options, *stamp)) {
        return;
    }
    take_account(latest_, row, *stamp, columns_);
    const double cpu_s = cpu_seconds(row[Column::cpu]);
    const NameHash name = collector_.key().hash(row[Column::name]);
    const std::uint32_t version =
        columns_[index_of(Column::version)] ? versions_.id_of(row[Column::version]) : no_version;
    if (columns_[index_of(Column::bg_score)] && !row[Column::bg_score].empty()) {
        ++scored_rows_[0];
        offer(gaussians_, row, *stamp, Column::bg_score, Column::bg_power, Column::bg_chisq);
    }
    if (columns_[index_of(Column::bs_score)] && !row[Column::bs_score].empty()) {
        ++scored_rows_[1];
        offer(spikes_, row, *stamp, Column::bs_score, Column::bs_power, std::nullopt);
    }
    if (options.named_points > 0 && !std::isnan(cpu_s) && named_.size() <= options.named_points &&
        named_.insert(name)) {
        names_.emplace_back(rows_.size(), row[Column::name]);
    }
    rows_.push_back({*stamp, cpu_s, name, version});
}

FigureCollector::FigureCollector(CollectorOptions options) : options_(options) {}

void FigureCollector::begin_log(LogName log, ColumnSet columns) {
    settle_all();
    columns_ = columns;
    LogFigures& figures = logs_.emplace_back();
    figures.path = std::move(log.path);
    figures.label = std::move(log.label);
    stamps_ = StampReader{};
    any_version_column_ = any_version_column_ || columns[index_of(Column::version)];
    if (columns[index_of(Column::bg_score)] && !best_gaussians_) {
        best_gaussians_.emplace();
    }
    if (columns[index_of(Column::bs_score)] && !best_spikes_) {
        best_spikes_.emplace();
    }
}

void FigureCollector::expect_rows(std::size_t rows) {
    names_.reserve(names_.size() + rows);
}

// Each row waits for its name's place in the set to be loaded while the
// next few rows are read; only what cannot wait (the texts it may need) is
// copied out of the row now.
void FigureCollector::add_row(const RowFields& row) {
    const auto stamp = stamps_.read(row[Column::date]);
    LogFigures& figures = logs_.back();
    if (!stamp || row[Column::name].empty()) {
        ++figures.skipped;
        return;
    }
    if (!in_range(options_, *stamp)) {
        return;
    }
    ++figures.rows;
    take_account(latest_, row, *stamp, columns_);
    if (pending_count_ == pending_.size()) {
        settle(pending_[pending_next_]);
        --pending_count_;
    }
    Pending& waiting = pending_[pending_next_];
    pending_next_ = (pending_next_ + 1) % pending_.size();
    ++pending_count_;
    waiting.date = *stamp;
    waiting.cpu_s = cpu_seconds(row[Column::cpu]);
    waiting.name = key_.hash(row[Column::name]);
    names_.prefetch(waiting.name);
    waiting.version =
        columns_[index_of(Column::version)] ? versions_.id_of(row[Column::version]) : no_version;
    waiting.gaussian.reset();
    waiting.spike.reset();
    if (best_gaussians_ && columns_[index_of(Column::bg_score)]) {
        waiting.gaussian = candidate(row, *stamp, *best_gaussians_, best_count, Column::bg_score,
                                     Column::bg_power, Column::bg_chisq);
    }
    if (best_spikes_ && columns_[index_of(Column::bs_score)]) {
        waiting.spike = candidate(row, *stamp, *best_spikes_, best_count, Column::bs_score,
                                  Column::bs_power, std::nullopt);
    }
    // Whichever unit is the last to be named is named before it settles.
    waiting.point_name.clear();
    if (drawn_ <= options_.named_points) {
        waiting.point_name = row[Column::name];
    }
}

void FigureCollector::settle(Pending& row) {
    if (!names_.insert(row.name)) {
        ++logs_.back().repeated;
        return;
    }
    const auto log = static_cast<std::uint32_t>(logs_.size() - 1);
    if (!std::isnan(row.cpu_s) && drawn_ < options_.named_points + 1) {
        point_names_.push_back(std::move(row.point_name));
    }
    add_unit({row.date, row.cpu_s, row.version, log});
    if (row.gaussian) {
        row.gaussian->log = log;
        offer(*best_gaussians_, *std::move(row.gaussian), best_count);
    }
    if (row.spike) {
        row.spike->log = log;
        offer(*best_spikes_, *std::move(row.spike), best_count);
    }
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

void FigureCollector::take_latest(const LatestRow& row) {
    if (!latest_ || !(row.date < latest_->date)) {
        latest_ = row;
    }
}

// Whether the part's best work units are all among the candidates kept:
// rows below them may be, where too many of them were repeated work units.
bool candidates_suffice(const std::vector<Candidate>& candidates, const std::vector<bool>& is_unit,
                        std::uint64_t scored_rows) {
    const auto units = std::count_if(candidates.begin(), candidates.end(),
                                     [&](const Candidate& entry) { return is_unit[entry.row]; });
    return static_cast<std::size_t>(units) >= best_count || scored_rows <= candidates.size();
}

void FigureCollector::merge_best(std::vector<BestUnit>& best, std::vector<Candidate>& candidates,
                                 const std::vector<bool>& is_unit) {
    for (Candidate& entry : candidates) {
        if (is_unit[entry.row]) {
            entry.unit.log = static_cast<std::uint32_t>(logs_.size() - 1);
            offer(best, std::move(entry.unit), best_count);
        }
    }
}

void FigureCollector::add_prepared(PreparedRows&& prepared) {
    settle_all();
    rows_again_.clear();
    LogFigures& figures = logs_.back();
    const auto log = static_cast<std::uint32_t>(logs_.size() - 1);
    figures.skipped += prepared.skipped_;
    figures.rows += prepared.rows_.size();
    std::vector<std::uint32_t> versions;
    for (const std::string_view text : prepared.versions_.texts()) {
        versions.push_back(versions_.id_of(text));
    }
    std::vector<bool> is_unit(prepared.rows_.size());
    auto name = prepared.names_.begin();
    constexpr std::size_t ahead = 8;
    for (std::size_t at = 0; at < prepared.rows_.size(); ++at) {
        if (at + ahead < prepared.rows_.size()) {
            names_.prefetch(prepared.rows_[at + ahead].name);
        }
        const PreparedRows::Row& row = prepared.rows_[at];
        while (name != prepared.names_.end() && name->first < at) {
            ++name;
        }
        if (!names_.insert(row.name)) {
            ++figures.repeated;
            continue;
        }
        is_unit[at] = true;
        if (!std::isnan(row.cpu_s) && drawn_ < options_.named_points + 1 &&
            name != prepared.names_.end() && name->first == at) {
            point_names_.push_back(std::move(name->second));
        }
        add_unit({row.date, row.cpu_s,
                  row.version == no_version ? no_version : versions[row.version], log});
    }
    if (candidates_suffice(prepared.gaussians_, is_unit, prepared.scored_rows_[0]) &&
        candidates_suffice(prepared.spikes_, is_unit, prepared.scored_rows_[1])) {
        if (best_gaussians_) {
            merge_best(*best_gaussians_, prepared.gaussians_, is_unit);
        }
        if (best_spikes_) {
            merge_best(*best_spikes_, prepared.spikes_, is_unit);
        }
    } else {
        rows_again_ = std::move(is_unit);
        row_again_ = 0;
    }
    if (prepared.latest_) {
        take_latest(*prepared.latest_);
    }
}

void FigureCollector::offer_again(const RowFields& fields) {
    const auto stamp = parse_stamp(fields[Column::date]);
    if (!stamp || fields[Column::name].empty() || !in_range(options_, *stamp)) {
        return;
    }
    const std::size_t row = row_again_++;
    if (row >= rows_again_.size() || !rows_again_[row]) {
        return;
    }
    const auto log = static_cast<std::uint32_t>(logs_.size() - 1);
    if (best_gaussians_) {
        if (auto unit = candidate(fields, *stamp, *best_gaussians_, best_count, Column::bg_score,
                                  Column::bg_power, Column::bg_chisq)) {
            unit->log = log;
            offer(*best_gaussians_, *std::move(unit), best_count);
        }
    }
    if (best_spikes_) {
        if (auto unit = candidate(fields, *stamp, *best_spikes_, best_count, Column::bs_score,
                                  Column::bs_power, std::nullopt)) {
            unit->log = log;
            offer(*best_spikes_, *std::move(unit), best_count);
        }
    }
}

namespace {

void mark_silent(std::vector<LogFigures>& logs, const std::optional<Stamp>& newest, int days) {
    if (logs.size() < 2 || !newest) {
        return;
    }
    for (LogFigures& log : logs) {
        log.silent = !log.last || days_since_epoch(*newest) - days_since_epoch(*log.last) > days;
    }
}

} // namespace

void FigureCollector::add_recent_medians(LogFigures& all) {
    if (!all.last) {
        return;
    }
    const double newest = days_since_epoch(*all.last);
    const auto recent = [newest](const Unit& unit) {
        return newest - days_since_epoch(unit.date) < recent_days;
    };
    const auto per_log = group_totals(units_, logs_.size(), [&](const Unit& unit) {
        return recent(unit) ? std::size_t{unit.log} : logs_.size();
    });
    for (std::size_t log = 0; log < logs_.size(); ++log) {
        logs_[log].recent_cpu_median_s = per_log[log].cpu_median;
    }
    all.recent_cpu_median_s =
        logs_.size() == 1 ? per_log[0].cpu_median
                          : group_totals(units_, 1,
                                         [&](const Unit& unit) {
                                             return recent(unit) ? std::size_t{0} : std::size_t{1};
                                         })[0]
                                .cpu_median;
}

Figures FigureCollector::finish() {
    settle_all();
    rows_again_.clear();
    names_ = NameSet{}; // no longer needed; its memory is the largest part
    Figures figures;
    std::vector<GroupTotals> per_log;
    GroupTotals all;
    // The months are worked out on a second thread while the logs' totals
    // and the versions are worked out here: each group of figures takes
    // passes over every unit and medians of their CPU times, and the months
    // take the most.
    platform::run_side_by_side(
        [&] {
            per_log = group_totals(units_, logs_.size(),
                                   [](const Unit& unit) { return std::size_t{unit.log}; });
            all = logs_.size() == 1
                      ? per_log[0]
                      : group_totals(units_, 1, [](const Unit&) { return std::size_t{0}; })[0];
            add_versions(figures);
        },
        [&] { add_months(figures); });
    for (std::size_t log = 0; log < logs_.size(); ++log) {
        per_log[log].fill(logs_[log]);
        figures.all.rows += logs_[log].rows;
        figures.all.skipped += logs_[log].skipped;
        figures.all.repeated += logs_[log].repeated;
    }
    all.fill(figures.all);
    add_recent_medians(figures.all);
    figures.since = options_.since;
    figures.until = options_.until;
    figures.silent_after_days = options_.silent_after_days;
    mark_silent(logs_, figures.all.last, options_.silent_after_days);
    if (options_.keep_points) {
        add_version_starts(figures);
    }
    figures.logs = std::move(logs_);
    figures.best_gaussians = std::move(best_gaussians_);
    figures.best_spikes = std::move(best_spikes_);
    if (latest_) {
        figures.account = Account{latest_->date, latest_->fields[0], number_in(latest_->fields[1]),
                                  number_in(latest_->fields[2]), number_in(latest_->fields[3])};
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

namespace {

// A day's month as a count of months, worked out once for a run of units of
// one day, as units mostly come in the order of their days.
class MonthIndex {
  public:
    int operator()(Stamp stamp) {
        if (stamp.day != day_) {
            day_ = stamp.day;
            index_ = month_index(month_of(stamp));
        }
        return index_;
    }

  private:
    std::chrono::sys_days day_{std::chrono::days{std::numeric_limits<int>::min()}};
    int index_ = 0;
};

} // namespace

void FigureCollector::add_months(Figures& figures) const {
    if (units_.empty()) {
        return;
    }
    MonthIndex index_of_month;
    int first = std::numeric_limits<int>::max();
    int last = std::numeric_limits<int>::min();
    for (const Unit& unit : units_) {
        const int month = index_of_month(unit.date);
        first = std::min(first, month);
        last = std::max(last, month);
    }
    const auto month_of_unit = [&](const Unit& unit) {
        return static_cast<std::size_t>(index_of_month(unit.date) - first);
    };
    const std::size_t count = static_cast<std::size_t>(last - first) + 1;
    const std::size_t logs = logs_.size();
    const auto months = group_totals(units_, count, month_of_unit);
    const auto by_log =
        logs == 1 ? months : group_totals(units_, count * logs, [&](const Unit& unit) {
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

void FigureCollector::add_version_starts(Figures& figures) const {
    const std::size_t versions = versions_.texts().size();
    // Each log's first unit, and the first of each of its versions.
    std::vector<std::optional<Stamp>> log_start(logs_.size());
    std::vector<std::optional<Stamp>> start(logs_.size() * versions);
    for (const Unit& unit : units_) {
        auto& first = log_start[unit.log];
        first = first ? std::min(*first, unit.date) : unit.date;
        if (unit.version != no_version) {
            auto& version_first = start[unit.log * versions + unit.version];
            version_first = version_first ? std::min(*version_first, unit.date) : unit.date;
        }
    }
    for (std::size_t at = 0; at < start.size(); ++at) {
        const std::size_t log = at / versions;
        if (start[at] && *start[at] > *log_start[log] &&
            !versions_.texts()[at % versions].empty()) {
            figures.version_starts.push_back({*start[at],
                                              std::string(versions_.texts()[at % versions]),
                                              static_cast<std::uint32_t>(log)});
        }
    }
    std::sort(figures.version_starts.begin(), figures.version_starts.end(),
              [](const VersionStart& a, const VersionStart& b) {
                  return std::tie(a.date, a.log) < std::tie(b.date, b.log);
              });
}

void FigureCollector::add_versions(Figures& figures) const {
    if (!any_version_column_) {
        return;
    }
    const auto versions = group_totals(units_, versions_.texts().size(), [](const Unit& unit) {
        return std::size_t{unit.version}; // no_version is past every key
    });
    figures.versions.emplace();
    for (std::size_t id = 0; id < versions.size(); ++id) {
        figures.versions->push_back(
            {std::string(versions_.texts()[id]), versions[id].work_units, versions[id].cpu_median});
    }
    std::sort(figures.versions->begin(), figures.versions->end(),
              [](const VersionFigures& a, const VersionFigures& b) {
                  return std::tie(b.work_units, a.version) < std::tie(a.work_units, b.version);
              });
}

} // namespace wutally::report
