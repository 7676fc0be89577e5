#include "report/rendering/metrics_report.hpp"
#include "platform/concat.hpp"

#include "report/rendering/number_format.hpp"
#include "report/rendering/utf8.hpp"

#include <algorithm>
#include <array>

namespace wutally::report {

namespace {

enum class MetricType { counter, gauge };

// A figure of a log, where the log has it.
using LogValue = std::function<std::optional<double>(const LogFigures&)>;

struct LogMetric {
    std::string_view name;
    MetricType type;
    std::string_view help;
    LogValue value;
    bool per_log_only = false;
};

std::optional<double> count(std::uint64_t value) {
    return static_cast<double>(value);
}

class MetricsText {
  public:
    void family(std::string_view name, MetricType type, std::string_view help) {
        text_.append("# HELP ").append(name).append(" ").append(help).append("\n");
        text_.append("# TYPE ").append(name).append(type == MetricType::counter ? " counter\n"
                                                                                : " gauge\n");
    }
    void sample(std::string_view name, std::string_view labels, double value) {
        text_.append(name).append(labels).append(" ").append(format_shortest(value)).append("\n");
    }
    std::string take() { return std::move(text_); }

  private:
    std::string text_;
};

std::string label(std::string_view name, std::string_view value) {
    return concat("{", name, "=\"", metric_label_value(value), "\"}");
}

std::vector<LogMetric> log_metrics(const UnixSecondsOf& unix_seconds_of) {
    const auto moment = [&unix_seconds_of](const std::optional<Stamp>& stamp) {
        const auto seconds = stamp ? unix_seconds_of(*stamp) : std::nullopt;
        return seconds ? std::optional<double>(static_cast<double>(*seconds)) : std::nullopt;
    };
    return {
        {"wutally_work_units_total", MetricType::counter,
         "Work units logged: distinct names; one in several logs counts once in the all-logs "
         "figure.",
         [](const LogFigures& log) { return count(log.work_units); }},
        {"wutally_rows_total", MetricType::counter,
         "Rows with a date and a name, repeated ones included.",
         [](const LogFigures& log) { return count(log.rows); }},
        {"wutally_skipped_rows_total", MetricType::counter, "Rows without a valid date or a name.",
         [](const LogFigures& log) { return count(log.skipped); }},
        {"wutally_repeated_rows_total", MetricType::counter,
         "Rows whose work unit came in an earlier row.",
         [](const LogFigures& log) { return count(log.repeated); }},
        {"wutally_cpu_seconds_total", MetricType::counter,
         "CPU time of the work units that have one.",
         [](const LogFigures& log) { return log.cpu_seconds.value_or(0); }},
        {"wutally_work_unit_cpu_mean_seconds", MetricType::gauge, "Mean CPU time of a work unit.",
         [](const LogFigures& log) { return log.cpu_mean_s; }},
        {"wutally_work_unit_cpu_median_seconds", MetricType::gauge,
         "Median CPU time of a work unit.", [](const LogFigures& log) { return log.cpu_median_s; }},
        {"wutally_work_unit_cpu_median_7d_seconds", MetricType::gauge,
         "Median CPU time of the work units logged in the 7 days before the newest of all logs.",
         [](const LogFigures& log) { return log.recent_cpu_median_s; }},
        {"wutally_first_work_unit_timestamp_seconds", MetricType::gauge,
         "When the first work unit was logged, from the log's local time.",
         [moment](const LogFigures& log) { return moment(log.first); }},
        {"wutally_last_work_unit_timestamp_seconds", MetricType::gauge,
         "When the last work unit was logged, from the log's local time.",
         [moment](const LogFigures& log) { return moment(log.last); }},
        {"wutally_log_silent", MetricType::gauge,
         "1 where the log's last work unit is older than the newest of all logs by more than "
         "wutally_silent_after_seconds, or it has none while others have.",
         [](const LogFigures& log) { return log.silent ? 1.0 : 0.0; }, true},
    };
}

void account_metrics(MetricsText& text, const Account& account,
                     const UnixSecondsOf& unix_seconds_of) {
    const std::string labels = account.user_name ? label("user", *account.user_name) : "";
    const struct {
        std::string_view name;
        std::string_view help;
        std::optional<double> value;
    } figures[] = {
        {"wutally_account_work_units_total",
         "The account's work units, as the latest row has them.", account.nwus},
        {"wutally_account_results_total", "The account's results, as the latest row has them.",
         account.nresults},
        {"wutally_account_cpu_seconds_total", "The account's CPU time, as the latest row has it.",
         account.total_cpu},
    };
    for (const auto& figure : figures) {
        if (figure.value) {
            text.family(figure.name, MetricType::counter, figure.help);
            text.sample(figure.name, labels, *figure.value);
        }
    }
    if (const auto seconds = unix_seconds_of(account.date)) {
        text.family("wutally_account_timestamp_seconds", MetricType::gauge,
                    "When the row the account's figures come from was logged.");
        text.sample("wutally_account_timestamp_seconds", labels, static_cast<double>(*seconds));
    }
}

} // namespace

std::string metric_label_value(std::string_view text) {
    return rewrite_utf8(text, [](std::string& out, std::string_view character, bool valid) {
        const auto byte = static_cast<unsigned char>(character[0]);
        if (byte == '\\' || byte == '"') {
            out.append(1, '\\').append(character);
        } else if (byte == '\n') {
            out.append("\\n");
        } else if (!valid || byte < 0x20 || byte == 0x7F) {
            // Not UTF-8, or a control byte that no reader of the file should
            // trip on.
            out.append(utf8_replacement);
        } else {
            out.append(character);
        }
    });
}

std::string metrics_report(const Figures& figures, const UnixSecondsOf& unix_seconds_of) {
    MetricsText text;
    const std::vector<LogMetric> metrics = log_metrics(unix_seconds_of);
    for (const LogMetric& metric : metrics) {
        text.family(metric.name, metric.type, metric.help);
        for (const LogFigures& log : figures.logs) {
            if (const auto value = metric.value(log)) {
                text.sample(metric.name, label("log", log.label), *value);
            }
        }
    }
    // All logs together under names of their own, so that a sum over the
    // per-log samples never counts a work unit twice.
    for (const LogMetric& metric : metrics) {
        if (metric.per_log_only) {
            continue;
        }
        const std::string name =
            concat("wutally_all_logs_", metric.name.substr(std::string_view("wutally_").size()));
        text.family(name, metric.type, metric.help);
        if (const auto value = metric.value(figures.all)) {
            text.sample(name, "", *value);
        }
    }
    text.family("wutally_silent_after_seconds", MetricType::gauge,
                "How much older than the newest log a log's last work unit may be before it "
                "counts as silent.");
    text.sample("wutally_silent_after_seconds", "", figures.silent_after_days * 86400.0);
    if (figures.account) {
        account_metrics(text, *figures.account, unix_seconds_of);
    }
    return text.take();
}

} // namespace wutally::report
