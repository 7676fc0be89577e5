#include "report/rendering/text_report.hpp"
#include "platform/concat.hpp"

#include "report/rendering/number_format.hpp"
#include "report/rendering/report_tables.hpp"
#include "report/rendering/utf8.hpp"

#include <algorithm>
#include <vector>

namespace wutally::report {

namespace {

constexpr std::size_t widest_bar = 40;

// The table with each column as wide as its widest cell, the head first;
// rows set apart end in "silent".
std::string render(Table table, std::string_view indent) {
    line_up_decimals(table, " ");
    std::vector<std::vector<std::string>> rows;
    if (!table.head.empty()) {
        rows.push_back(table.head);
    }
    for (const auto& row : table.rows) {
        std::vector<std::string>& shown = rows.emplace_back();
        for (const std::string& cell : row) {
            shown.push_back(printable(cell));
        }
    }
    std::vector<std::size_t> widths;
    for (const auto& row : rows) {
        widths.resize(std::max(widths.size(), row.size()));
        for (std::size_t column = 0; column < row.size(); ++column) {
            widths[column] = std::max(widths[column], row[column].size());
        }
    }
    std::string text;
    const std::size_t head_rows = table.head.empty() ? 0 : 1;
    for (std::size_t at = 0; at < rows.size(); ++at) {
        const auto& row = rows[at];
        const bool apart = at >= head_rows && at - head_rows < table.set_apart.size() &&
                           table.set_apart[at - head_rows];
        std::string line(indent);
        for (std::size_t column = 0; column < row.size(); ++column) {
            const std::size_t pad = widths[column] - row[column].size();
            const bool right = column < table.alignment.size() &&
                               (table.alignment[column] == 'r' || table.alignment[column] == 'd');
            line.append(column == 0 ? 0 : 2, ' ');
            line.append(right ? pad : 0, ' ').append(row[column]);
            line.append(right || column + 1 == row.size() ? 0 : pad, ' ');
        }
        line.erase(line.find_last_not_of(' ') + 1);
        text.append(line).append(apart ? "  silent\n" : "\n");
    }
    return text;
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
    Table table{{"month", "work units", "median CPU", ""}, "lrrl", {}, false, {}};
    for (const MonthFigures& month : figures.months) {
        table.rows.push_back({format_month(month.month), format_count(month.work_units),
                              format_hours_or_dash(month.cpu_median_s),
                              bar(month.work_units, largest)});
    }
    return std::string(months_title) + "\n" + render(table, "  ");
}

std::string best(std::string_view title, const std::vector<BestUnit>& units,
                 const std::vector<LogFigures>& logs, bool chisq) {
    if (units.empty()) {
        return std::string(title) + "\n  none\n";
    }
    return std::string(title) + "\n" + render(best_table(units, logs, chisq), "  ");
}

} // namespace

std::string printable(std::string_view text) {
    return rewrite_utf8(text, [](std::string& out, std::string_view character, bool valid) {
        const auto byte = static_cast<unsigned char>(character[0]);
        // A stray byte of 0x80 to 0x9F is a C1 control to many terminals.
        const bool control = byte < 0x20 || byte == 0x7F || (!valid && byte <= 0x9F);
        out.append(control ? std::string_view("?") : character);
    });
}

std::string text_report(const Figures& figures) {
    std::string text = render(summary_table(figures), "");
    for (const auto& sentence : {range_sentence(figures), silent_sentence(figures)}) {
        if (sentence) {
            text.append(*sentence).append("\n");
        }
    }
    if (figures.all.skipped > 0) {
        text.append(format_counted(figures.all.skipped, "row was", "rows were"))
            .append(" skipped; wutally-report --skipped with the same paths lists them\n");
    }
    if (figures.all.work_units == 0) {
        return text.append("\n").append(no_work_units_sentence(figures)).append("\n");
    }
    if (!figures.months.empty()) {
        text.append("\n").append(months(figures));
    }
    if (figures.versions && !figures.versions->empty()) {
        text.append("\n")
            .append(versions_title)
            .append("\n")
            .append(render(versions_table(*figures.versions), "  "));
    }
    if (figures.best_gaussians) {
        text.append("\n").append(
            best(best_gaussians_title, *figures.best_gaussians, figures.logs, true));
    }
    if (figures.best_spikes) {
        text.append("\n").append(
            best(best_spikes_title, *figures.best_spikes, figures.logs, false));
    }
    if (figures.account) {
        text.append(concat("\n", account_title(*figures.account), "\n",
                           render(account_table(*figures.account), "  ")));
    }
    return text;
}

} // namespace wutally::report
