#include "report/text_report.hpp"

#include "report/number_format.hpp"

#include <algorithm>
#include <vector>

namespace wutally::report {

namespace {

constexpr std::string_view absent = "-";
constexpr std::size_t widest_bar = 40;

// A table of text cells, printed with each column as wide as its widest
// cell; columns marked in `right` are aligned to the right.
class Table {
  public:
    explicit Table(std::string right) : right_(std::move(right)) {}
    void add(std::vector<std::string> cells) { rows_.push_back(std::move(cells)); }

    [[nodiscard]] std::string text(std::string_view indent) const {
        std::vector<std::size_t> widths;
        for (const auto& row : rows_) {
            widths.resize(std::max(widths.size(), row.size()));
            for (std::size_t column = 0; column < row.size(); ++column) {
                widths[column] = std::max(widths[column], row[column].size());
            }
        }
        std::string text;
        for (const auto& row : rows_) {
            std::string line(indent);
            for (std::size_t column = 0; column < row.size(); ++column) {
                const std::size_t pad = widths[column] - row[column].size();
                const bool right = column < right_.size() && right_[column] == 'r';
                line.append(column == 0 ? 0 : 2, ' ');
                line.append(right ? pad : 0, ' ').append(row[column]);
                line.append(right || column + 1 == row.size() ? 0 : pad, ' ');
            }
            line.erase(line.find_last_not_of(' ') + 1);
            text.append(line).append("\n");
        }
        return text;
    }

  private:
    std::string right_; // 'r' for each right-aligned column, 'l' for others
    std::vector<std::vector<std::string>> rows_;
};

std::string hours_or_absent(const std::optional<double>& seconds) {
    return seconds ? format_hours(*seconds) : std::string(absent);
}

std::string number_or_absent(const std::optional<double>& value) {
    return value ? format_shortest(*value) : std::string(absent);
}

std::string stamp_or_absent(const std::optional<Stamp>& stamp) {
    return stamp ? format_stamp(*stamp) : std::string(absent);
}

std::vector<std::string> log_cells(std::string label, const LogFigures& figures) {
    return {std::move(label),
            format_count(figures.rows),
            format_count(figures.skipped),
            format_count(figures.repeated),
            format_count(figures.work_units),
            stamp_or_absent(figures.first),
            stamp_or_absent(figures.last),
            figures.cpu_hours ? format_fixed(*figures.cpu_hours, 1) : std::string(absent),
            hours_or_absent(figures.cpu_mean_s),
            hours_or_absent(figures.cpu_median_s)};
}

std::string summary(const Figures& figures) {
    Table table("lrrrrllrrr");
    table.add({"log", "rows", "skipped", "repeated", "work units", "first", "last", "CPU hours",
               "mean CPU", "median CPU"});
    for (const LogFigures& log : figures.logs) {
        table.add(log_cells(printable(log.path), log));
    }
    if (figures.logs.size() > 1) {
        table.add(log_cells("all logs", figures.all));
    }
    return table.text("");
}

std::string bar(std::uint64_t count, std::uint64_t largest) {
    const std::size_t length =
        largest == 0 ? 0 : static_cast<std::size_t>((count * widest_bar + largest - 1) / largest);
    return std::string(length, '#');
}

std::string months(const Figures& figures) {
    std::uint64_t largest = 0;
    for (const MonthFigures& month : figures.months) {
        largest = std::max(largest, month.work_units);
    }
    Table table("lrrl");
    table.add({"month", "work units", "median CPU", ""});
    for (const MonthFigures& month : figures.months) {
        table.add({format_month(month.month), format_count(month.work_units),
                   hours_or_absent(month.cpu_median_s), bar(month.work_units, largest)});
    }
    return "Work units per month\n" + table.text("  ");
}

std::string versions(const std::vector<VersionFigures>& versions) {
    Table table("lrr");
    table.add({"version", "work units", "median CPU"});
    for (const VersionFigures& version : versions) {
        table.add({version.version.empty() ? "(none)" : printable(version.version),
                   format_count(version.work_units), hours_or_absent(version.cpu_median_s)});
    }
    return "By client version\n" + table.text("  ");
}

std::string best(std::string_view title, const std::vector<BestUnit>& units, bool chisq) {
    if (units.empty()) {
        return std::string(title) + "\n  none\n";
    }
    Table table(chisq ? "rrrrll" : "rrrll");
    std::vector<std::string> head{"", "score", "power"};
    if (chisq) {
        head.emplace_back("chisq");
    }
    head.insert(head.end(), {"date", "name"});
    table.add(head);
    std::size_t place = 0;
    for (const BestUnit& unit : units) {
        std::vector<std::string> cells{std::to_string(++place) + ".", format_shortest(unit.score),
                                       number_or_absent(unit.power)};
        if (chisq) {
            cells.push_back(number_or_absent(unit.chisq));
        }
        cells.insert(cells.end(), {format_stamp(unit.date), printable(unit.name)});
        table.add(std::move(cells));
    }
    return std::string(title) + "\n" + table.text("  ");
}

std::string account(const Account& account) {
    Table table("ll");
    table.add({"user name", account.user_name ? printable(*account.user_name) : "-"});
    table.add({"work units", account.nwus ? format_fixed(*account.nwus, 0) : "-"});
    table.add({"results", account.nresults ? format_fixed(*account.nresults, 0) : "-"});
    table.add({"total CPU", hours_or_absent(account.total_cpu)});
    return "Account, as of " + format_stamp(account.date) + "\n" + table.text("  ");
}

} // namespace

std::string printable(std::string_view text) {
    std::string shown(text);
    std::replace_if(
        shown.begin(), shown.end(),
        [](char byte) { return static_cast<unsigned char>(byte) < 0x20 || byte == 0x7f; }, '?');
    return shown;
}

std::string text_report(const Figures& figures) {
    std::string text = summary(figures);
    if (!figures.months.empty()) {
        text += "\n" + months(figures);
    }
    if (figures.versions && !figures.versions->empty()) {
        text += "\n" + versions(*figures.versions);
    }
    if (figures.best_gaussians) {
        text += "\n" + best("Best gaussians (bg_score)", *figures.best_gaussians, true);
    }
    if (figures.best_spikes) {
        text += "\n" + best("Best spikes (bs_score)", *figures.best_spikes, false);
    }
    if (figures.account) {
        text += "\n" + account(*figures.account);
    }
    return text;
}

} // namespace wutally::report
