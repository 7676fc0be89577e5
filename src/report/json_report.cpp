#include "report/json_report.hpp"

#include <cmath>
#include <nlohmann/json.hpp>

namespace wutally::report {

namespace {

using nlohmann::ordered_json;

// A whole number is written without a fraction ("1284", not "1284.0").
ordered_json number(double value) {
    constexpr double exact_integers = 9007199254740992.0; // 2^53
    if (std::trunc(value) == value && std::fabs(value) < exact_integers) {
        return static_cast<std::int64_t>(value);
    }
    return value;
}

template <class T> ordered_json or_null(const std::optional<T>& value) {
    if (!value) {
        return nullptr;
    }
    if constexpr (std::is_same_v<T, double>) {
        return number(*value);
    } else if constexpr (std::is_same_v<T, Stamp>) {
        return format_stamp(*value);
    } else {
        return *value;
    }
}

void put_log_fields(ordered_json& out, const LogFigures& figures) {
    out["rows"] = figures.rows;
    out["skipped"] = figures.skipped;
    out["repeated"] = figures.repeated;
    out["work_units"] = figures.work_units;
    out["first"] = or_null(figures.first);
    out["last"] = or_null(figures.last);
    out["cpu_hours"] = or_null(figures.cpu_hours);
    out["cpu_mean_s"] = or_null(figures.cpu_mean_s);
    out["cpu_median_s"] = or_null(figures.cpu_median_s);
}

ordered_json best_list(const std::optional<std::vector<BestUnit>>& units, bool chisq) {
    if (!units) {
        return nullptr;
    }
    ordered_json list = ordered_json::array();
    for (const BestUnit& unit : *units) {
        ordered_json entry{{"name", unit.name},
                           {"date", format_stamp(unit.date)},
                           {"score", number(unit.score)},
                           {"power", or_null(unit.power)}};
        if (chisq) {
            entry["chisq"] = or_null(unit.chisq);
        }
        list.push_back(std::move(entry));
    }
    return list;
}

ordered_json account(const std::optional<Account>& account) {
    if (!account) {
        return nullptr;
    }
    return {{"user_name", or_null(account->user_name)},
            {"nwus", or_null(account->nwus)},
            {"nresults", or_null(account->nresults)},
            {"total_cpu", or_null(account->total_cpu)}};
}

} // namespace

std::string json_report(const Figures& figures) {
    ordered_json out;
    out["logs"] = ordered_json::array();
    for (const LogFigures& log : figures.logs) {
        ordered_json entry{{"path", log.path}};
        put_log_fields(entry, log);
        out["logs"].push_back(std::move(entry));
    }
    put_log_fields(out, figures.all);
    out["months"] = ordered_json::array();
    for (const MonthFigures& month : figures.months) {
        out["months"].push_back({{"month", format_month(month.month)},
                                 {"work_units", month.work_units},
                                 {"cpu_median_s", or_null(month.cpu_median_s)}});
    }
    out["versions"] = nullptr;
    if (figures.versions) {
        out["versions"] = ordered_json::array();
        for (const VersionFigures& version : *figures.versions) {
            out["versions"].push_back({{"version", version.version},
                                       {"work_units", version.work_units},
                                       {"cpu_median_s", or_null(version.cpu_median_s)}});
        }
    }
    out["best_gaussians"] = best_list(figures.best_gaussians, true);
    out["best_spikes"] = best_list(figures.best_spikes, false);
    out["account"] = account(figures.account);
    // Field texts are bytes; what is not UTF-8 is shown as U+FFFD, as JSON
    // texts are Unicode.
    return out.dump(2, ' ', false, ordered_json::error_handler_t::replace) + "\n";
}

} // namespace wutally::report
