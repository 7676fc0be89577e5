#include "report/figures/unit_totals.hpp"

#include "platform/side_by_side.hpp"
#include "report/figures/median.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <span>
#include <tuple>

namespace wutally::report {

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

void mark_silent(std::vector<LogFigures>& logs, const std::optional<Stamp>& newest, int days) {
    if (logs.size() < 2 || !newest) {
        return;
    }
    for (LogFigures& log : logs) {
        log.silent = !log.last || days_since_epoch(*newest) - days_since_epoch(*log.last) > days;
    }
}

// The median CPU time of the work units of each log, and of all, in the
// recent days before the newest work unit of all logs.
void add_recent_medians(const std::deque<Unit>& units,
                        const std::vector<GroupTotals>& per_log_totals,
                        std::vector<LogFigures>& logs, LogFigures& all) {
    std::optional<Stamp> last;
    for (const GroupTotals& log : per_log_totals) {
        last = std::max(last, log.last);
    }
    if (!last) {
        return;
    }
    const double newest = days_since_epoch(*last);
    const auto recent = [newest](const Unit& unit) {
        return newest - days_since_epoch(unit.date) < recent_days;
    };
    const auto per_log = group_totals(units, logs.size(), [&](const Unit& unit) {
        return recent(unit) ? std::size_t{unit.log} : logs.size();
    });
    for (std::size_t log = 0; log < logs.size(); ++log) {
        logs[log].recent_cpu_median_s = per_log[log].cpu_median;
    }
    all.recent_cpu_median_s =
        logs.size() == 1 ? per_log[0].cpu_median
                         : group_totals(units, 1,
                                        [&](const Unit& unit) {
                                            return recent(unit) ? std::size_t{0} : std::size_t{1};
                                        })[0]
                               .cpu_median;
}

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

void add_months(const UnitsRead& read, std::size_t logs, bool each_log, Figures& figures) {
    if (read.units.empty()) {
        return;
    }
    MonthIndex index_of_month;
    int first = std::numeric_limits<int>::max();
    int last = std::numeric_limits<int>::min();
    for (const Unit& unit : read.units) {
        const int month = index_of_month(unit.date);
        first = std::min(first, month);
        last = std::max(last, month);
    }
    const auto month_of_unit = [&](const Unit& unit) {
        return static_cast<std::size_t>(index_of_month(unit.date) - first);
    };
    const std::size_t count = static_cast<std::size_t>(last - first) + 1;
    const auto months = group_totals(read.units, count, month_of_unit);
    const auto by_log = !each_log || logs == 1
                            ? months
                            : group_totals(read.units, count * logs, [&](const Unit& unit) {
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
        for (std::size_t log = 0; each_log && log < logs; ++log) {
            const GroupTotals& totals = logs == 1 ? by_log[at] : by_log[at * logs + log];
            month.logs.push_back({totals.work_units, totals.cpu_median});
        }
    }
}

void add_version_starts(const UnitsRead& read, std::size_t logs, Figures& figures) {
    const std::size_t versions = read.versions.texts().size();
    // Each log's first unit, and the first of each of its versions.
    std::vector<std::optional<Stamp>> log_start(logs);
    std::vector<std::optional<Stamp>> start(logs * versions);
    for (const Unit& unit : read.units) {
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
            !read.versions.texts()[at % versions].empty()) {
            figures.version_starts.push_back({*start[at],
                                              std::string(read.versions.texts()[at % versions]),
                                              static_cast<std::uint32_t>(log)});
        }
    }
    std::sort(figures.version_starts.begin(), figures.version_starts.end(),
              [](const VersionStart& a, const VersionStart& b) {
                  return std::tie(a.date, a.log) < std::tie(b.date, b.log);
              });
}

void add_versions(const UnitsRead& read, Figures& figures) {
    if (!read.any_version_column) {
        return;
    }
    const auto versions =
        group_totals(read.units, read.versions.texts().size(), [](const Unit& unit) {
            return std::size_t{unit.version}; // no_version is past every key
        });
    figures.versions.emplace();
    for (std::size_t id = 0; id < versions.size(); ++id) {
        figures.versions->push_back({std::string(read.versions.texts()[id]),
                                     versions[id].work_units, versions[id].cpu_median});
    }
    std::sort(figures.versions->begin(), figures.versions->end(),
              [](const VersionFigures& a, const VersionFigures& b) {
                  return std::tie(b.work_units, a.version) < std::tie(a.work_units, b.version);
              });
}

} // namespace

void add_unit_totals(const UnitsRead& read, int silent_after_days, bool for_the_page,
                     std::vector<LogFigures>& logs, Figures& figures) {
    std::vector<GroupTotals> per_log;
    GroupTotals all;
    // Each group of figures takes passes over every unit and medians of
    // their CPU times: the logs' totals, the versions and the recent medians
    // are worked out here, the months and, of several logs, all logs'
    // totals on a second thread.
    platform::run_side_by_side(
        [&] {
            per_log = group_totals(read.units, logs.size(),
                                   [](const Unit& unit) { return std::size_t{unit.log}; });
            add_versions(read, figures);
            add_recent_medians(read.units, per_log, logs, figures.all);
        },
        [&] {
            add_months(read, logs.size(), for_the_page, figures);
            if (logs.size() > 1) {
                all = group_totals(read.units, 1, [](const Unit&) { return std::size_t{0}; })[0];
            }
        });
    if (logs.size() == 1) {
        all = per_log[0];
    }
    for (std::size_t log = 0; log < logs.size(); ++log) {
        per_log[log].fill(logs[log]);
        figures.all.rows += logs[log].rows;
        figures.all.skipped += logs[log].skipped;
        figures.all.repeated += logs[log].repeated;
    }
    all.fill(figures.all);
    mark_silent(logs, figures.all.last, silent_after_days);
    if (for_the_page) {
        add_version_starts(read, logs.size(), figures);
    }
}

} // namespace wutally::report
