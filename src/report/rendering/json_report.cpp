#include "report/rendering/json_report.hpp"

#include "report/rendering/json_writer.hpp"

namespace wutally::report {

namespace {

void put_stamp(JsonWriter& json, const std::optional<Stamp>& stamp) {
    if (stamp) {
        json.string(format_stamp(*stamp));
    } else {
        json.null();
    }
}

void put_log_fields(JsonWriter& json, const LogFigures& figures) {
    json.key("rows");
    json.count(figures.rows);
    json.key("skipped");
    json.count(figures.skipped);
    json.key("repeated");
    json.count(figures.repeated);
    json.key("work_units");
    json.count(figures.work_units);
    json.key("first");
    put_stamp(json, figures.first);
    json.key("last");
    put_stamp(json, figures.last);
    json.key("cpu_hours");
    json.optional(figures.cpu_hours);
    json.key("cpu_mean_s");
    json.optional(figures.cpu_mean_s);
    json.key("cpu_median_s");
    json.optional(figures.cpu_median_s);
}

void put_day(JsonWriter& json, const std::optional<Stamp>& stamp) {
    if (stamp) {
        json.string(format_stamp(*stamp).substr(0, 10));
    } else {
        json.null();
    }
}

void put_best_list(JsonWriter& json, const std::optional<std::vector<BestUnit>>& units,
                   const std::vector<LogFigures>& logs, bool chisq) {
    if (!units) {
        json.null();
        return;
    }
    json.begin_array();
    for (const BestUnit& unit : *units) {
        json.begin_object();
        json.key("name");
        json.string(unit.name);
        json.key("date");
        json.string(format_stamp(unit.date));
        json.key("score");
        json.number(unit.score);
        json.key("power");
        json.optional(unit.power);
        if (chisq) {
            json.key("chisq");
            json.optional(unit.chisq);
        }
        json.key("log");
        json.string(logs.at(unit.log).label);
        json.end_object();
    }
    json.end_array();
}

void put_account(JsonWriter& json, const std::optional<Account>& account) {
    if (!account) {
        json.null();
        return;
    }
    json.begin_object();
    json.key("user_name");
    json.optional(account->user_name);
    json.key("nwus");
    json.optional(account->nwus);
    json.key("nresults");
    json.optional(account->nresults);
    json.key("total_cpu");
    json.optional(account->total_cpu);
    json.end_object();
}

void put_months(JsonWriter& json, const std::vector<MonthFigures>& months) {
    json.begin_array();
    for (const MonthFigures& month : months) {
        json.begin_object();
        json.key("month");
        json.string(format_month(month.month));
        json.key("work_units");
        json.count(month.work_units);
        json.key("cpu_median_s");
        json.optional(month.cpu_median_s);
        json.end_object();
    }
    json.end_array();
}

void put_versions(JsonWriter& json, const std::optional<std::vector<VersionFigures>>& versions) {
    if (!versions) {
        json.null();
        return;
    }
    json.begin_array();
    for (const VersionFigures& version : *versions) {
        json.begin_object();
        json.key("version");
        json.string(version.version);
        json.key("work_units");
        json.count(version.work_units);
        json.key("cpu_median_s");
        json.optional(version.cpu_median_s);
        json.end_object();
    }
    json.end_array();
}

} // namespace

std::string json_report(const Figures& figures) {
    JsonWriter json;
    json.begin_object();
    json.key("since");
    put_day(json, figures.since);
    json.key("until");
    put_day(json, figures.until);
    json.key("silent_after_days");
    json.count(static_cast<std::uint64_t>(figures.silent_after_days));
    json.key("logs");
    json.begin_array();
    for (const LogFigures& log : figures.logs) {
        json.begin_object();
        json.key("path");
        json.string(log.path);
        json.key("label");
        json.string(log.label);
        put_log_fields(json, log);
        json.key("silent");
        json.boolean(log.silent);
        json.end_object();
    }
    json.end_array();
    put_log_fields(json, figures.all);
    json.key("months");
    put_months(json, figures.months);
    json.key("versions");
    put_versions(json, figures.versions);
    json.key("best_gaussians");
    put_best_list(json, figures.best_gaussians, figures.logs, true);
    json.key("best_spikes");
    put_best_list(json, figures.best_spikes, figures.logs, false);
    json.key("account");
    put_account(json, figures.account);
    json.end_object();
    return json.finish();
}

} // namespace wutally::report
