#include "report/rendering/json_report.hpp"

#include "report/rendering/json_writer.hpp"

namespace wutally::report {

namespace {

// A date and time, or with `day_only` the day alone, as the log writes it.
std::optional<std::string> stamp_text(const std::optional<Stamp>& stamp, bool day_only = false) {
    if (!stamp) {
        return std::nullopt;
    }
    const std::string text = format_stamp(*stamp);
    return day_only ? text.substr(0, 10) : text;
}

void put_log_fields(JsonWriter& json, const LogFigures& figures) {
    json.field("rows", figures.rows);
    json.field("skipped", figures.skipped);
    json.field("repeated", figures.repeated);
    json.field("work_units", figures.work_units);
    json.field("first", stamp_text(figures.first));
    json.field("last", stamp_text(figures.last));
    json.field("cpu_hours", figures.cpu_hours);
    json.field("cpu_mean_s", figures.cpu_mean_s);
    json.field("cpu_median_s", figures.cpu_median_s);
}

// A list of objects, each written by `put`; null where there is no list.
template <class T, class Put>
void put_list(JsonWriter& json, std::string_view name, const std::vector<T>* items, Put put) {
    json.key(name);
    if (items == nullptr) {
        json.null();
        return;
    }
    json.begin_array();
    for (const T& item : *items) {
        json.begin_object();
        put(item);
        json.end_object();
    }
    json.end_array();
}

template <class T> const T* pointer_to(const std::optional<T>& value) {
    return value ? &*value : nullptr;
}

void put_best_list(JsonWriter& json, std::string_view name,
                   const std::optional<std::vector<BestUnit>>& units,
                   const std::vector<LogFigures>& logs, bool chisq) {
    put_list(json, name, pointer_to(units), [&](const BestUnit& unit) {
        json.field("name", unit.name);
        json.field("date", format_stamp(unit.date));
        json.field("score", unit.score);
        json.field("power", unit.power);
        if (chisq) {
            json.field("chisq", unit.chisq);
        }
        json.field("log", logs.at(unit.log).label);
    });
}

void put_account(JsonWriter& json, const std::optional<Account>& account) {
    json.key("account");
    if (!account) {
        json.null();
        return;
    }
    json.begin_object();
    json.field("user_name", account->user_name);
    json.field("nwus", account->nwus);
    json.field("nresults", account->nresults);
    json.field("total_cpu", account->total_cpu);
    json.end_object();
}

} // namespace

std::string json_report(const Figures& figures) {
    JsonWriter json;
    json.begin_object();
    json.field("since", stamp_text(figures.since, true));
    json.field("until", stamp_text(figures.until, true));
    json.field("silent_after_days", static_cast<std::uint64_t>(figures.silent_after_days));
    put_list(json, "logs", &figures.logs, [&](const LogFigures& log) {
        json.field("path", log.path);
        json.field("label", log.label);
        put_log_fields(json, log);
        json.field("silent", log.silent);
    });
    put_log_fields(json, figures.all);
    put_list(json, "months", &figures.months, [&](const MonthFigures& month) {
        json.field("month", format_month(month.month));
        json.field("work_units", month.work_units);
        json.field("cpu_median_s", month.cpu_median_s);
    });
    put_list(json, "versions", pointer_to(figures.versions), [&](const VersionFigures& version) {
        json.field("version", version.version);
        json.field("work_units", version.work_units);
        json.field("cpu_median_s", version.cpu_median_s);
    });
    put_best_list(json, "best_gaussians", figures.best_gaussians, figures.logs, true);
    put_best_list(json, "best_spikes", figures.best_spikes, figures.logs, false);
    put_account(json, figures.account);
    json.end_object();
    return json.finish();
}

} // namespace wutally::report
